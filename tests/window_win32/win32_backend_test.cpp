// The Win32 backend on native windows: what the controls show, their fonts
// and colours, property changes after opening, clicks through the native
// buttons, posted events and the end of the loop.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "rt/text.h"
#include "rt/window/session.h"
#include "rt/window/win32.h"

namespace {

class TestWindow : public rt::Window {
 public:
  rt::Ref<rt::StaticText> warn;
  rt::Ref<rt::CheckBox> tick;
  rt::Ref<rt::ListBox> list;
  rt::Ref<rt::CommandButton> quit;
  rt::Ref<rt::CommandButton> hidden;
  std::vector<std::string> log;

  void create() override {
    set_title(rt::gbk("升级"));
    resize(2000, 1200);
    set_back_colour(rt::rgb(206, 207, 206));
    set_icon(rt::kIconDatabase);
    set_centered(true);
    rt::Font bold{rt::gbk("宋体"), 10, rt::kWeightBold, false, true};
    auto& w = add(warn, "warn");
    w.set_text(rt::gbk("先备份 A&&B"));
    w.move(100, 100);
    w.resize(800, 52);
    w.set_font(bold);
    w.set_text_colour(rt::rgb(255, 0, 0));
    auto& t = add(tick, "tick");
    t.set_text(std::string("Proc&&Trigger"));
    t.move(100, 300);
    t.resize(466, 76);
    t.set_checked(true);
    t.set_tab_order(10);
    auto& l = add(list, "list");
    l.move(1000, 300);
    l.resize(800, 400);
    l.set_sorted(false);
    l.add_item(std::string("b.sql"));
    l.add_item(rt::gbk("甲.sql"));
    auto& q = add(quit, "quit");
    q.set_text(rt::gbk("退出(&E)"));
    q.move(100, 900);
    q.resize(440, 96);
    q.set_tab_order(10);
    q.clicked = [this] {
      log.push_back("quit");
      rt::close(*this);
    };
    auto& h = add(hidden, "hidden");
    h.set_text(std::string("get"));
    h.clicked = [this] { log.push_back("hidden"); };
  }
  void destroy() override {
    rt::destroy(warn);
    rt::destroy(tick);
    rt::destroy(list);
    rt::destroy(quit);
    rt::destroy(hidden);
  }
};

class TestApp : public rt::Application {
 public:
  rt::Ref<TestWindow> win;
  void open(const rt::String&) override {
    win = rt::create<TestWindow>();
    rt::open(win);
    win->hidden->set_visible(false);
  }
};

std::wstring text_of(HWND h) {
  wchar_t buf[256] = {};
  GetWindowTextW(h, buf, 256);
  return buf;
}

LOGFONTW font_of(HWND h) {
  LOGFONTW lf{};
  auto font = reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0));
  GetObjectW(font, sizeof lf, &lf);
  return lf;
}

class Win32Backend : public ::testing::Test {
 protected:
  rt::Win32Backend backend;
  TestApp app;
  rt::Session session{app, backend};

  void SetUp() override {
    session.start(std::string());
    ASSERT_TRUE(app.win && app.win->is_open());
  }
  HWND hwnd() { return static_cast<HWND>(backend.native_window(*app.win)); }
  HWND native(const rt::Control& c) { return static_cast<HWND>(backend.native_control(c)); }
};

TEST_F(Win32Backend, ControlsShowTheirTextsInUtf16) {
  EXPECT_EQ(text_of(hwnd()), L"升级");
  // Static texts show "&&" as one "&"; buttons keep the accelerator marks,
  // which Windows itself reads.
  EXPECT_EQ(text_of(native(*app.win->warn)), L"先备份 A&B");
  EXPECT_EQ(text_of(native(*app.win->quit)), L"退出(&E)");
  EXPECT_EQ(text_of(native(*app.win->tick)), L"Proc&&Trigger");
  EXPECT_EQ(SendMessageW(native(*app.win->tick), BM_GETCHECK, 0, 0), BST_CHECKED);

  HWND list = native(*app.win->list);
  ASSERT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 2);
  wchar_t item[64] = {};
  SendMessageW(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(item));
  EXPECT_EQ(std::wstring(item), L"甲.sql");
}

