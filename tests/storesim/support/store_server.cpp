#include "store_server.h"

#include <stdexcept>

#include "rt/odbc.h"

namespace storesim::testing {

StoreServer::StoreServer(const SampleOptions& sample) : engine_(std::make_shared<MemoryEngine>()) {
  std::string error;
  if (!CreateSampleStore(*engine_, sample, &error)) throw std::runtime_error("sample store: " + error);
  server_ = std::make_unique<Server>(engine_);
  if (!server_->Start(&error)) throw std::runtime_error("simulator: " + error);
  rt::install_odbc_driver();
}

std::string StoreServer::server_name() const { return "127.0.0.1," + std::to_string(server_->port()); }

void ConfigureLogin(rt::transaction& t, const std::string& server_name) {
  t.DBMS = "MSS";
  t.ServerName = server_name;
  t.LogID = "tandrel";
  t.LogPass = "tolvank";
  t.Database = "store";
  t.SetAutoCommit(true);
}

void StoreServer::Configure(rt::transaction& t) const {
  ConfigureLogin(t, server_name());
  t.DBParm = "";
  t.Lock = "RU";
}

std::vector<std::optional<std::string>> StoreServer::Column(const std::string& table, std::size_t column) {
  std::vector<std::optional<std::string>> out;
  server_->WithEngine([&](Engine&) {
    std::optional<std::vector<Row>> rows = engine_->Rows("store", table);
    if (!rows) return;
    for (const Row& r : *rows) out.push_back(column < r.size() ? r[column] : std::nullopt);
  });
  return out;
}

}  // namespace storesim::testing
