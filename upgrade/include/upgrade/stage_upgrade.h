// The stage-gated upgrade: the click on the upgrade button (cb_1) and the
// window function wf_dbupgrade_2008 that runs the statement list.
//
// Both work on the connection they are given (the window hands down sqlca)
// and need a few things of their window, which the window provides through
// UpgradeWindow. A runtime error raised anywhere inside (rt::RuntimeError)
// is not caught here: it ends the click at once, and the event dispatcher
// deals with it.
#pragma once

#include "rt/text.h"
#include "rt/transaction.h"
#include "rt/value.h"

namespace upgrade {

// What the upgrade needs of the window w_db_upgrade.
class UpgradeWindow {
 public:
  virtual ~UpgradeWindow() = default;
  // Runs "update.sql" from the current directory; returns the text after the
  // last GO line, which the upgrade drops.
  virtual rt::String wf_exec_sql() = 0;
  // The `checked` state of the check box cbx_proc.
  virtual rt::Bool cbx_proc_checked() = 0;
  // Runs the click handling of cb_put (the procedure and trigger loader)
  // and returns when it has ended.
  virtual void cb_put_trigger_clicked() = 0;
  // Sets `enabled` off for the upgrade button cb_1.
  virtual void cb_1_disable() = 0;
};

// Reads the recorded stage on `sqlca` and runs every item of the statement
// list from that stage's first item to the end. An unrecognised stage is
// reset to "00000000" and reported in the box titled "提示"; nothing of the
// list runs.
void wf_dbupgrade_2008(UpgradeWindow& window, rt::transaction& sqlca);

// The click on cb_1: records stage "00000000" when the database has none,
// runs wf_dbupgrade_2008, reloads procedures and triggers when cbx_proc is
// ticked, issues the final COMMIT with autocommit off, restores the pointer
// and disables cb_1.
void cb_1_clicked(UpgradeWindow& window, rt::transaction& sqlca);

}  // namespace upgrade
