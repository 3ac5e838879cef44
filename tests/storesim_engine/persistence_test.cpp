// Saving and loading the state, and comparing two engines' databases.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "support/engine_helpers.h"
#include "support/upgrade_statements.h"

using storesim_test::Errors;
using storesim_test::SampleEngine;
using storesim_test::Scalar;

namespace {

class StateFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("storesim_engine_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    path = (dir / "state.txt").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::filesystem::path dir;
  std::string path;
};

TEST_F(StateFile, RoundTripKeepsCatalogRowsAndCounters) {
  auto engine = SampleEngine();
  auto s = engine->OpenSession("store");
  for (const auto& item : storesim_test::UpgradeStatements()) s->ExecuteBatch(item.text);
  s->ExecuteBatch("create procedure pr_a\r\n with ENCRYPTION as\r\nbegin\r\n\tselect 'a\\b'\r\nend");
  s->ExecuteBatch("create trigger tr_a on t_sys_menu for insert as return");
  s->ExecuteBatch("insert into t_rm_market (branch_no, oper_date) values ('00\t1', '2019-01-10')");
  s->ExecuteBatch("insert into t_sys_system values ('MULTI', 'line\r\nbreak', null, '是', '', null, null, null)");
  engine->CreateDatabase("other");
  engine->Execute("other", "create table t (a int)");

  std::string error;
  ASSERT_TRUE(engine->Save(path, &error)) << error;
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

  storesim::MemoryEngine loaded;
  ASSERT_TRUE(loaded.Load(path, &error)) << error;
  EXPECT_EQ(loaded.Dump(), engine->Dump());
  EXPECT_EQ(loaded.Databases(), engine->Databases());
  auto m = loaded.Module("store", "pr_a");
  ASSERT_TRUE(m);
  EXPECT_TRUE(m->encrypted);
  EXPECT_EQ(m->text, engine->Module("store", "pr_a")->text);

  // Identity counters and defaults work on after loading.
  auto both = [&](const std::string& sql) {
    engine->Execute("store", sql);
    loaded.Execute("store", sql);
  };
  both("insert into t_rm_market (branch_no) values ('002')");
  EXPECT_EQ(Scalar(loaded.Execute("store", "select com_no, price from t_rm_market where branch_no = '002'")), "2");
  EXPECT_EQ(loaded.Rows("store", "t_rm_market")->back()[3], "0.0000");
  EXPECT_EQ(loaded.Dump(), engine->Dump());
  // The saved state may be saved again unchanged.
  std::string second = (dir / "again.txt").string();
  ASSERT_TRUE(loaded.Save(second));
  storesim::MemoryEngine again;
  ASSERT_TRUE(again.Load(second));
  EXPECT_EQ(again.Dump(), loaded.Dump());
}

TEST_F(StateFile, RefusesFilesThatAreNotWhole) {
  auto engine = SampleEngine();
  ASSERT_TRUE(engine->Save(path));
  std::string text;
  {
    std::ifstream f(path, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(f), {});
  }
  std::string before = engine->Dump();
  auto write = [&](const std::string& content) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << content;
  };
  std::string error;
  write(text.substr(0, text.rfind('\n', text.size() / 2) + 1));
  EXPECT_FALSE(engine->Load(path, &error));
  EXPECT_NE(error.find("cut short"), std::string::npos) << error;
  write(text.substr(0, text.size() / 2));
  EXPECT_FALSE(engine->Load(path, &error));
  write("storesim-state\t99\nend\n");
  EXPECT_FALSE(engine->Load(path, &error));
  write(text.substr(0, text.find("row\t")) + "row\tonly-one-value\nend\n");
  EXPECT_FALSE(engine->Load(path, &error));
  EXPECT_FALSE(engine->Load((dir / "missing").string(), &error));
  // A refused load leaves the engine as it was.
  EXPECT_EQ(engine->Dump(), before);
  EXPECT_FALSE(engine->Save((dir / "no" / "such" / "dir" / "f").string(), &error));
}

