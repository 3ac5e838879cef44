// The stage upgrade under test: the fake database behind a connected
// sqlca, and a window whose seams log into the database's log, so that one
// record holds the whole click in order.
#pragma once

#include <functional>

#include "rt/testing/recording_ui.h"
#include "support/fake_database.h"
#include "upgrade/stage_upgrade.h"

namespace stagetest {

// The window's seams. They log "wf_exec_sql", "loader" and "disable cb_1"
// into the database's log.
class FakeWindow : public upgrade::UpgradeWindow {
 public:
  explicit FakeWindow(testing_support::FakeDatabase* db, rt::RecordingUi* ui) : db_(db), ui_(ui) {}
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
  testing_support::FakeDatabase* db_;
  rt::RecordingUi* ui_;
};

// Installs the fake database (every stage read answers "00000000" unless a
// test says otherwise) and the recording UI, and gives the program a
// connected sqlca (kind "MSS", autocommit on) for the life of the object.
// The log starts empty after the connection.
class StageHarness {
 public:
  StageHarness();
  ~StageHarness();
  StageHarness(const StageHarness&) = delete;
  StageHarness& operator=(const StageHarness&) = delete;

  testing_support::FakeDatabase db;
  rt::RecordingUi ui;
  FakeWindow window{&db, &ui};

 private:
  rt::ScopedUi scoped_ui_{&ui};
};

}  // namespace stagetest
