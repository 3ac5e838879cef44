#include "support/stage_harness.h"

#include "upgrade/globals.h"

namespace stagetest {

rt::String FakeWindow::wf_exec_sql() {
  db_->log.push_back({"wf_exec_sql", {}});
  if (on_exec_sql) on_exec_sql();
  return std::string("\nselect 1");  // a trailing batch the caller must drop
}

void FakeWindow::cb_put_trigger_clicked() {
  db_->log.push_back({"loader", {}});
  autocommit_in_loader = upgrade::sqlca ? upgrade::sqlca->AutoCommit() : rt::Bool(rt::null);
  pointer_in_loader = ui_->pointer();
  if (on_loader) on_loader();
}

void FakeWindow::cb_1_disable() {
  db_->log.push_back({"disable cb_1", {}});
  cb_1_enabled = false;
}

StageHarness::StageHarness() {
  db.answers = {testing_support::SelectAnswer::row("00000000")};
  upgrade::sqlca = rt::create<rt::transaction>();
  db.connect(*upgrade::sqlca);
}

StageHarness::~StageHarness() { rt::destroy(upgrade::sqlca); }

}  // namespace stagetest