// The state file is what a restarted server goes on from: the work of
// transactions still open when it is written must not be in it, whoever's
// they are, and the sessions that hold them go on undisturbed.
TEST_F(StateFile, HoldsTheCommittedWorkOfEverySessionOnly) {
  auto engine = SampleEngine();
  engine->Execute("store", "create procedure pr_keep as select 1");
  engine->Execute("store", "create table t_shared (k int not null primary key, v varchar(10))\n"
                           "insert into t_shared values (1, 'one')");
  auto a = engine->OpenSession("store");
  auto b = engine->OpenSession("store");
  auto c = engine->OpenSession("store");
  ASSERT_TRUE(Errors(a->ExecuteBatch("begin tran\ndrop procedure pr_keep\n"
                                     "update t_shared set v = 'a' where k = 1\n"
                                     "create table t_a (x int)")).empty());
  // Another session's open work on the same row, done after a's.
  ASSERT_TRUE(Errors(b->ExecuteBatch("begin tran\nupdate t_shared set v = 'b' where k = 1\n"
                                     "insert into t_shared values (2, 'two')")).empty());
  // Committed work in between, by a third session and outside transactions.
  ASSERT_TRUE(Errors(c->ExecuteBatch("begin tran\ninsert into t_shared values (3, 'three')\ncommit")).empty());
  engine->Execute("store", "create procedure pr_new as select 2");
  const std::string live = engine->Dump();

  std::string error;
  ASSERT_TRUE(engine->Save(path, &error)) << error;
  storesim::MemoryEngine loaded;
  ASSERT_TRUE(loaded.Load(path, &error)) << error;
  EXPECT_TRUE(loaded.Module("store", "pr_keep"));
  EXPECT_TRUE(loaded.Module("store", "pr_new"));
  EXPECT_FALSE(loaded.Table("store", "t_a"));
  EXPECT_EQ(Scalar(loaded.Execute("store", "select v from t_shared where k = 1")), "one");
  EXPECT_EQ(Scalar(loaded.Execute("store", "select count(*) from t_shared")), "2");
  // Writing the file took nothing back from the sessions.
  EXPECT_EQ(engine->Dump(), live);
  EXPECT_TRUE(a->InTransaction());
  EXPECT_EQ(Scalar(a->ExecuteBatch("select v from t_shared where k = 1")), "b");

  // Once they commit, their work is saved.
  ASSERT_TRUE(Errors(b->ExecuteBatch("commit")).empty());
  ASSERT_TRUE(Errors(a->ExecuteBatch("commit")).empty());
  ASSERT_TRUE(engine->Save(path, &error)) << error;
  storesim::MemoryEngine after;
  ASSERT_TRUE(after.Load(path, &error)) << error;
  EXPECT_EQ(after.Dump(), engine->Dump());
  EXPECT_FALSE(after.Module("store", "pr_keep"));
  EXPECT_TRUE(after.Table("store", "t_a"));
}

TEST(Dump, EqualExactlyWhenTheDatabasesAreEqual) {
  auto a = SampleEngine();
  auto b = SampleEngine();
  EXPECT_EQ(a->Dump(), b->Dump());
  // Row order does not matter; values do.
  a->Execute("store", "create table t_x (v varchar(5))\ninsert into t_x values ('1')\ninsert into t_x values ('2')");
  b->Execute("store", "create table t_x (v varchar(5))\ninsert into t_x values ('2')\ninsert into t_x values ('1')");
  EXPECT_EQ(a->Dump(), b->Dump());
  b->Execute("store", "update t_x set v = '3' where v = '2'");
  EXPECT_NE(a->Dump(), b->Dump());
  // A NULL is not an empty text.
  auto c = SampleEngine();
  auto d = SampleEngine();
  c->Execute("store", "update t_sys_operator set memo = null");
  d->Execute("store", "update t_sys_operator set memo = ''");
  EXPECT_NE(c->Dump(), d->Dump());
  // Unnamed constraints get the same names for the same statements.
  c->Execute("store", "create table t_k (a int not null primary key, b int default 1)");
  d->Execute("store", "create table t_k (a int not null primary key, b int default 1)");
  d->Execute("store", "update t_sys_operator set memo = null");
  EXPECT_EQ(c->Dump(), d->Dump());
  EXPECT_NE(c->Dump("store").find("DF__t_k__b__"), std::string::npos);
}

}  // namespace
