// Feeds arbitrary statement texts (up to 64 KiB, so the nesting limit is
// reached) to the simulator's SQL engine over the sample store database.
// A text may be refused with the server's messages, never crash the
// engine; every refusal carries a message.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "storesim/memory_engine.h"
#include "storesim/sample_store.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

std::unique_ptr<storesim::MemoryEngine> NewEngine() {
  auto engine = std::make_unique<storesim::MemoryEngine>();
  check(storesim::CreateSampleStore(*engine, storesim::SampleOptions{}));
  return engine;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::unique_ptr<storesim::MemoryEngine> engine = NewEngine();
  const std::string sql(reinterpret_cast<const char*>(data), size);

  std::vector<storesim::Message> refusal;
  std::unique_ptr<storesim::Session> session = engine->Login({"tandrel", "tolvank", "store", "fuzz"}, &refusal);
  check(session != nullptr);
  // Each text runs in a transaction that is rolled back, so the next one
  // meets the same database; a text that commits gets a fresh database
  // after it.
  session->Begin();
  storesim::BatchResult r = session->ExecuteBatch(sql);
  for (const storesim::StatementResult& st : r.statements) {
    if (st.error) {
      bool told = false;
      for (const storesim::Message& m : st.messages) told = told || m.cls > 10;
      check(told);
    }
  }
  const bool committed = !session->InTransaction();
  session->Close();
  session.reset();
  if (committed) engine = NewEngine();
  return 0;
}
