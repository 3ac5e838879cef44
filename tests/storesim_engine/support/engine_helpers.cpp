#include "support/engine_helpers.h"

#include <stdexcept>

namespace storesim_test {

std::unique_ptr<storesim::MemoryEngine> SampleEngine(const storesim::SampleOptions& options) {
  auto engine = std::make_unique<storesim::MemoryEngine>();
  std::string error;
  if (!storesim::CreateSampleStore(*engine, options, &error)) throw std::runtime_error("sample store: " + error);
  return engine;
}

std::vector<int> Numbers(const storesim::BatchResult& r) {
  std::vector<int> out;
  for (const auto& s : r.statements) {
    for (const auto& m : s.messages) out.push_back(m.number);
  }
  return out;
}

std::vector<int> Errors(const storesim::BatchResult& r) {
  std::vector<int> out;
  for (const auto& s : r.statements) {
    for (const auto& m : s.messages) {
      if (m.cls > 10) out.push_back(m.number);
    }
  }
  return out;
}

std::string TextOf(const storesim::BatchResult& r, int number) {
  for (const auto& s : r.statements) {
    for (const auto& m : s.messages) {
      if (m.number == number) return m.text;
    }
  }
  return {};
}

std::vector<std::vector<std::optional<std::string>>> ResultRows(const storesim::BatchResult& r) {
  for (const auto& s : r.statements) {
    if (s.result) return s.result->rows;
  }
  return {};
}

std::optional<std::string> Scalar(const storesim::BatchResult& r) {
  auto rows = ResultRows(r);
  if (rows.empty() || rows[0].empty()) return std::nullopt;
  return rows[0][0];
}

}  // namespace storesim_test
