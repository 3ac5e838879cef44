#include "support/fake_db.h"

#include <algorithm>
#include <memory>

namespace testing_support {

namespace {

class FakeDriver : public rt::DbDriver {
 public:
  explicit FakeDriver(FakeServer& s) : s_(s) {}
  ~FakeDriver() override {
    if (open_) --s_.connections;
  }

  rt::DbStatus Connect(const rt::DbSettings& settings) override {
    s_.log.push_back("CONNECT");
    s_.last_settings = settings;
    if (s_.on_connect) s_.on_connect();
    if (settings.servername != s_.name) return rt::DbStatus::error(20009, kUnreachableText);
    if (s_.refuse_login) return rt::DbStatus::error(s_.refuse_login->first, s_.refuse_login->second);
    open_ = true;
    ++s_.connections;
    s_.current_database = "master";
    if (!settings.database.empty() && s_.databases.count(settings.database)) s_.current_database = settings.database;
    return rt::DbStatus::ok();
  }

  rt::DbStatus Disconnect() override {
    s_.log.push_back("DISCONNECT");
    if (open_) --s_.connections;
    open_ = false;
    return rt::DbStatus::ok();
  }

  rt::DbStatus Execute(const std::string& sql) override {
    s_.log.push_back("EXEC " + sql);
    std::string lower = sql;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    if (lower.rfind("use", 0) == 0) {
      std::string name = sql.size() > 4 ? sql.substr(4) : std::string();
      name.erase(0, name.find_first_not_of(' '));
      if (name.empty()) return rt::DbStatus::error(102, "Incorrect syntax near 'use'.");
      if (!s_.databases.count(name))
        return rt::DbStatus::error(911, "Database '" + name +
                                            "' does not exist. Make sure that the name is entered correctly.");
      s_.current_database = name;
    }
    return rt::DbStatus::ok();
  }

  rt::DbStatus SelectString(const std::string& sql, std::optional<std::string>* value) override {
    s_.log.push_back("SELECT " + sql);
    if (!s_.select_value) return rt::DbStatus{100, 0, {}, 0};
    *value = s_.select_value;
    return rt::DbStatus::ok(1);
  }
  rt::DbStatus Commit() override {
    s_.log.push_back("COMMIT");
    return rt::DbStatus::ok();
  }
  rt::DbStatus Rollback() override {
    s_.log.push_back("ROLLBACK");
    return rt::DbStatus::ok();
  }
  rt::DbStatus SetAutoCommit(bool on) override {
    s_.log.push_back(on ? "AUTOCOMMIT ON" : "AUTOCOMMIT OFF");
    return rt::DbStatus::ok();
  }

 private:
  FakeServer& s_;
  bool open_ = false;
};

}  // namespace

std::vector<std::string> FakeServer::statements() const {
  std::vector<std::string> r;
  for (const auto& e : log)
    if (e.rfind("EXEC ", 0) == 0) r.push_back(e.substr(5));
  return r;
}

int FakeServer::count(const std::string& entry) const {
  return static_cast<int>(std::count(log.begin(), log.end(), entry));
}

ScopedFakeServer::ScopedFakeServer(FakeServer& server) : previous_(rt::transaction::driver_factory()) {
  rt::transaction::set_driver_factory([&server](const std::string& dbms) -> std::unique_ptr<rt::DbDriver> {
    if (dbms != "MSS") return nullptr;
    return std::make_unique<FakeDriver>(server);
  });
}

ScopedFakeServer::~ScopedFakeServer() { rt::transaction::set_driver_factory(previous_); }

}  // namespace testing_support
