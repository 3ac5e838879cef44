#include "upgrade/stage_upgrade.h"

#include "rt/transaction.h"
#include "rt/ui.h"
#include "upgrade/statement_list.h"

namespace upgrade {

namespace {

// Reads the recorded stage into `target`. What a failed read leaves there
// is up to the connection; the callers cope with any value.
void read_stage(rt::transaction& sqlca, rt::String& target) { sqlca.select_into(stage_sql::stage_read(), target); }

bool holds(const rt::String& value, const char* text) { return !value.is_null() && *value == text; }

// Index into the statement list of the first item for a recorded stage,
// or -1 when the text is none of the known stages (NULL included).
int entry_index(const rt::String& stage) {
  for (const StageEntry& e : stage_entries()) {
    if (holds(stage, e.marker)) return e.first_item - 1;
  }
  return -1;
}

void run_items(UpgradeWindow& window, rt::transaction& sqlca, std::size_t from) {
  const std::vector<UpgradeItem>& list = statement_list();
  for (std::size_t i = from; i < list.size(); ++i) {
    const UpgradeItem& item = list[i];
    switch (item.kind) {
      // A statement text and a fixed INSERT or UPDATE go to the server alike.
      case ItemKind::Executed:
      case ItemKind::Fixed:
        sqlca.execute_immediate(item.text);
        break;
      case ItemKind::UpdateScript:
        window.wf_exec_sql();  // the text after the last GO line is not run
        break;
    }
    // No status is examined: a refused statement is passed over.
    if (item.commit_after) sqlca.commit();
  }
}

}  // namespace

void wf_dbupgrade_2008(UpgradeWindow& window, rt::transaction& sqlca) {
  rt::String ls_upgrade_date = std::string();
  read_stage(sqlca, ls_upgrade_date);

  const int entry = entry_index(ls_upgrade_date);
  if (entry < 0) {
    sqlca.execute_immediate(stage_sql::marker_reset());
    sqlca.commit();
    rt::messagebox(rt::gbk("提示"), rt::gbk("数据库升级程序不全，升级操作被中断。重新升级一次"));
    return;
  }
  run_items(window, sqlca, static_cast<std::size_t>(entry));
}

void cb_1_clicked(UpgradeWindow& window, rt::transaction& sqlca) {
  const rt::Pointer oldpointer = rt::set_pointer(rt::Pointer::HourGlass);

  rt::String ls_upgrade_date = std::string();
  read_stage(sqlca, ls_upgrade_date);
  if (holds(ls_upgrade_date, kNoStage)) {
    // Also when the row exists with "00000000"; the outcome is not examined.
    sqlca.execute_immediate(stage_sql::bootstrap_insert());
    sqlca.commit();
  }

  wf_dbupgrade_2008(window, sqlca);

  sqlca.SetAutoCommit(true);
  if (window.cbx_proc_checked()) window.cb_put_trigger_clicked();
  sqlca.SetAutoCommit(false);
  sqlca.commit();

  rt::set_pointer(oldpointer);
  window.cb_1_disable();
}

}  // namespace upgrade
