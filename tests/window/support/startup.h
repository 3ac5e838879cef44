// The fixture of schemalift's start-up tests: the program on the headless
// backend, a fake store server behind the connection (kind "MSS", reached
// as 127.0.0.1,1433), and the store's settings in the registry (server
// 127.0.0.1,1433, database "store").
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "rt/window/headless.h"
#include "rt/window/session.h"
#include "support/fake_database.h"
#include "support/store_registry.h"
#include "support/temp_dir.h"
#include "upgrade/db_upgrade_pos.h"
#include "upgrade/globals.h"

namespace startup_testing {

using testing_support::FakeDatabase;
using Boxes = std::vector<rt::RecordingUi::Event>;

class Startup : public ::testing::Test {
 protected:
  testing_support::TempDir dir;
  FakeDatabase server;
  rt::HeadlessBackend backend;
  upgrade::db_upgrade_pos app;
  testing_support::StoreRegistry store;
  std::unique_ptr<rt::Session> session;

  void SetUp() override {
    server.kind = "MSS";
    server.server_name = "127.0.0.1,1433";
    store.set("SERVERNAME", "127.0.0.1,1433");
    store.set("DATABASE", "store");
  }

  // Starts the program: application create and open; the posted start-up
  // event runs only when process is true.
  upgrade::w_db_upgrade& start(rt::ULong handle = rt::kProgramModuleHandle, bool process = true,
                               const std::string& commandline = std::string()) {
    rt::SessionOptions o;
    o.module_handle = handle;
    session.reset();
    session = std::make_unique<rt::Session>(app, backend, o);
    session->start(commandline);
    if (process) backend.process_events();
    return *app.w_db_upgrade;
  }

  Boxes boxes() const { return const_cast<rt::HeadlessBackend&>(backend).recorder().boxes(); }

  // One beep, then the connection's box with the server's text, then the
  // plain box; both titled with the application title; cb_1 disabled.
  void expect_failed_connection(const upgrade::w_db_upgrade& w, const std::string& server_text) {
    const auto& events = backend.recorder().events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, rt::RecordingUi::Event::Beep);
    ASSERT_EQ(events[1].kind, rt::RecordingUi::Event::Box);
    ASSERT_EQ(events[2].kind, rt::RecordingUi::Event::Box);
    EXPECT_EQ(events[1].title, rt::gbk("岚舟商业管理软件"));
    EXPECT_EQ(events[1].text, rt::gbk("不能连接到数据库！(错误信息：") + server_text + ")");
    EXPECT_EQ(events[2].title, rt::gbk("岚舟商业管理软件"));
    EXPECT_EQ(events[2].text, rt::gbk("不能连接到数据库"));
    EXPECT_FALSE(w.cb_1->enabled());
    EXPECT_TRUE(w.cb_2->enabled());
    EXPECT_FALSE(upgrade::sqlca->connected());
  }
};

inline std::vector<std::string> visible_controls(const upgrade::w_db_upgrade& w) {
  std::vector<std::string> names;
  for (rt::Control* c : w.control())
    if (c->visible()) names.push_back(c->name());
  return names;
}

}  // namespace startup_testing
