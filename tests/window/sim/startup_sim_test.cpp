// schemalift's start-up against the store-database simulator, through the
// ODBC client on loopback: the connection, its failures and the disconnect
// at the end.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "rt/odbc.h"
#include "rt/window/headless.h"
#include "rt/window/session.h"
#include "storesim/memory_engine.h"
#include "storesim/sample_store.h"
#include "storesim/server.h"
#include "support/scoped.h"
#include "support/temp_dir.h"
#include "upgrade/db_upgrade_pos.h"
#include "upgrade/globals.h"

namespace {

class SimStartup : public ::testing::Test {
 protected:
  testing_support::TempDir dir;
  std::shared_ptr<storesim::MemoryEngine> engine;
  std::unique_ptr<storesim::Server> server;
  rt::transaction::DriverFactory previous = rt::transaction::driver_factory();
  std::unique_ptr<testing_support::ScopedEnvVar> registry;
  rt::HeadlessBackend backend;
  upgrade::db_upgrade_pos app;
  std::unique_ptr<rt::Session> session;

  void SetUp() override {
    rt::install_odbc_driver();
    serve(storesim::EngineOptions{});
  }

  void TearDown() override {
    session.reset();
    server.reset();
    rt::transaction::set_driver_factory(previous);
  }

  void serve(const storesim::EngineOptions& options) {
    server.reset();
    engine = std::make_shared<storesim::MemoryEngine>(options);
    std::string error;
    ASSERT_TRUE(storesim::CreateSampleStore(*engine, {}, &error)) << error;
    server = std::make_unique<storesim::Server>(engine);
    ASSERT_TRUE(server->Start(&error)) << error;
    set_registry("127.0.0.1," + std::to_string(server->port()), "store");
  }

  void set_registry(const std::string& servername, const std::string& database) {
    registry.reset();
    registry = std::make_unique<testing_support::ScopedEnvVar>(
        "SCHEMALIFT_REGISTRY", dir.write("registry.ini", "[SOFTWARE\\tandrel]\nSERVERNAME=" + servername +
                                                             "\nDATABASE=" + database + "\n"));
  }

  upgrade::w_db_upgrade& start() {
    session = std::make_unique<rt::Session>(app, backend);
    session->start(std::string());
    backend.process_events();
    return *app.w_db_upgrade;
  }

  void close(upgrade::w_db_upgrade& w) {
    backend.click(*w.cb_2);
    ASSERT_TRUE(session->ended());
    EXPECT_TRUE(server->WaitForIdle());
    EXPECT_EQ(server->active_connections(), 0u);
  }

  // The last n statement batches the server received (the client may set
  // up the session before).
  std::vector<std::string> last_batches(std::size_t n) const {
    std::vector<std::string> all = server->Batches();
    if (all.size() > n) all.erase(all.begin(), all.end() - static_cast<std::ptrdiff_t>(n));
    return all;
  }

  // The two boxes of a failed connection, the first with the server's text.
  void expect_failed(const upgrade::w_db_upgrade& w, const std::string& server_text_part) {
    const auto& rec = backend.recorder();
    EXPECT_EQ(rec.beeps(), 1);
    auto boxes = rec.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    std::string head = rt::gbk("不能连接到数据库！(错误信息：");
    EXPECT_EQ(boxes[0].text.rfind(head, 0), 0u) << rt::utf8(boxes[0].text);
    EXPECT_NE(boxes[0].text.find(server_text_part), std::string::npos) << rt::utf8(boxes[0].text);
    EXPECT_EQ(boxes[0].text.back(), ')');
    EXPECT_EQ(boxes[1].text, rt::gbk("不能连接到数据库"));
    for (const auto& b : boxes) EXPECT_EQ(b.title, rt::gbk("岚舟商业管理软件"));
    EXPECT_FALSE(w.cb_1->enabled());
    EXPECT_FALSE(upgrade::sqlca->connected());
  }
};

TEST_F(SimStartup, ConnectsToTheStoreDatabase) {
  auto& w = start();
  EXPECT_TRUE(backend.recorder().events().empty());
  EXPECT_TRUE(w.cb_1->enabled());
  EXPECT_EQ(last_batches(2), (std::vector<std::string>{"use master", "use store"}));
  bool logged_in = false;
  for (const auto& r : server->Log())
    if (r.kind == storesim::RequestKind::Login && r.text == "tandrel") logged_in = true;
  EXPECT_TRUE(logged_in);
  // The connection now works in the store database.
  rt::String found = std::string();
  upgrade::sqlca->select_into(std::string("select db_name()"), found);
  EXPECT_EQ(*upgrade::sqlca->SQLCode, 0) << *upgrade::sqlca->SQLErrText;
  EXPECT_EQ(*found, "store");
  close(w);
}

TEST_F(SimStartup, RefusedLogin) {
  storesim::EngineOptions other;
  other.password = "another";
  serve(other);
  auto& w = start();
  expect_failed(w, "Login failed for user 'tandrel'.");
  for (const std::string& b : server->Batches()) EXPECT_EQ(b.rfind("use", 0), std::string::npos) << b;
  close(w);
}

TEST_F(SimStartup, ServerNotListening) {
  set_registry("127.0.0.1,1", "store");  // nothing listens on port 1
  auto& w = start();
  expect_failed(w, "Unable to connect");
  backend.click(*w.cb_2);
  EXPECT_TRUE(session->ended());
}

TEST_F(SimStartup, UnknownDatabase) {
  // The name goes with the login, which the server refuses.
  set_registry("127.0.0.1," + std::to_string(server->port()), "nosuch");
  auto& w = start();
  expect_failed(w, "nosuch");
  close(w);
}

TEST_F(SimStartup, MissingDatabase) {
  // No name logs in to master, where "use" of the empty name fails.
  set_registry("127.0.0.1," + std::to_string(server->port()), "");
  auto& w = start();
  expect_failed(w, "use");
  EXPECT_EQ(last_batches(2), (std::vector<std::string>{"use master", "use "}));
  EXPECT_TRUE(server->WaitForIdle());
  EXPECT_EQ(server->active_connections(), 0u);
  close(w);
}

}  // namespace
