// The upgrade window: its controls, its working folder, the connection at
// start-up and the exit button.
//
// The upgrade itself (cb_1), the pack builder (cb_get), the loader (cb_put)
// and the window functions wf_dbupgrade_2008, wf_exec_sql and wf_get_sql_go
// live in routines of their own; the window reaches them through the slots
// of `Routines`. A new window takes its slots from default_routines(), which
// start with the routines built into the program (an empty slot does
// nothing and gives nothing); a subclass may override the member functions
// instead.
#pragma once

#include <functional>

#include "rt/text.h"
#include "rt/value.h"
#include "rt/window/control.h"
#include "rt/window/window.h"

namespace upgrade {

class w_db_upgrade : public rt::Window {
 public:
  struct Routines {
    // clicked event of cb_1: the whole upgrade.
    std::function<void(w_db_upgrade&)> cb_1_clicked;
    // clicked event of cb_get: builds the script pack.
    std::function<void(w_db_upgrade&)> cb_get_clicked;
    // clicked event of cb_put: loads the script pack.
    std::function<void(w_db_upgrade&)> cb_put_clicked;
    std::function<void(w_db_upgrade&)> wf_dbupgrade_2008;
    std::function<rt::String(w_db_upgrade&)> wf_exec_sql;
    std::function<rt::Bool(w_db_upgrade&, rt::String& as_create, rt::String& as_drop)> wf_get_sql_go;
  };
  // The slots every new window starts with.
  static Routines& default_routines();

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

  Routines routines;

  // Window functions and events, in declaration order.
  // Posted by open: connects to the store database; after a failed
  // connection the upgrade button is disabled.
  virtual void ue_postopen();
  // The current directory into the buffer lppathname of sa bytes: the
  // length of the directory, or the size the buffer would need (the buffer
  // is then left alone), or 0 when it cannot be read.
  rt::ULong GetCurrentDirectoryA(const rt::ULong& sa, rt::String& lppathname);
  virtual rt::Bool wf_get_sql_go(rt::String& as_create, rt::String& as_drop);
  // Sets up sqlca from the registry and the fixed login and connects it;
  // false (after a beep and a box with the server's text) when it failed.
  virtual rt::Bool wf_connect_db();
  virtual void wf_dbupgrade_2008();
  virtual rt::String wf_exec_sql();
  void create() override;
  void destroy() override;
  void open() override;

  // clicked events of the buttons.
  virtual void cb_1_clicked();
  virtual void cb_2_clicked();
  virtual void cb_get_clicked();
  virtual void cb_put_clicked();
};

// The registry key of the store database settings.
inline constexpr const char* kRegistryKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\tandrel";

}  // namespace upgrade
