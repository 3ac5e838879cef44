// The state file of a serving simulator: what the clients committed, and
// nothing else, written when a client that logged in goes away.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "storesim/sample_store.h"
#include "storesim/state_keeper.h"
#include "support/posix/raw_client.h"

namespace storesim {
namespace {

using testing::RawClient;
using testing::Reply;

class KeptState : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/storesim_keeper_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir = tmpl;
    path = dir + "/store.state";
    ASSERT_TRUE(CreateSampleStore(*engine, {}));
    server = std::make_unique<Server>(engine);
    keeper = std::make_unique<StateKeeper>(*server, engine, path);
    ASSERT_TRUE(server->Start());
  }
  void TearDown() override {
    server->Stop();
    std::filesystem::remove_all(dir);
  }

  std::unique_ptr<RawClient> LoggedIn() { return testing::LoggedInClient(server->port()); }
  // Runs a batch that must succeed.
  static void Run(RawClient& c, const std::string& sql) {
    std::optional<Reply> r = c.Batch(sql);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->errors.empty()) << sql;
  }
  // Waits (up to 5 seconds) until the keeper has written `n` files.
  bool WaitForWrites(int n) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (keeper->writes() < n) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  std::shared_ptr<MemoryEngine> engine = std::make_shared<MemoryEngine>();
  std::unique_ptr<Server> server;
  std::unique_ptr<StateKeeper> keeper;
  std::string dir, path;
};

// One session drops a procedure inside a transaction; another connects and
// leaves, so the file is written; then the server dies without saving
// again. What it leaves behind must still hold the procedure.
TEST_F(KeptState, ACrashDuringAnotherSessionsTransactionKeepsWhatWasCommitted) {
  auto a = LoggedIn();
  Run(*a, "create procedure pr_keep as select 1");
  Run(*a, "begin tran\ndrop procedure pr_keep\ninsert into t_sys_operator (oper_id) values ('2001')");
  LoggedIn().reset();
  ASSERT_TRUE(WaitForWrites(1));

  // The crash: the engine is gone, the file is all that is left.
  MemoryEngine restarted;
  std::string why;
  ASSERT_TRUE(restarted.Load(path, &why)) << why;
  EXPECT_TRUE(restarted.Module("store", "pr_keep"));
  auto count = restarted.Execute("store", "select count(*) from t_sys_operator where oper_id = '2001'");
  ASSERT_FALSE(count.statements.empty());
  ASSERT_TRUE(count.statements[0].result);
  EXPECT_EQ(count.statements[0].result->rows.at(0).at(0), "0");

  // The transaction went on as if nothing had happened, and its commit is
  // saved when its client leaves.
  std::optional<Reply> r = a->Batch("select count(*) from sysobjects where name = 'pr_keep'\ncommit");
  ASSERT_TRUE(r);
  ASSERT_EQ(r->rows.size(), 1u);
  EXPECT_EQ(r->rows[0][0], "0");
  a.reset();
  ASSERT_TRUE(WaitForWrites(2));
  MemoryEngine after;
  ASSERT_TRUE(after.Load(path, &why)) << why;
  EXPECT_FALSE(after.Module("store", "pr_keep"));
  EXPECT_EQ(after.Dump(), engine->Dump());
}

// Only a client that logged in and changed something gets the file
// written: connections that never log in, and clients that only read,
// leave it alone.
TEST_F(KeptState, OnlyCommittedChangesGetTheFileWritten) {
  {
    RawClient bare;
    ASSERT_TRUE(bare.Connect(server->port()));
    RawClient prelogin_only;
    ASSERT_TRUE(prelogin_only.Connect(server->port()));
    ASSERT_TRUE(prelogin_only.Send(tds::kPrelogin, testing::PreloginPayload()));
    ASSERT_TRUE(prelogin_only.Read());
    RawClient refused;
    ASSERT_TRUE(refused.Connect(server->port()));
    std::optional<Reply> r = refused.Login("tandrel", "wrong", "store");
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->loginack_version);
    auto reader = LoggedIn();
    Run(*reader, "select count(*) from t_sys_menu");
    Run(*reader, "begin tran\nupdate t_sys_menu set menu_name = 'x'\nrollback");
  }
  ASSERT_TRUE(server->WaitForIdle());
  auto writer = LoggedIn();
  Run(*writer, "insert into t_sys_operator (oper_id) values ('2002')");
  writer.reset();
  ASSERT_TRUE(WaitForWrites(1));
  // Time for a late callback of the first clients to show itself.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(keeper->writes(), 1);
  // Saving again with nothing new committed writes nothing.
  std::string why;
  EXPECT_TRUE(keeper->Save(&why)) << why;
  EXPECT_EQ(keeper->writes(), 1);
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

}  // namespace
}  // namespace storesim
