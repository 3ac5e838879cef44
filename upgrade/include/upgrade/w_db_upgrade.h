// The upgrade window: its controls, its working folder, the connection at
// start-up and the exit button.
//
// The upgrade itself (cb_1), the pack builder (cb_get), the loader (cb_put)
// and the update script (wf_exec_sql) live in modules of their own; each
// member below calls its module with what it needs of the window and the
// connection sqlca. A subclass may override any of them.
#pragma once

#include "rt/text.h"
#include "rt/value.h"
#include "rt/window/control.h"
#include "rt/window/window.h"
#include "upgrade/stage_upgrade.h"

namespace upgrade {

class w_db_upgrade : public rt::Window, private UpgradeWindow {
 public:
  w_db_upgrade();
  ~w_db_upgrade() override;

  std::string class_name() const override { return "w_db_upgrade"; }

  // Controls, in declaration order.
  rt::Ref<rt::StaticText> st_5;
  rt::Ref<rt::StaticText> st_4;
  rt::Ref<rt::StaticText> st_8;
  rt::Ref<rt::StaticText> st_7;
  rt::Ref<rt::CheckBox> cbx_proc;
  rt::Ref<rt::ListBox> lb_1;
  rt::Ref<rt::CommandButton> cb_put;
  rt::Ref<rt::CommandButton> cb_get;
  rt::Ref<rt::StaticText> st_3;
  rt::Ref<rt::StaticText> st_2;
  rt::Ref<rt::StaticText> st_1;
  rt::Ref<rt::CommandButton> cb_2;
  rt::Ref<rt::CommandButton> cb_1;
  rt::Ref<rt::GroupBox> gb_1;

  // The working folder: the current directory when the window opened,
  // followed by the path separator. "db.dat" is read and written here.
  rt::String is_runpath = std::string();

  // Window functions and events, in declaration order.
  // Posted by open: connects to the store database; after a failed
  // connection the upgrade button is disabled.
  virtual void ue_postopen();
  // The current directory into the buffer lppathname of sa bytes: the
  // length of the directory, or the size the buffer would need (the buffer
  // is then left alone), or 0 when it cannot be read.
  rt::ULong GetCurrentDirectoryA(const rt::ULong& sa, rt::String& lppathname);
  // Sets up sqlca from the registry and the fixed login and connects it;
  // false (after a beep and a box with the server's text) when it failed.
  virtual rt::Bool wf_connect_db();
  // Runs "update.sql" on sqlca; the upgrade calls it from its statement list.
  rt::String wf_exec_sql() override;
  void create() override;
  void destroy() override;
  void open() override;

  // clicked events of the buttons.
  virtual void cb_1_clicked();
  virtual void cb_2_clicked();
  virtual void cb_get_clicked();
  virtual void cb_put_clicked();

 private:
  // What the upgrade asks of the window besides wf_exec_sql.
  rt::Bool cbx_proc_checked() override;
  void cb_put_trigger_clicked() override;
  void cb_1_disable() override;
};

// The registry key of the store database settings.
inline constexpr const char* kRegistryKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\tandrel";

}  // namespace upgrade
