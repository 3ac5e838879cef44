// Transactions: requests of the transaction manager, T-SQL BEGIN / COMMIT
// / ROLLBACK, DDL undone with them, statement atomicity and sessions that
// share the databases.
#include <gtest/gtest.h>

#include "support/engine_helpers.h"

using storesim::BatchResult;
using storesim_test::Errors;
using storesim_test::Numbers;
using storesim_test::SampleEngine;
using storesim_test::Scalar;

namespace {

class Transactions : public ::testing::Test {
 protected:
  std::unique_ptr<storesim::MemoryEngine> engine = SampleEngine();
  std::unique_ptr<storesim::Session> session = engine->OpenSession("store");
  std::optional<std::string> Value(const std::string& sql) { return Scalar(engine->Execute("store", sql)); }
};

TEST_F(Transactions, RollbackUndoesDropAndCreateOfAProcedure) {
  ASSERT_TRUE(Errors(session->ExecuteBatch("create procedure pr_a as select 1")).empty());
  std::string before = engine->Dump();

  EXPECT_FALSE(session->Begin());
  EXPECT_TRUE(session->InTransaction());
  EXPECT_TRUE(Errors(session->ExecuteBatch("drop procedure pr_a")).empty());
  EXPECT_TRUE(Errors(session->ExecuteBatch("create procedure pr_a with encryption as select 2")).empty());
  EXPECT_TRUE(engine->Module("store", "pr_a")->encrypted);
  EXPECT_FALSE(session->Rollback(false));
  EXPECT_FALSE(session->InTransaction());

  auto m = engine->Module("store", "pr_a");
  ASSERT_TRUE(m);
  EXPECT_FALSE(m->encrypted);
  EXPECT_EQ(m->text, "create procedure pr_a as select 1");
  EXPECT_EQ(engine->Dump(), before);
}

TEST_F(Transactions, RollbackUndoesTableChangesOfEveryKind) {
  std::string before = engine->Dump();
  session->Begin();
  session->ExecuteBatch("create table t_new (id int identity not null primary key, name varchar(10) default 'x')");
  session->ExecuteBatch("insert into t_new (name) values ('a')");
  session->ExecuteBatch("alter table t_rm_vip_motherhood_identity add baby_name1 varchar(20) default('') null");
  session->ExecuteBatch("alter table t_sys_operator alter column cash_grant varchar(30) null");
  session->ExecuteBatch("update t_sys_menu set menu_id = '6701' where menu_id = 'F101'");
  session->ExecuteBatch("delete from t_sys_oper_grant");
  session->ExecuteBatch("drop index t_sys_pos_status_history.Index_1");
  session->ExecuteBatch("create index ix_name on t_sys_operator (oper_name)");
  session->ExecuteBatch("drop table t_bd_item_info");
  session->ExecuteBatch("create type u_extra from varchar(3)");
  EXPECT_NE(engine->Dump(), before);
  EXPECT_TRUE(session->InTransaction());
  session->Rollback(false);
  EXPECT_EQ(engine->Dump(), before);
}

TEST_F(Transactions, CommitKeepsAndBeginNewStartsTheNext) {
  session->Begin();
  session->ExecuteBatch("insert into t_sys_operator (oper_id, oper_name) values ('2001', 'a')");
  EXPECT_FALSE(session->Commit(true));
  EXPECT_TRUE(session->InTransaction());
  session->ExecuteBatch("insert into t_sys_operator (oper_id, oper_name) values ('2002', 'b')");
  session->Rollback(true);
  EXPECT_TRUE(session->InTransaction());
  session->Rollback(false);
  EXPECT_EQ(Value("select count(*) from t_sys_operator where oper_id like '200%'"), "1");
  // A rollback or commit with nothing open is no error (autocommit on sends one).
  EXPECT_FALSE(session->Rollback(false));
  EXPECT_FALSE(session->Commit(false));
}

// The wire server tells the client of these changes (begun, committed,
// rolled back), statement by statement.
TEST_F(Transactions, StatementsSayWhetherTheyBeganCommittedOrRolledBack) {
  using C = storesim::TransactionChange;
  auto changes = [&](const std::string& sql) {
    std::vector<C> out;
    for (const auto& st : session->ExecuteBatch(sql).statements) out.push_back(st.transaction);
    return out;
  };
  EXPECT_EQ(changes("begin tran\nbegin tran\ninsert into t_sys_operator (oper_id) values ('2001')\ncommit\ncommit"),
            (std::vector<C>{C::Began, C::None, C::None, C::None, C::Committed}));
  EXPECT_EQ(changes("begin tran\nbegin tran\nrollback\nselect 1"),
            (std::vector<C>{C::Began, C::None, C::RolledBack, C::None}));
  EXPECT_EQ(changes("begin tran"), std::vector<C>{C::Began});
  EXPECT_EQ(changes("IF @@TRANCOUNT > 0 COMMIT BEGIN TRANSACTION"), (std::vector<C>{C::Committed, C::Began}));
  EXPECT_EQ(changes("commit\ncommit"), (std::vector<C>{C::Committed, C::None}));  // the second one fails
}

TEST_F(Transactions, TransactSqlStatementsNestAndCount) {
  BatchResult r = session->ExecuteBatch(
      "begin tran\r\nbegin transaction\r\ninsert into t_sys_operator (oper_id) values ('2001')\r\n"
      "commit\r\nselect @@trancount");
  EXPECT_EQ(Scalar(r), "1");
  EXPECT_TRUE(session->InTransaction());
  r = session->ExecuteBatch("rollback transaction select @@trancount");
  EXPECT_EQ(Scalar(r), "0");
  EXPECT_EQ(Value("select count(*) from t_sys_operator where oper_id = '2001'"), "0");

  r = session->ExecuteBatch("commit");
  EXPECT_EQ(storesim_test::TextOf(r, 3902), "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  r = session->ExecuteBatch("rollback");
  EXPECT_EQ(storesim_test::TextOf(r, 3903),
            "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  EXPECT_TRUE(Errors(session->ExecuteBatch("begin tran insert into t_sys_operator (oper_id) values ('2002') commit tran")).empty());
  EXPECT_EQ(Value("select count(*) from t_sys_operator where oper_id = '2002'"), "1");
  // What older clients send instead of transaction requests.
  session->ExecuteBatch("BEGIN TRANSACTION");
  session->ExecuteBatch("insert into t_sys_operator (oper_id) values ('2003')");
  EXPECT_TRUE(Errors(session->ExecuteBatch("IF @@TRANCOUNT > 0 COMMIT BEGIN TRANSACTION")).empty());
  EXPECT_TRUE(session->InTransaction());
  session->ExecuteBatch("insert into t_sys_operator (oper_id) values ('2004')");
  session->ExecuteBatch("IF @@TRANCOUNT > 0 ROLLBACK");
  EXPECT_FALSE(session->InTransaction());
  EXPECT_EQ(Value("select count(*) from t_sys_operator where oper_id in ('2003', '2004')"), "1");
}

TEST_F(Transactions, CloseRollsBackWhatIsOpen) {
  session->Begin();
  session->ExecuteBatch("insert into t_sys_operator (oper_id) values ('2001')");
  session->ExecuteBatch("create table t_tmp (a int)");
  session->Close();
  EXPECT_EQ(Value("select count(*) from t_sys_operator where oper_id = '2001'"), "0");
  EXPECT_FALSE(engine->Table("store", "t_tmp"));
  // Destroying a session closes it as well.
  auto other = engine->OpenSession("store");
  other->ExecuteBatch("begin tran insert into t_sys_operator (oper_id) values ('2003')");
  other.reset();
  EXPECT_EQ(Value("select count(*) from t_sys_operator where oper_id = '2003'"), "0");
}

TEST_F(Transactions, AFailingStatementLeavesNothingBehind) {
  // The fourth row collides with an existing key: none of the rows stays.
  BatchResult r = session->ExecuteBatch(
      "insert into t_sys_menu (menu_id) values ('X001'), ('X002'), ('X003'), ('0101')");
  EXPECT_EQ(Numbers(r), (std::vector<int>{2627, 3621}));
  EXPECT_EQ(Value("select count(*) from t_sys_menu where menu_id like 'X%'"), "0");
  // Inside a transaction the failed statement alone is undone.
  session->Begin();
  session->ExecuteBatch("insert into t_sys_menu (menu_id) values ('X001')");
  session->ExecuteBatch("insert into t_sys_menu (menu_id) values ('X002'), ('x001')");
  session->Commit(false);
  EXPECT_EQ(Value("select count(*) from t_sys_menu where menu_id like 'X%'"), "1");
  // A multi-constraint ALTER fails whole.
  r = session->ExecuteBatch(
      "alter table t_sys_menu add constraint DF_a default ('1') for flag1, constraint DF_b default ('1') for nosuch");
  EXPECT_EQ(Numbers(r), (std::vector<int>{1752, 1750}));
  EXPECT_TRUE(engine->Table("store", "t_sys_menu")->Column("flag1")->default_name.empty());
}

TEST_F(Transactions, SessionsShareTheDatabaseAndRollBackOnlyTheirOwnWork) {
  auto other = engine->OpenSession("store");
  session->Begin();
  session->ExecuteBatch("insert into t_sys_operator (oper_id) values ('2001')");
  other->ExecuteBatch("insert into t_sys_operator (oper_id) values ('2002')");
  // Uncommitted work is visible to the other session (read uncommitted).
  EXPECT_EQ(Scalar(other->ExecuteBatch("select count(*) from t_sys_operator where oper_id = '2001'")), "1");
  session->Rollback(false);
  EXPECT_EQ(Value("select count(*) from t_sys_operator where oper_id = '2001'"), "0");
  EXPECT_EQ(Value("select count(*) from t_sys_operator where oper_id = '2002'"), "1");
}

TEST_F(Transactions, IdentityValuesAreNotTakenBack) {
  session->Begin();
  session->ExecuteBatch("insert into t_rm_protion_flow (card_id) values ('V1')");
  session->Rollback(false);
  session->ExecuteBatch("insert into t_rm_protion_flow (card_id) values ('V2')");
  EXPECT_EQ(Value("select flow_id from t_rm_protion_flow where card_id = 'V2'"), "3");
  EXPECT_EQ(Value("select max(flow_id) from t_rm_protion_flow"), "3");
}

}  // namespace
