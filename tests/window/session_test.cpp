// The window layer on the headless backend: the order of events, posted
// events, clicks, closing, runtime errors inside handlers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rt/error.h"
#include "rt/window/headless.h"
#include "rt/window/session.h"
#include "support/scoped.h"

namespace {

using Log = std::vector<std::string>;

class TestWindow : public rt::Window {
 public:
  explicit TestWindow(Log& log) : log_(log) {}
  rt::Ref<rt::CommandButton> ok;
  rt::Ref<rt::CommandButton> quit;
  rt::Ref<rt::CheckBox> tick;
  std::function<void()> on_open;

  void create() override {
    log_.push_back("window create");
    add(ok, "ok").set_text(std::string("&Ok"));
    add(quit, "quit").set_text(std::string("E&xit"));
    add(tick, "tick").set_text(std::string("T&ick && go"));
    quit->clicked = [this] {
      log_.push_back("quit clicked");
      rt::close(*this);
      log_.push_back("quit clicked end");
    };
  }
  void open() override {
    log_.push_back("window open");
    if (on_open) on_open();
  }
  void close() override { log_.push_back("window close"); }
  void destroy() override {
    log_.push_back("window destroy");
    if (ok) rt::destroy(ok);
    if (quit) rt::destroy(quit);
    if (tick) rt::destroy(tick);
  }

 private:
  Log& log_;
};

class TestApp : public rt::Application {
 public:
  explicit TestApp(Log& log) : log_(log) {}
  rt::Ref<TestWindow> win;
  bool open_window = true;
  void create() override { log_.push_back("app create"); }
  void open(const rt::String& cmd) override {
    log_.push_back("app open " + cmd.value_or("NULL"));
    if (open_window) {
      win.reset(new TestWindow(log_));
      rt::open(win);
    }
  }
  void close() override { log_.push_back("app close"); }
  void destroy() override { log_.push_back("app destroy"); }

