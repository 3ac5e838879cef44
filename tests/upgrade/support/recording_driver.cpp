#include "support/recording_driver.h"

#include <cctype>
#include <sstream>

namespace upgrade_test {

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// "drop procedure x" / "create trigger x ..." -> {"drop"/"create", "x"};
// anything else -> {"", ""}.
// Comment lines ("-- ...") before the statement are skipped.
std::pair<std::string, std::string> ddl_of(const std::string& sql) {
  std::istringstream lines(lower(sql));
  std::string line, text;
  bool leading = true;
  while (std::getline(lines, line)) {
    std::size_t b = line.find_first_not_of(" \t\r");
    if (leading && (b == std::string::npos || line.compare(b, 2, "--") == 0)) continue;
    leading = false;
    text += line + "\n";
  }
  std::istringstream in(text);
  std::string verb, kind, name;
  in >> verb >> kind >> name;
  if ((verb == "drop" || verb == "create") && (kind == "procedure" || kind == "proc" || kind == "trigger"))
    return {verb, name};
  return {};
}

class RecordingDriver : public rt::DbDriver {
 public:
  explicit RecordingDriver(std::shared_ptr<DriverState> s) : s_(std::move(s)) {}

  rt::DbStatus Connect(const rt::DbSettings& settings) override {
    s_->autocommit = settings.autocommit;
    return rt::DbStatus::ok();
  }
  rt::DbStatus Disconnect() override {
    s_->working = s_->committed;
    return rt::DbStatus::ok();
  }
  rt::DbStatus Execute(const std::string& sql) override {
    s_->log.push_back("exec:" + sql);
    for (const auto& r : s_->refusals)
      if (r.matches(sql)) return rt::DbStatus::error(r.number, r.text);
    auto [verb, name] = ddl_of(sql);
    if (verb == "drop") {
      if (!s_->working.erase(name))
        return rt::DbStatus::error(3701, "Cannot drop the procedure '" + name +
                                             "', because it does not exist or you do not have permission.");
    } else if (verb == "create") {
      if (s_->working.count(name))
        return rt::DbStatus::error(2714, "There is already an object named '" + name + "' in the database.");
      s_->working[name] = sql;
    }
    if (s_->autocommit) s_->committed = s_->working;
    return rt::DbStatus::ok();
  }
  rt::DbStatus SelectString(const std::string& sql, std::optional<std::string>*) override {
    s_->log.push_back("select:" + sql);
    return rt::DbStatus{100, 0, {}, 0};
  }
  rt::DbStatus Commit() override {
    s_->log.push_back("commit");
    if (!s_->failing_commit.empty()) return rt::DbStatus::error(3902, s_->failing_commit);
    s_->committed = s_->working;
    return rt::DbStatus::ok();
  }
  rt::DbStatus Rollback() override {
    s_->log.push_back("rollback");
    s_->working = s_->committed;
    return rt::DbStatus::ok();
  }
  rt::DbStatus SetAutoCommit(bool on) override {
    s_->log.push_back(on ? "autocommit:on" : "autocommit:off");
    if (on) s_->committed = s_->working;
    s_->autocommit = on;
    return rt::DbStatus::ok();
  }

 private:
  std::shared_ptr<DriverState> s_;
};

}  // namespace

std::vector<std::string> DriverState::executed() const {
  std::vector<std::string> r;
  for (const auto& e : log)
    if (e.rfind("exec:", 0) == 0) r.push_back(e.substr(5));
  return r;
}

RecordingDatabase::RecordingDatabase()
    : state_(std::make_shared<DriverState>()), previous_(rt::transaction::driver_factory()) {
  auto s = state_;
  rt::transaction::set_driver_factory(
      [s](const std::string&) -> std::unique_ptr<rt::DbDriver> { return std::make_unique<RecordingDriver>(s); });
}

RecordingDatabase::~RecordingDatabase() { rt::transaction::set_driver_factory(previous_); }

void RecordingDatabase::connect(rt::transaction& sqlca, const std::string& dbms, bool autocommit) {
  sqlca.DBMS = dbms;
  sqlca.SetAutoCommit(autocommit);
  sqlca.connect();
}

}  // namespace upgrade_test
