// Small helpers for the engine tests.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "storesim/memory_engine.h"
#include "storesim/sample_store.h"

namespace storesim_test {

// An engine holding the sample store database "store".
std::unique_ptr<storesim::MemoryEngine> SampleEngine(const storesim::SampleOptions& options = {});

// Numbers of all messages of a batch, in order.
std::vector<int> Numbers(const storesim::BatchResult& r);
// Numbers of the error messages (class above 10).
std::vector<int> Errors(const storesim::BatchResult& r);
// Text of the first message numbered `number`, or "" when there is none.
std::string TextOf(const storesim::BatchResult& r, int number);
// Rows of the first result set of a batch.
std::vector<std::vector<std::optional<std::string>>> ResultRows(const storesim::BatchResult& r);
// The first value of the first result set.
std::optional<std::string> Scalar(const storesim::BatchResult& r);

}  // namespace storesim_test