 private:
  Log& log_;
};

struct AppRun {
  Log log;
  rt::HeadlessBackend backend;
  TestApp app{log};
  rt::Session session{app, backend};
};

TEST(Session, StartsClosesAndEndsInOrder) {
  AppRun r;
  r.session.start(std::string("-x y"));
  ASSERT_TRUE(r.app.win->is_open());
  EXPECT_TRUE(r.backend.peer_state(*r.app.win)->shown);
  EXPECT_EQ(rt::get_application(), &r.app);

  r.backend.click(*r.app.win->quit);
  // The close waits until the click handler has returned.
  EXPECT_EQ(r.log, (Log{"app create", "app open -x y", "window create", "window open", "quit clicked",
                        "quit clicked end", "window close", "window destroy", "app close", "app destroy"}));
  EXPECT_TRUE(r.session.ended());
  EXPECT_TRUE(r.backend.quit_requested());
  EXPECT_FALSE(r.app.win->is_open());
  EXPECT_TRUE(r.app.win->control().empty());
  EXPECT_TRUE(r.backend.peer_state(*r.app.win)->closed);
}

TEST(Session, RunWithoutAWindowEndsAtOnce) {
  AppRun r;
  r.app.open_window = false;
  r.session.start(std::string());
  EXPECT_TRUE(r.session.ended());
  EXPECT_EQ(r.log, (Log{"app create", "app open ", "app close", "app destroy"}));
}

TEST(Session, PostedEventsRunAfterTheCurrentOneInOrder) {
  AppRun r;
  r.app.open_window = false;
  r.app.win.reset(new TestWindow(r.log));
  TestWindow& w = *r.app.win;
  w.on_open = [&] {
    rt::post_event(w, [&] {
      r.log.push_back("first");
      rt::post_event(w, [&] { r.log.push_back("third"); });
    });
    rt::post_event(w, [&] { r.log.push_back("second"); });
    r.log.push_back("open returns");
  };
  ASSERT_EQ(*rt::open(r.app.win), 1);
  EXPECT_EQ(r.log.back(), "open returns");
  EXPECT_EQ(r.backend.pending(), 2u);
  r.backend.process_events();
  EXPECT_EQ(r.log, (Log{"window create", "window open", "open returns", "first", "second", "third"}));
}

TEST(Session, EventsPostedToAClosedWindowAreDropped) {
  AppRun r;
  r.session.start(std::string());
  TestWindow& w = *r.app.win;
  bool ran = false;
  rt::post_event(w, [&] { ran = true; });
  r.backend.press_close_box(w);
  // The close was asked for after the post, so the posted event ran first.
  EXPECT_TRUE(ran);

  AppRun r2;
  r2.session.start(std::string());
  bool ran2 = false;
  rt::close(*r2.app.win);
  rt::post_event(*r2.app.win, [&] { ran2 = true; });
  r2.backend.process_events();
  EXPECT_FALSE(ran2);
  EXPECT_TRUE(r2.session.ended());
}

TEST(Session, ClicksReachOnlyVisibleEnabledControls) {
  AppRun r;
  r.session.start(std::string());
  TestWindow& w = *r.app.win;
  int clicks = 0;
  w.ok->clicked = [&] { ++clicks; };

  EXPECT_TRUE(r.backend.click(*w.ok));
  w.ok->set_enabled(false);
  EXPECT_FALSE(r.backend.click(*w.ok));
  w.ok->set_enabled(true);
  w.ok->set_visible(false);
  EXPECT_FALSE(r.backend.click(*w.ok));
  EXPECT_FALSE(r.backend.press_accelerator(w, 'o'));
  w.ok->set_visible(rt::Bool(rt::null));  // NULL leaves it hidden
  EXPECT_FALSE(w.ok->visible());
  w.ok->set_visible(true);
  EXPECT_TRUE(r.backend.press_accelerator(w, 'o'));
  EXPECT_EQ(clicks, 2);
  // Code may still run the handler of a hidden control.
  w.ok->set_visible(false);
  w.ok->trigger_clicked();
  EXPECT_EQ(clicks, 3);

  // A user's click ticks a check box; "&&" is no accelerator.
  EXPECT_TRUE(r.backend.press_accelerator(w, 'I'));
  EXPECT_TRUE(w.tick->checked());
  EXPECT_TRUE(r.backend.click(*w.tick));
  EXPECT_FALSE(w.tick->checked());
  EXPECT_FALSE(r.backend.press_accelerator(w, '&'));

  EXPECT_TRUE(r.backend.press_accelerator(w, 'x'));
  EXPECT_TRUE(r.session.ended());
}

TEST(Session, RuntimeErrorEndsOnlyTheHandlerItHappensIn) {
  testing_support::ErrorCollector errors;
  AppRun r;
  r.session.start(std::string());
  TestWindow& w = *r.app.win;
  Log steps;
  w.tick->clicked = [&] {
    steps.push_back("inner");
    rt::raise_error(rt::kErrNullObject);
  };
  w.ok->clicked = [&] {
    steps.push_back("outer");
    w.tick->trigger_clicked();  // runs and waits; its error ends this handler too
    steps.push_back("outer after");
  };
  rt::post_event(w, [&] { steps.push_back("posted"); });
  r.backend.click(*w.ok);
  EXPECT_EQ(steps, (Log{"posted", "outer", "inner"}));
  EXPECT_EQ(errors.numbers, (std::vector<int>{rt::kErrNullObject}));

  // The window goes on working.
  r.backend.click(*w.quit);
  EXPECT_TRUE(r.session.ended());
}

TEST(Session, ErrorInOpenStillShowsTheWindow) {
  testing_support::ErrorCollector errors;
  AppRun r;
  r.app.open_window = false;
  r.app.win.reset(new TestWindow(r.log));
  r.app.win->on_open = [] { rt::raise_error(rt::kErrDivideByZero); };
  EXPECT_EQ(*rt::open(r.app.win), 1);
  EXPECT_TRUE(r.backend.peer_state(*r.app.win)->shown);
  EXPECT_EQ(errors.numbers.size(), 1u);
  // A second open of an open window is refused.
  EXPECT_EQ(*rt::open(r.app.win), -1);
}

TEST(Session, ModuleHandleIsAFactOfTheRun) {
  Log log;
  rt::HeadlessBackend backend;
  TestApp app(log);
  EXPECT_TRUE(rt::handle(&app).is_null());  // not running
  for (rt::ULong h : {rt::ULong(0u), rt::ULong(rt::kProgramModuleHandle), rt::ULong(rt::null)}) {
    rt::SessionOptions o;
    o.module_handle = h;
    rt::Session s(app, backend, o);
    rt::ULong got = rt::handle(rt::get_application());
    EXPECT_EQ(got.is_null(), h.is_null());
    if (!h.is_null()) {
      EXPECT_EQ(*got, *h);
    }
  }
  EXPECT_EQ(rt::get_application(), nullptr);
}

TEST(Session, BoxesGoToTheBackendsServicesWhileTheRunLasts) {
  rt::RecordingUi outer;
  rt::ScopedUi scope(&outer);
  {
    AppRun r;
    rt::messagebox(std::string("t"), std::string("x"));
    rt::beep(2);
    EXPECT_EQ(r.backend.recorder().boxes().size(), 1u);
    EXPECT_EQ(r.backend.recorder().beeps(), 2);
  }
  rt::messagebox(std::string("t"), std::string("y"));
  EXPECT_EQ(outer.boxes().size(), 1u);
}

}  // namespace