TEST_F(Win32Backend, FontsAndColoursFollowTheControl) {
  LOGFONTW lf = font_of(native(*app.win->warn));
  EXPECT_EQ(lf.lfCharSet, 134);
  EXPECT_EQ(lf.lfWeight, 700);
  EXPECT_TRUE(lf.lfUnderline);
  EXPECT_EQ(lf.lfHeight, -rt::font_pixels(10));
  EXPECT_EQ(lf.lfPitchAndFamily, 2 | (2 << 4));
  EXPECT_EQ(std::wstring(lf.lfFaceName), L"宋体");

  HDC dc = GetDC(hwnd());
  SendMessageW(hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
               reinterpret_cast<LPARAM>(native(*app.win->warn)));
  EXPECT_EQ(GetTextColor(dc), RGB(255, 0, 0));
  EXPECT_EQ(GetBkColor(dc), RGB(206, 207, 206));  // the window's grey shows through
  SendMessageW(hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
               reinterpret_cast<LPARAM>(native(*app.win->tick)));
  EXPECT_EQ(GetTextColor(dc), GetSysColor(COLOR_WINDOWTEXT));
  ReleaseDC(hwnd(), dc);
}

TEST_F(Win32Backend, GeometryIsInLayoutUnitsAndTheWindowIsCentred) {
  RECT r{};
  GetWindowRect(native(*app.win->quit), &r);
  EXPECT_EQ(r.right - r.left, rt::units_to_pixels(440));
  EXPECT_EQ(r.bottom - r.top, rt::units_to_pixels(96));
  POINT p{r.left, r.top};
  ScreenToClient(hwnd(), &p);
  EXPECT_EQ(p.x, rt::units_to_pixels(100));
  EXPECT_EQ(p.y, rt::units_to_pixels(900));

  RECT outer{}, area{};
  GetWindowRect(hwnd(), &outer);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  EXPECT_EQ(outer.right - outer.left, rt::units_to_pixels(2000));
  EXPECT_LE(std::abs((outer.left + outer.right) - (area.left + area.right)), 2);
  EXPECT_LE(std::abs((outer.top + outer.bottom) - (area.top + area.bottom)), 2);
}

TEST_F(Win32Backend, ChangesAfterOpeningReachTheNativeControls) {
  EXPECT_FALSE(IsWindowVisible(native(*app.win->hidden)));
  EXPECT_TRUE(IsWindowVisible(native(*app.win->quit)));
  app.win->quit->set_enabled(false);
  EXPECT_FALSE(IsWindowEnabled(native(*app.win->quit)));
  app.win->tick->set_checked(false);
  EXPECT_EQ(SendMessageW(native(*app.win->tick), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  app.win->list->reset();
  EXPECT_EQ(SendMessageW(native(*app.win->list), LB_GETCOUNT, 0, 0), 0);
}

TEST_F(Win32Backend, NativeClicksRunTheHandlersAndCloseEndsTheRun) {
  // A hidden control ignores the click; the check box's tick follows the
  // user's click.
  SendMessageW(native(*app.win->hidden), BM_CLICK, 0, 0);
  SendMessageW(native(*app.win->tick), BM_CLICK, 0, 0);
  EXPECT_FALSE(app.win->tick->checked());
  EXPECT_TRUE(app.win->log.empty());

  std::vector<int> order;
  rt::post_event(*app.win, [&] { order.push_back(1); });
  rt::post_event(*app.win, [&] {
    order.push_back(2);
    SendMessageW(native(*app.win->quit), BM_CLICK, 0, 0);
  });
  session.run();  // returns once the window has closed
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  EXPECT_EQ(app.win->log, (std::vector<std::string>{"quit"}));
  EXPECT_TRUE(session.ended());
  EXPECT_FALSE(app.win->is_open());
}

TEST(Win32Ui, PointerReportsTheOneItReplaces) {
  rt::Win32Ui ui;
  EXPECT_EQ(ui.SetPointer(rt::Pointer::HourGlass), rt::Pointer::Arrow);
  EXPECT_EQ(ui.SetPointer(rt::Pointer::Arrow), rt::Pointer::HourGlass);
}

}  // namespace
