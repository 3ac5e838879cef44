// Test doubles for the upgrade: a database driver that records every
// operation sent through the connection and answers the stage read from a
// script, and a window whose seams log into the same record.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "rt/transaction.h"
#include "rt/testing/recording_ui.h"
#include "upgrade/stage_upgrade.h"

namespace stagetest {

// One entry of the record. Driver operations: "connect", "exec", "select",
// "commit", "rollback", "autocommit on", "autocommit off", "disconnect".
// Window seams: "wf_exec_sql", "loader", "disable cb_1".
struct Op {
  std::string kind;
  std::string text;  // the statement (GBK) for "exec" and "select"
  bool operator==(const Op&) const = default;
};

// How the next stage read is answered.
struct StageAnswer {
  enum Kind { Row, NoRow, Null, Failure } kind = Row;
  std::string value;
  static StageAnswer row(std::string v) { return {Row, std::move(v)}; }
  static StageAnswer no_row() { return {NoRow, {}}; }
  static StageAnswer null_value() { return {Null, {}}; }
  static StageAnswer failure() { return {Failure, {}}; }
};

// The state behind every driver the factory hands out.
struct StageDb {
  // Answers to the singleton SELECTs, one per read; the last one repeats.
  std::deque<StageAnswer> answers{StageAnswer::row("00000000")};
  // Statements the server refuses (status -1); the default refuses none.
  std::function<bool(const std::string&)> refuse;
  // COMMITs fail when set.
  bool refuse_commit = false;
  std::vector<Op> ops;
  // Autocommit as the server sees it.
  bool autocommit = false;
};

class RecordingDriver : public rt::DbDriver {
 public:
  explicit RecordingDriver(StageDb* db) : db_(db) {}
  rt::DbStatus Connect(const rt::DbSettings& settings) override;
  rt::DbStatus Disconnect() override;
  rt::DbStatus Execute(const std::string& sql) override;
  rt::DbStatus SelectString(const std::string& sql, std::optional<std::string>* value) override;
  rt::DbStatus Commit() override;
  rt::DbStatus Rollback() override;
  rt::DbStatus SetAutoCommit(bool on) override;

 private:
  StageDb* db_;
};

// The window's seams, logging into the same record.
class FakeWindow : public upgrade::UpgradeWindow {
 public:
  explicit FakeWindow(StageDb* db, rt::RecordingUi* ui) : db_(db), ui_(ui) {}
  rt::String wf_exec_sql() override;
  rt::Bool cbx_proc_checked() override { return checked; }
  void cb_put_trigger_clicked() override;
  void cb_1_disable() override;

  rt::Bool checked = true;
  bool cb_1_enabled = true;
  // Runs inside the loader seam (for instance to raise a runtime error).
  std::function<void()> on_loader;
  std::function<void()> on_exec_sql;
  // What the loader saw when it ran.
  rt::Bool autocommit_in_loader = rt::null;
  rt::Pointer pointer_in_loader = rt::Pointer::Arrow;

 private:
  StageDb* db_;
  rt::RecordingUi* ui_;
};

// Installs the recording driver and the recording UI, and gives the program
// a connected sqlca (kind "MSS", autocommit on) for the life of the object.
class StageHarness {
 public:
  StageHarness();
  ~StageHarness();
  StageHarness(const StageHarness&) = delete;
  StageHarness& operator=(const StageHarness&) = delete;

  StageDb db;
  rt::RecordingUi ui;
  FakeWindow window{&db, &ui};

 private:
  rt::transaction::DriverFactory saved_factory_;
  rt::ScopedUi scoped_ui_{&ui};
};

// A statement text with its layout dropped: runs of blanks, tabs and line
// ends become one blank, and blanks next to ( ) [ ] , go, so two texts that
// differ only in layout compare equal.
std::string without_layout(const std::string& sql);

}  // namespace stagetest
