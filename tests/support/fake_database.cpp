#include "support/fake_database.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <sstream>

namespace testing_support {

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// "drop procedure x" / "create trigger x ..." -> {"drop"/"create", "x"};
// anything else -> {"", ""}. Comment lines ("-- ...") before the statement
// are skipped.
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


class FakeDriver : public rt::DbDriver {
 public:
  explicit FakeDriver(FakeDatabase& db) : db_(db) {}
  ~FakeDriver() override {
    if (open_) --db_.connections;
  }

  rt::DbStatus Connect(const rt::DbSettings& settings) override {
    db_.log.push_back({"connect", {}});
    db_.last_settings = settings;
    if (db_.on_connect) db_.on_connect();
    if (!db_.server_name.empty() && settings.servername != db_.server_name)
      return rt::DbStatus::error(20009, kUnreachableText);
    if (db_.refuse_login) return rt::DbStatus::error(db_.refuse_login->first, db_.refuse_login->second);
    open_ = true;
    ++db_.connections;
    db_.autocommit = settings.autocommit;
    db_.current_database = "master";
    if (!settings.database.empty() && db_.databases.count(settings.database)) db_.current_database = settings.database;
    return rt::DbStatus::ok();
  }

  rt::DbStatus Disconnect() override {
    db_.log.push_back({"disconnect", {}});
    if (open_) --db_.connections;
    open_ = false;
    db_.working = db_.committed;
    return rt::DbStatus::ok();
  }

  rt::DbStatus Execute(const std::string& sql) override {
    db_.log.push_back({"exec", sql});
    for (const auto& r : db_.refusals)
      if (r.matches(sql)) return rt::DbStatus::error(r.number, r.text);
    if (lower(sql).rfind("use", 0) == 0) return use(sql);
    auto [verb, name] = ddl_of(sql);
    if (verb == "drop") {
      if (!db_.working.erase(name))
        return rt::DbStatus::error(3701, "Cannot drop the procedure '" + name +
                                             "', because it does not exist or you do not have permission.");
    } else if (verb == "create") {
      if (db_.working.count(name))
        return rt::DbStatus::error(2714, "There is already an object named '" + name + "' in the database.");
      db_.working[name] = sql;
    }
    if (db_.autocommit) db_.committed = db_.working;
    return rt::DbStatus::ok();
  }

  rt::DbStatus SelectString(const std::string& sql, std::optional<std::string>* value) override {
    db_.log.push_back({"select", sql});
    SelectAnswer a = db_.answers.empty() ? SelectAnswer::no_row() : db_.answers.front();
    if (db_.answers.size() > 1) db_.answers.pop_front();
    switch (a.kind) {
      case SelectAnswer::Row:
        *value = a.value;
        return rt::DbStatus::ok(1);
      case SelectAnswer::Null:
        value->reset();
        return rt::DbStatus::ok(1);
      case SelectAnswer::NoRow:
        return rt::DbStatus{100, 0, {}, 0};
      case SelectAnswer::Failure:
        break;
    }
    return rt::DbStatus::error(208, "Invalid object name 't_sys_system'.");
  }

  rt::DbStatus Commit() override {
    db_.log.push_back({"commit", {}});
    if (!db_.failing_commit.empty()) return rt::DbStatus::error(3902, db_.failing_commit);
    db_.committed = db_.working;
    return rt::DbStatus::ok();
  }

  rt::DbStatus Rollback() override {
    db_.log.push_back({"rollback", {}});
    db_.working = db_.committed;
    return rt::DbStatus::ok();
  }

  rt::DbStatus SetAutoCommit(bool on) override {
    db_.log.push_back({on ? "autocommit on" : "autocommit off", {}});
    if (on) db_.committed = db_.working;
    db_.autocommit = on;
    return rt::DbStatus::ok();
  }

 private:
  // "use <name>": the database must exist.
  rt::DbStatus use(const std::string& sql) {
    std::string name = sql.size() > 4 ? sql.substr(4) : std::string();
    name.erase(0, name.find_first_not_of(' '));
    if (name.empty()) return rt::DbStatus::error(102, "Incorrect syntax near 'use'.");
    if (!db_.databases.count(name))
      return rt::DbStatus::error(911, "Database '" + name +
                                          "' does not exist. Make sure that the name is entered correctly.");
    db_.current_database = name;
    return rt::DbStatus::ok();
  }

  FakeDatabase& db_;
  bool open_ = false;
};

}  // namespace

void PrintTo(const DbOp& op, std::ostream* out) {
  *out << op.kind;
  if (!op.text.empty()) *out << ' ' << op.text;
}

FakeDatabase::FakeDatabase() : previous_(rt::transaction::driver_factory()) {
  rt::transaction::set_driver_factory([this](const std::string& dbms) -> std::unique_ptr<rt::DbDriver> {
    if (!kind.empty() && dbms != kind) return nullptr;
    return std::make_unique<FakeDriver>(*this);
  });
}

FakeDatabase::~FakeDatabase() { rt::transaction::set_driver_factory(previous_); }

void FakeDatabase::connect(rt::transaction& sqlca, const std::string& dbms, bool autocommit) {
  sqlca.DBMS = dbms;
  sqlca.SetAutoCommit(autocommit);
  sqlca.connect();
  log.clear();
}

void FakeDatabase::refuse(std::function<bool(const std::string&)> matches, std::int32_t number, std::string text) {
  refusals.push_back({std::move(matches), number, std::move(text)});
}

void FakeDatabase::define(const std::string& name, const std::string& definition) {
  committed[name] = definition;
  working[name] = definition;
}

std::vector<std::string> FakeDatabase::statements() const {
  std::vector<std::string> r;
  for (const DbOp& e : log)
    if (e.kind == "exec") r.push_back(e.text);
  return r;
}

int FakeDatabase::count(const std::string& entry_kind) const {
  return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const DbOp& e) { return e.kind == entry_kind; }));
}

}  // namespace testing_support
