#include "support/stage_db.h"

#include "upgrade/globals.h"

namespace stagetest {

rt::DbStatus RecordingDriver::Connect(const rt::DbSettings& settings) {
  db_->ops.push_back({"connect", settings.dbms});
  db_->autocommit = settings.autocommit;
  return rt::DbStatus::ok();
}

rt::DbStatus RecordingDriver::Disconnect() {
  db_->ops.push_back({"disconnect", {}});
  return rt::DbStatus::ok();
}

rt::DbStatus RecordingDriver::Execute(const std::string& sql) {
  db_->ops.push_back({"exec", sql});
  if (db_->refuse && db_->refuse(sql)) return rt::DbStatus::error(2714, "There is already an object of that name.");
  return rt::DbStatus::ok(1);
}

rt::DbStatus RecordingDriver::SelectString(const std::string& sql, std::optional<std::string>* value) {
  db_->ops.push_back({"select", sql});
  StageAnswer a = db_->answers.empty() ? StageAnswer::no_row() : db_->answers.front();
  if (db_->answers.size() > 1) db_->answers.pop_front();
  switch (a.kind) {
    case StageAnswer::Row:
      *value = a.value;
      return rt::DbStatus::ok(1);
    case StageAnswer::Null:
      value->reset();
      return rt::DbStatus::ok(1);
    case StageAnswer::NoRow:
      return rt::DbStatus{100, 0, {}, 0};
    case StageAnswer::Failure:
      break;
  }
  return rt::DbStatus::error(208, "Invalid object name 't_sys_system'.");
}

rt::DbStatus RecordingDriver::Commit() {
  db_->ops.push_back({"commit", {}});
  if (db_->refuse_commit) return rt::DbStatus::error(3902, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  return rt::DbStatus::ok();
}

rt::DbStatus RecordingDriver::Rollback() {
  db_->ops.push_back({"rollback", {}});
  return rt::DbStatus::ok();
}

rt::DbStatus RecordingDriver::SetAutoCommit(bool on) {
  db_->ops.push_back({on ? "autocommit on" : "autocommit off", {}});
  db_->autocommit = on;
  return rt::DbStatus::ok();
}

rt::String FakeWindow::wf_exec_sql() {
  db_->ops.push_back({"wf_exec_sql", {}});
  if (on_exec_sql) on_exec_sql();
  return std::string("\nselect 1");  // a trailing batch the caller must drop
}

void FakeWindow::cb_put_trigger_clicked() {
  db_->ops.push_back({"loader", {}});
  autocommit_in_loader = upgrade::sqlca ? upgrade::sqlca->AutoCommit() : rt::Bool(rt::null);
  pointer_in_loader = ui_->pointer();
  if (on_loader) on_loader();
}

void FakeWindow::cb_1_disable() {
  db_->ops.push_back({"disable cb_1", {}});
  cb_1_enabled = false;
}

StageHarness::StageHarness() : saved_factory_(rt::transaction::driver_factory()) {
  rt::transaction::set_driver_factory(
      [this](const std::string&) -> std::unique_ptr<rt::DbDriver> { return std::make_unique<RecordingDriver>(&db); });
  upgrade::sqlca = rt::create<rt::transaction>();
  upgrade::sqlca->DBMS = std::string("MSS");
  upgrade::sqlca->SetAutoCommit(true);
  upgrade::sqlca->connect();
  db.ops.clear();
}

StageHarness::~StageHarness() {
  rt::destroy(upgrade::sqlca);
  rt::transaction::set_driver_factory(saved_factory_);
}

std::string without_layout(const std::string& sql) {
  auto is_space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  auto is_punct = [](char c) { return c == '(' || c == ')' || c == '[' || c == ']' || c == ','; };
  std::string collapsed;
  for (char c : sql) {
    if (is_space(c)) {
      if (!collapsed.empty() && collapsed.back() != ' ') collapsed.push_back(' ');
    } else {
      collapsed.push_back(c);
    }
  }
  std::string out;
  for (std::size_t i = 0; i < collapsed.size(); ++i) {
    char c = collapsed[i];
    if (c == ' ') {
      bool after_punct = !out.empty() && is_punct(out.back());
      bool before_punct = i + 1 < collapsed.size() && is_punct(collapsed[i + 1]);
      bool at_end = i + 1 == collapsed.size();
      if (after_punct || before_punct || at_end) continue;
    }
    out.push_back(c);
  }
  return out;
}

}  // namespace stagetest
