// The simulator with the sample store database, started in-process on a
// free port, and connection objects set up the way the upgrade program
// sets up its own.
#pragma once

#include <memory>
#include <string>

#include "rt/transaction.h"
#include "storesim/memory_engine.h"
#include "storesim/sample_store.h"
#include "storesim/server.h"

namespace storesim::testing {

// The login the upgrade program makes, to the simulator at `server_name`
// ("127.0.0.1,<port>"): kind MSS, the fixed login, the sample database,
// autocommit on.
void ConfigureLogin(rt::transaction& t, const std::string& server_name);

class StoreServer {
 public:
  explicit StoreServer(const SampleOptions& sample = {});
  MemoryEngine& engine() { return *engine_; }
  Server& server() { return *server_; }
  std::string server_name() const;  // "127.0.0.1,<port>"

  // The program's settings: kind MSS, the fixed login, lock RU,
  // autocommit on, the sample database.
  void Configure(rt::transaction& t) const;

  // The values of a column of a table of the sample database, as the
  // engine holds them now.
  std::vector<std::optional<std::string>> Column(const std::string& table, std::size_t column);

 private:
  std::shared_ptr<MemoryEngine> engine_;
  std::unique_ptr<Server> server_;
};

}  // namespace storesim::testing
