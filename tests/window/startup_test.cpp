// schemalift's start-up and stop on the headless backend: developer and
// delivered mode, the connection at start-up with the store's settings from
// the registry and its failures, and the ways to close the window.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "support/scoped.h"
#include "support/startup.h"

namespace {

using startup_testing::Startup;
using startup_testing::visible_controls;

// The upgrade window with a hook in place of each button's routine: a hook
// that is set runs instead of the window's own.
class Hooked : public upgrade::w_db_upgrade {
 public:
  using Hook = std::function<void(upgrade::w_db_upgrade&)>;
  Hook on_cb_1, on_cb_get, on_cb_put;

  void cb_1_clicked() override { on_cb_1 ? on_cb_1(*this) : w_db_upgrade::cb_1_clicked(); }
  void cb_get_clicked() override { on_cb_get ? on_cb_get(*this) : w_db_upgrade::cb_get_clicked(); }
  void cb_put_clicked() override { on_cb_put ? on_cb_put(*this) : w_db_upgrade::cb_put_clicked(); }
};

// Starts the program on a Hooked window, which the application then opens.
class HookedStartup : public Startup {
 protected:
  Hooked& start_hooked(rt::ULong handle = rt::kProgramModuleHandle) {
    app.w_db_upgrade = rt::create<Hooked>();
    return static_cast<Hooked&>(start(handle));
  }
};

class Delivered : public HookedStartup, public ::testing::WithParamInterface<rt::ULong> {};

TEST_P(Delivered, HidesTheDeveloperControls) {
  auto& w = start_hooked(GetParam());
  EXPECT_EQ(visible_controls(w), (std::vector<std::string>{"st_5", "st_4", "st_8", "st_7", "st_3", "st_2", "st_1",
                                                           "cb_2", "cb_1", "gb_1"}));
  EXPECT_TRUE(w.cbx_proc->checked());
  for (rt::Control* c : w.control()) EXPECT_TRUE(c->enabled()) << c->name();
  // Hidden, the loader still answers to the code.
  int loads = 0;
  w.on_cb_put = [&](upgrade::w_db_upgrade&) { ++loads; };
  EXPECT_FALSE(backend.click(*w.cb_put));
  w.cb_put->trigger_clicked();
  EXPECT_EQ(loads, 1);
}

// Any nonzero handle is the built program; no handle at all counts as one.
INSTANTIATE_TEST_SUITE_P(Handles, Delivered,
                         ::testing::Values(rt::ULong(rt::kProgramModuleHandle), rt::ULong(1u), rt::ULong(rt::null)),
                         [](const auto& info) {
                           return info.param.is_null() ? std::string("null") : "h" + std::to_string(*info.param);
                         });

TEST_F(Startup, DeveloperBuildShowsEveryControl) {
  auto& w = start(0u);
  EXPECT_EQ(visible_controls(w).size(), 14u);
  EXPECT_TRUE(w.cbx_proc->checked());
  EXPECT_TRUE(backend.peer_state(w)->shown);
  EXPECT_TRUE(backend.peer_state(w)->centered);
}

TEST_F(HookedStartup, ClicksRunTheWindowsRoutines) {
  auto& w = start_hooked(0u);
  std::vector<std::string> ran;
  w.on_cb_1 = [&](upgrade::w_db_upgrade& win) {
    ran.push_back("cb_1");
    EXPECT_EQ(&win, &w);
    // The upgrade ends by running the loader and waiting for it.
    win.cb_put->trigger_clicked();
    win.cb_1->set_enabled(false);
  };
  w.on_cb_get = [&](upgrade::w_db_upgrade&) { ran.push_back("cb_get"); };
  w.on_cb_put = [&](upgrade::w_db_upgrade&) { ran.push_back("cb_put"); };

  EXPECT_TRUE(backend.click(*w.cb_get));
  EXPECT_TRUE(backend.press_accelerator(w, 'u'));
  EXPECT_FALSE(backend.click(*w.cb_1));  // disabled after one upgrade
  EXPECT_EQ(ran, (std::vector<std::string>{"cb_get", "cb_1", "cb_put"}));
}

TEST_F(HookedStartup, UpgradeButtonRunsTheUpgradeAndTheLoader) {
  server.answers = {testing_support::SelectAnswer::row("20170521")};
  auto& w = start_hooked();
  int loads = 0;
  w.on_cb_put = [&](upgrade::w_db_upgrade&) { ++loads; };
  std::size_t before = server.statements().size();
  ASSERT_TRUE(backend.click(*w.cb_1));
  // The last stage runs again, ending with the grants; the hidden, ticked
  // cbx_proc makes the upgrade run the loader.
  std::vector<std::string> sent = server.statements();
  ASSERT_GT(sent.size(), before + 10);
  EXPECT_EQ(sent.back().rfind("insert t_sys_oper_grant", 0), 0u) << sent.back();
  EXPECT_EQ(loads, 1);
  EXPECT_FALSE(w.cb_1->enabled());
  EXPECT_EQ(backend.recorder().pointer(), rt::Pointer::Arrow);
  EXPECT_TRUE(backend.recorder().boxes().empty());
}

TEST_F(Startup, ConnectsAfterOpenWithTheSettingsInOrder) {
  bool shown_at_connect = false;
  server.on_connect = [&] { shown_at_connect = backend.peer_state(*app.w_db_upgrade)->shown; };
  auto& w = start(rt::kProgramModuleHandle, /*process=*/false);
  // The connection waits for the posted event.
  EXPECT_TRUE(server.log.empty());
  EXPECT_FALSE(w.is_runpath->empty());
  backend.process_events();
  EXPECT_TRUE(shown_at_connect);

  EXPECT_TRUE(backend.recorder().events().empty());
  EXPECT_TRUE(w.cb_1->enabled());
  const rt::DbSettings& s = server.last_settings;
  EXPECT_EQ(s.dbms, "MSS");
  EXPECT_EQ(s.servername, "127.0.0.1,1433");
  EXPECT_EQ(s.database, "store");
  EXPECT_EQ(s.logid, "tandrel");
  EXPECT_EQ(s.logpass, "tolvank");
  EXPECT_EQ(s.lock, "RU");
  EXPECT_EQ(s.dbparm, "");
  EXPECT_TRUE(s.autocommit);
  EXPECT_EQ(server.log, (std::vector<testing_support::DbOp>{{"connect"}, {"exec", "use master"}, {"exec", "use store"}}));
  EXPECT_EQ(server.current_database, "store");
  EXPECT_TRUE(upgrade::sqlca->connected());
  EXPECT_TRUE(test(upgrade::sqlca->AutoCommit()));
}

TEST_F(Startup, CommandLineTextIsIgnored) {
  auto& w = start(0u, true, "/s c:\\other \"quoted arg\" --help");
  EXPECT_EQ(visible_controls(w).size(), 14u);
  EXPECT_EQ(server.statements(), (std::vector<std::string>{"use master", "use store"}));
  EXPECT_TRUE(backend.recorder().events().empty());
}

TEST_F(Startup, RefusedLogin) {
  server.refuse_login = std::make_pair(18456, std::string("Login failed for user 'tandrel'."));
  auto& w = start();
  expect_failed_connection(w, "Login failed for user 'tandrel'.");
  EXPECT_TRUE(server.statements().empty());
  // No second attempt, and the program still ends cleanly.
  backend.click(*w.cb_2);
  EXPECT_TRUE(session->ended());
  EXPECT_EQ(server.count("connect"), 1);
  EXPECT_EQ(server.count("disconnect"), 0);
  EXPECT_FALSE(upgrade::sqlca);
}

TEST_F(Startup, ServerNotListening) {
  server.server_name = "127.0.0.1,1434";
  auto& w = start(0u);
  expect_failed_connection(w, testing_support::kUnreachableText);
  // In developer mode the pack buttons stay usable.
  EXPECT_TRUE(w.cb_put->enabled());
  EXPECT_TRUE(w.cb_get->enabled());
}

TEST_F(Startup, MissingRegistryLeavesTheSettingsEmpty) {
  // No key at all: neither value is found, the connect runs with the
  // connection object's initial settings.
  store.remove_key();
  auto& w = start();
  EXPECT_EQ(server.last_settings.servername, "");
  EXPECT_EQ(server.last_settings.database, "");
  expect_failed_connection(w, testing_support::kUnreachableText);
}

TEST_F(Startup, MissingServerNameConnectsWithTheInitialName) {
  // Nothing is said about the registry: what the user sees is what the
  // connect with the empty name gives.
  store.remove("SERVERNAME");
  auto& w = start();
  EXPECT_EQ(server.last_settings.servername, "");
  EXPECT_EQ(server.last_settings.database, "store");
  expect_failed_connection(w, testing_support::kUnreachableText);
}

TEST_F(Startup, MissingDatabaseValueCountsAsAFailedConnection) {
  store.remove("DATABASE");
  auto& w = start();
  EXPECT_EQ(server.statements(), (std::vector<std::string>{"use master", "use "}));
  expect_failed_connection(w, "Incorrect syntax near 'use'.");
  EXPECT_EQ(server.connections, 0);
}

TEST_F(Startup, UnknownDatabaseCountsAsAFailedConnection) {
  store.set("DATABASE", "nosuch");
  auto& w = start();
  expect_failed_connection(w, "Database 'nosuch' does not exist. Make sure that the name is entered correctly.");
  // The connection is given up rather than left in master.
  EXPECT_EQ(server.log.back(), testing_support::DbOp{"disconnect"});
  EXPECT_EQ(server.connections, 0);
  backend.click(*w.cb_2);
  EXPECT_TRUE(session->ended());
  EXPECT_EQ(server.count("disconnect"), 1);
}

TEST_F(Startup, ChineseDatabaseNameReachesTheServerAsGbk) {
  server.databases.insert(rt::gbk("门店"));
  store.set("DATABASE", rt::gbk("门店"));
  auto& w = start();
  EXPECT_TRUE(w.cb_1->enabled());
  EXPECT_EQ(server.statements().back(), "use " + rt::gbk("门店"));
}

class Closing : public Startup, public ::testing::WithParamInterface<const char*> {
 protected:
  void close(upgrade::w_db_upgrade& w) {
    std::string how = GetParam();
    if (how == "cb_2") backend.click(*w.cb_2);
    if (how == "alt+e") backend.press_accelerator(w, 'E');
    if (how == "close box") backend.press_close_box(w);
  }
};

TEST_P(Closing, EndsTheProgramWithTheDisconnect) {
  auto& w = start();
  ASSERT_TRUE(upgrade::sqlca->connected());
  close(w);
  EXPECT_TRUE(session->ended());
  EXPECT_TRUE(backend.quit_requested());
  EXPECT_EQ(server.log.back(), testing_support::DbOp{"disconnect"});
  EXPECT_EQ(server.connections, 0);
  EXPECT_FALSE(upgrade::sqlca);  // destroyed by the application
  EXPECT_TRUE(w.control().empty());
  EXPECT_FALSE(w.cb_1);
  EXPECT_TRUE(backend.peer_state(w)->closed);
}

TEST_P(Closing, EndsCleanlyAfterAFailedConnection) {
  server.server_name = "elsewhere";
  auto& w = start();
  close(w);
  EXPECT_TRUE(session->ended());
  EXPECT_EQ(server.count("disconnect"), 0);
  EXPECT_EQ(backend.recorder().boxes().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Window, Closing, ::testing::Values("cb_2", "alt+e", "close box"),
                         [](const auto& info) {
                           std::string n = info.param;
                           for (char& c : n)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

TEST_F(HookedStartup, RuntimeErrorInARoutineEndsOnlyThatClick) {
  testing_support::ErrorCollector errors;
  auto& w = start_hooked(0u);
  bool after = false;
  w.on_cb_get = [&](upgrade::w_db_upgrade&) {
    rt::raise_error(rt::kErrNullObject);
    after = true;
  };
  backend.click(*w.cb_get);
  EXPECT_EQ(errors.numbers, (std::vector<int>{rt::kErrNullObject}));
  EXPECT_FALSE(after);
  backend.click(*w.cb_2);
  EXPECT_TRUE(session->ended());
  EXPECT_EQ(server.log.back(), testing_support::DbOp{"disconnect"});
}

}  // namespace
