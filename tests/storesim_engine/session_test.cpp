// Logins, database switches, fault injection and the statement history.
#include <gtest/gtest.h>

#include "support/engine_helpers.h"

using storesim::BatchResult;
using storesim::LoginRequest;
using storesim::Message;
using storesim_test::Errors;
using storesim_test::Numbers;
using storesim_test::SampleEngine;
using storesim_test::Scalar;
using storesim_test::TextOf;

namespace {

LoginRequest Request(const std::string& user, const std::string& password, const std::string& db) {
  LoginRequest r;
  r.user = user;
  r.password = password;
  r.database = db;
  r.app_name = "schemalift";
  return r;
}

TEST(Login, AcceptsTheConfiguredLoginOnly) {
  auto engine = SampleEngine();
  std::vector<Message> refusal;
  auto s = engine->Login(Request("tandrel", "tolvank", "store"), &refusal);
  ASSERT_TRUE(s);
  EXPECT_TRUE(refusal.empty());
  EXPECT_EQ(s->CurrentDatabase(), "store");
  EXPECT_FALSE(s->InTransaction());
  // Login names ignore case, passwords do not.
  EXPECT_TRUE(engine->Login(Request("TANDREL", "tolvank", "STORE"), &refusal));

  EXPECT_FALSE(engine->Login(Request("tandrel", "TOLVANK", "store"), &refusal));
  ASSERT_EQ(refusal.size(), 1u);
  EXPECT_EQ(refusal[0].number, 18456);
  EXPECT_EQ(refusal[0].cls, 14);
  EXPECT_EQ(refusal[0].text, "Login failed for user 'tandrel'.");
  EXPECT_FALSE(engine->Login(Request("sa", "tolvank", "store"), &refusal));
  EXPECT_EQ(refusal[0].text, "Login failed for user 'sa'.");

  EXPECT_FALSE(engine->Login(Request("tandrel", "tolvank", "nosuch"), &refusal));
  ASSERT_EQ(refusal.size(), 2u);
  EXPECT_EQ(refusal[0].number, 4060);
  EXPECT_EQ(refusal[0].cls, 11);
  EXPECT_EQ(refusal[0].text, "Cannot open database \"nosuch\" requested by the login. The login failed.");
  EXPECT_EQ(refusal[1].number, 18456);

  // No database named: the login's default.
  auto d = engine->Login(Request("tandrel", "tolvank", ""), &refusal);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->CurrentDatabase(), "master");
}

TEST(Login, CredentialsAndDefaultDatabaseAreConfigurable) {
  storesim::EngineOptions o;
  o.login = "clerk";
  o.password = "pw";
  o.default_database = "store";
  storesim::MemoryEngine engine(o);
  ASSERT_TRUE(storesim::CreateSampleStore(engine));
  std::vector<Message> refusal;
  EXPECT_FALSE(engine.Login(Request("tandrel", "tolvank", ""), &refusal));
  auto s = engine.Login(Request("clerk", "pw", ""), &refusal);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->CurrentDatabase(), "store");
}

TEST(Use, SwitchesTheDatabaseOfTheSession) {
  auto engine = SampleEngine();
  auto s = engine->Login(Request("tandrel", "tolvank", "store"), nullptr);
  BatchResult r = s->ExecuteBatch("use master");
  ASSERT_EQ(r.statements.size(), 1u);
  EXPECT_FALSE(r.statements[0].error);
  EXPECT_EQ(r.statements[0].database_change, "master");
  ASSERT_EQ(r.statements[0].messages.size(), 1u);
  EXPECT_EQ(r.statements[0].messages[0].number, 5701);
  EXPECT_EQ(r.statements[0].messages[0].cls, 10);
  EXPECT_EQ(r.statements[0].messages[0].text, "Changed database context to 'master'.");
  EXPECT_EQ(s->CurrentDatabase(), "master");
  EXPECT_EQ(Errors(s->ExecuteBatch("select * from t_sys_menu")), std::vector<int>{208});
  // The store's tables by their full name.
  EXPECT_EQ(Scalar(s->ExecuteBatch("select count(*) from store..t_sys_operator")), "3");
  r = s->ExecuteBatch("use [Store]");
  EXPECT_EQ(r.statements[0].database_change, "store");
  EXPECT_EQ(TextOf(r, 5701), "Changed database context to 'store'.");
  EXPECT_TRUE(Errors(s->ExecuteBatch("select * from t_sys_menu")).empty());
}

TEST(Faults, RefuseMatchingStatementsWithTheGivenError) {
  auto engine = SampleEngine();
  storesim::Fault f;
  f.pattern = "t_rm_market";
  f.error = storesim::MakeError(1205, 13, "Transaction (Process ID 51) was deadlocked.");
  f.times = 1;
  engine->AddFault(f);
  BatchResult r = engine->Execute("store", "select 1\r\ncreate table t_rm_market (a int)\r\nselect 2");
  EXPECT_EQ(Numbers(r), std::vector<int>{1205});
  EXPECT_EQ(r.statements.size(), 3u);
  EXPECT_TRUE(r.statements[1].error);
  EXPECT_FALSE(engine->Table("store", "t_rm_market"));
  // Used up: the next one runs.
  EXPECT_TRUE(Errors(engine->Execute("store", "create table t_rm_market (a int)")).empty());

  storesim::Fault re;
  re.pattern = "^\\s*create\\s+procedure";
  re.regex = true;
  re.error = storesim::MakeError(2714, 16, "There is already an object named 'pr_x' in the database.");
  engine->AddFault(re);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(Errors(engine->Execute("store", "\n CREATE  PROCEDURE pr_x as return")), std::vector<int>{2714});
  }
  EXPECT_TRUE(Errors(engine->Execute("store", "create table t_y (a int)")).empty());
  engine->ClearFaults();
  EXPECT_TRUE(Errors(engine->Execute("store", "create procedure pr_x as return")).empty());
}

TEST(History, RecordsEachStatementWithItsOutcome) {
  auto engine = SampleEngine();
  engine->ClearHistory();
  auto s = engine->OpenSession("store");
  s->ExecuteBatch("update t_sys_menu set normal_flag = '0' where menu_id = '3101'  insert t_sys_menu (menu_id) values ('3101')");
  s->ExecuteBatch("use master");
  auto h = engine->History();
  ASSERT_EQ(h.size(), 3u);
  EXPECT_EQ(h[0].text, "update t_sys_menu set normal_flag = '0' where menu_id = '3101'");
  EXPECT_EQ(h[0].error, 0);
  EXPECT_EQ(h[1].text, "insert t_sys_menu (menu_id) values ('3101')");
  EXPECT_EQ(h[1].error, 2627);
  EXPECT_EQ(h[2].database, "store");
}

}  // namespace
