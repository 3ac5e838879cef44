#include "upgrade/w_db_upgrade.h"

#include "rt/env.h"
#include "rt/error.h"
#include "rt/registry.h"
#include "rt/ui.h"
#include "rt/window/application.h"
#include "rt/window/session.h"
#include "upgrade/globals.h"
#include "upgrade/list_box_adapter.h"
#include "upgrade/pack_builder.h"
#include "upgrade/pack_loader.h"
#include "upgrade/update_script.h"

namespace upgrade {

namespace {

// Colours of the window.
constexpr rt::Colour kWindowGrey = 30330830;  // red 206, green 207, blue 206
constexpr rt::Colour kRed = rt::rgb(255, 0, 0);
constexpr rt::Colour kBlue = rt::rgb(0, 0, 255);
constexpr rt::Colour kLightBlue = rt::rgb(166, 202, 240);

rt::Font song(int points, int weight = rt::kWeightNormal, bool underline = false) {
  rt::Font f;
  f.face = rt::gbk("宋体");
  f.size = points;
  f.weight = weight;
  f.underline = underline;
  return f;
}

void place(rt::Control& c, const char* text, int x, int y, int w, int h, const rt::Font& font) {
  if (text) c.set_text(rt::gbk(text));
  c.move(x, y);
  c.resize(w, h);
  c.set_font(font);
}

template <class T>
T& existing(const rt::Ref<T>& ref) {
  if (!ref) rt::raise_error(rt::kErrNullObject);
  return *ref;
}

}  // namespace

w_db_upgrade::w_db_upgrade() {
  set_title(rt::gbk("专卖店软件数据库升级"));
  resize(2313, 1536);
  set_frame(/*title_bar=*/true, /*control_menu=*/true, /*resizable=*/true);
  set_back_colour(kWindowGrey);
  set_icon(rt::kIconDatabase);
  set_centered(true);
}

w_db_upgrade::~w_db_upgrade() = default;

void w_db_upgrade::create() {
  add(st_5, "st_5");
  place(*st_5, "升级数据库之前，其他电脑不要进行业务操作，升级完后在重新进入软件", 187, 448, 1915, 52, song(10));
  st_5->set_text_colour(kRed);
  st_5->set_back_colour(kWindowGrey);

  add(st_4, "st_4");
  place(*st_4, "更新日期：", 1367, 380, 302, 52, song(10));
  st_4->set_text_colour(kRed);
  st_4->set_back_colour(kWindowGrey);

  add(st_8, "st_8");
  rt::Font banner;
  banner.face = rt::gbk("隶书");
  banner.size = 28;
  banner.pitch = 1;
  banner.family = 3;
  place(*st_8, "专卖店管理系统", 32, 88, 2171, 164, banner);
  st_8->set_text_colour(kBlue);
  st_8->set_back_colour(kLightBlue);
  st_8->set_alignment(rt::kAlignCenter);

  add(st_7, "st_7");
  place(*st_7, nullptr, 18, 4, 2194, 312, song(11));
  st_7->set_text_colour(kBlue);
  st_7->set_back_colour(kLightBlue);
  st_7->set_border(true, rt::kBorderLowered);
  st_7->set_alignment(rt::kAlignCenter);

  add(cbx_proc, "cbx_proc");
  place(*cbx_proc, "Proc&&Trigger", 663, 768, 466, 76, song(9, rt::kWeightBold));
  cbx_proc->set_text_colour(rt::kWindowTextColour);
  cbx_proc->set_back_colour(rt::kButtonFaceColour);
  cbx_proc->set_checked(true);

  add(lb_1, "lb_1");
  place(*lb_1, nullptr, 1335, 596, 846, 476, song(10));
  lb_1->set_text_colour(rt::kWindowTextColour);
  lb_1->set_scroll_bars(true, true);
  lb_1->set_border(true, rt::kBorderLowered);
  lb_1->set_tab_order(20);

  add(cb_put, "cb_put");
  place(*cb_put, "put", 366, 764, 288, 92, song(10));
  cb_put->set_tab_order(20);

  add(cb_get, "cb_get");
  place(*cb_get, "get", 64, 764, 288, 92, song(10));
  cb_get->set_tab_order(20);

  add(st_3, "st_3");
  place(*st_3, "2019-01-19", 1719, 380, 457, 52, song(10, rt::kWeightBold, /*underline=*/true));
  st_3->set_text_colour(kRed);
  st_3->set_back_colour(kWindowGrey);

  add(st_2, "st_2");
  place(*st_2, "运行本程序前，请先备份数据库！", 178, 644, 905, 52, song(10));
  st_2->set_text_colour(rt::kWindowTextColour);
  st_2->set_back_colour(kWindowGrey);

  add(st_1, "st_1");
  place(*st_1, "此程序把用户数据库升级到最新版本，并保留其原有数据。", 187, 544, 1559, 52, song(10));
  st_1->set_text_colour(rt::kWindowTextColour);
  st_1->set_back_colour(kWindowGrey);

  add(cb_2, "cb_2");
  place(*cb_2, "退出(&E)", 1358, 1172, 439, 96, song(10));
  cb_2->set_tab_order(10);

  add(cb_1, "cb_1");
  place(*cb_1, "数据库升级(&U)", 114, 1172, 439, 96, song(10));
  cb_1->set_tab_order(10);

  add(gb_1, "gb_1");
  place(*gb_1, nullptr, 23, 320, 2194, 804, song(10));
  gb_1->set_text_colour(rt::kWindowTextColour);
  gb_1->set_back_colour(kWindowGrey);
  gb_1->set_tab_order(10);

  cb_1->clicked = [this] { cb_1_clicked(); };
  cb_2->clicked = [this] { cb_2_clicked(); };
  cb_get->clicked = [this] { cb_get_clicked(); };
  cb_put->clicked = [this] { cb_put_clicked(); };
}

void w_db_upgrade::destroy() {
  auto gone = [](auto& ref) {
    if (ref) rt::destroy(ref);
  };
  gone(st_5);
  gone(st_4);
  gone(st_8);
  gone(st_7);
  gone(cbx_proc);
  gone(lb_1);
  gone(cb_put);
  gone(cb_get);
  gone(st_3);
  gone(st_2);
  gone(st_1);
  gone(cb_2);
  gone(cb_1);
  gone(gb_1);
}

void w_db_upgrade::open() {
  // The developer controls show only inside the development environment,
  // the one case in which the application's module handle is 0.
  rt::ULong module = rt::handle(rt::get_application());
  bool developer = !module.is_null() && *module == 0;
  existing(cb_get).set_visible(developer);
  existing(cb_put).set_visible(developer);
  existing(lb_1).set_visible(developer);
  existing(cbx_proc).set_visible(developer);

  // The working folder: the current directory with a separator behind it.
  // A directory longer than the first buffer is read again with a buffer of
  // the size asked for; one that cannot be read stands as ".".
  is_runpath = rt::space(256);
  rt::ULong got = GetCurrentDirectoryA(256u, is_runpath);
  if (!got.is_null() && *got >= 256) {
    rt::ULong size = got;
    is_runpath = rt::space(static_cast<std::int32_t>(*size));
    got = GetCurrentDirectoryA(size, is_runpath);
    if (got.is_null() || *got >= *size) got = 0u;
  }
  if (got.is_null() || *got == 0) is_runpath = std::string(".");
  is_runpath = is_runpath + std::string(1, rt::Env::Default()->PathSeparator());

  rt::post_event(*this, [this] { ue_postopen(); });
}

rt::ULong w_db_upgrade::GetCurrentDirectoryA(const rt::ULong& sa, rt::String& lppathname) {
  if (sa.is_null() || lppathname.is_null()) return 0u;
  std::optional<std::string> dir = rt::Env::Default()->CurrentDirectory();
  if (!dir) return 0u;
  // Like the system call: the directory and its NUL must fit the buffer,
  // else the buffer is left alone and the size it needs is returned.
  std::uint32_t need = static_cast<std::uint32_t>(dir->size()) + 1;
  if (need > *sa) return need;
  lppathname = *dir;  // the text before the NUL the call writes behind it
  return static_cast<std::uint32_t>(dir->size());
}

void w_db_upgrade::ue_postopen() {
  rt::Bool connected = wf_connect_db();
  if (!connected.is_null() && !*connected) {
    rt::messagebox(gs_appname, rt::gbk("不能连接到数据库"));
    existing(cb_1).set_enabled(false);
  }
}

rt::Bool w_db_upgrade::wf_connect_db() {
  rt::String ls_msg = std::string(), ls_database = std::string(), ls_tmp = std::string();
  rt::transaction& db = connection();
  // One beep, then the box with the server's text.
  auto refused = [&](const rt::String& errtext) -> rt::Bool {
    rt::beep(1);
    ls_msg = rt::gbk("不能连接到数据库！(错误信息：") + errtext + ")";
    rt::messagebox(gs_appname, ls_msg);
    return false;
  };

  db.DBMS = std::string("MSS");
  rt::registry_get(std::string(kRegistryKey), std::string("SERVERNAME"), db.ServerName);
  db.LogPass = std::string("tolvank");
  rt::registry_get(std::string(kRegistryKey), std::string("DATABASE"), db.Database);
  db.LogID = std::string("tandrel");
  db.DBParm = std::string();
  db.Lock = std::string("RU");
  db.SetAutoCommit(true);

  db.connect();
  if (failed(db)) return refused(db.SQLErrText);

  ls_database = db.Database;
  ls_tmp = std::string("use master");
  db.execute_immediate(ls_tmp);
  ls_tmp = "use " + ls_database;
  db.execute_immediate(ls_tmp);
  if (failed(db)) {
    // The store database cannot be used (an empty or unknown name): the
    // connection would stay in master, where no upgrade may run. It counts
    // as a failed connection.
    const rt::String reason = db.SQLErrText;
    db.disconnect();
    return refused(reason);
  }
  return true;
}

rt::String w_db_upgrade::wf_exec_sql() { return upgrade::wf_exec_sql(connection()); }

void w_db_upgrade::cb_1_clicked() { upgrade::cb_1_clicked(*this, connection()); }

void w_db_upgrade::cb_2_clicked() { rt::close(*this); }

void w_db_upgrade::cb_get_clicked() {
  ControlListBox lb(existing(lb_1));
  upgrade::cb_get_clicked(is_runpath, lb);
}

void w_db_upgrade::cb_put_clicked() { upgrade::cb_put_clicked(connection(), is_runpath); }

rt::Bool w_db_upgrade::cbx_proc_checked() { return existing(cbx_proc).checked(); }

void w_db_upgrade::cb_put_trigger_clicked() { existing(cb_put).trigger_clicked(); }

void w_db_upgrade::cb_1_disable() { existing(cb_1).set_enabled(false); }

}  // namespace upgrade
