// The upgrade's statement list against the sample store database: a first
// run succeeds statement by statement, a second run is refused the way
// the server refuses it, and the grant insert adds what it should.
#include <gtest/gtest.h>

#include <map>

#include "support/engine_helpers.h"
#include "support/golden.h"
#include "support/upgrade_statements.h"

using storesim::BatchResult;
using storesim::SampleOptions;
using storesim_test::Errors;
using storesim_test::Numbers;
using storesim_test::SampleEngine;
using storesim_test::Scalar;
using storesim_test::TextOf;
using storesim_test::UpgradeStatements;

namespace {

std::optional<std::string> Value(storesim::MemoryEngine& e, const std::string& sql) {
  return Scalar(e.Execute("store", sql));
}

TEST(StatementList, FirstRunOnAFreshDatabaseSucceedsEverywhere) {
  auto engine = SampleEngine();
  auto session = engine->OpenSession("store");
  for (const auto& item : UpgradeStatements()) {
    BatchResult r = session->ExecuteBatch(item.text);
    EXPECT_TRUE(Errors(r).empty()) << "item " << item.number << ": " << TextOf(r, Errors(r).empty() ? 0 : Errors(r)[0]);
  }
  EXPECT_EQ(Value(*engine, storesim_test::StageRead()), "20170521");
  EXPECT_EQ(Value(*engine, "select sys_var_value from t_sys_system where sys_var_id = 'DataBase_Version'"),
            "V8 20190110");
  // The menu renumbering and the flag update of the second stage.
  EXPECT_EQ(Value(*engine, "select count(*) from t_sys_menu where menu_id like 'F10%'"), "0");
  EXPECT_EQ(Value(*engine, "select count(*) from t_sys_menu where menu_id like '67%' and normal_flag = '0'"), "6");
  EXPECT_EQ(Value(*engine, "select menu_name from t_sys_menu where menu_id = '6703'"), "母婴积分规则");
  EXPECT_EQ(Value(*engine, "select branch_flag from t_sys_menu where menu_id = '3101'"), "111101");
  // The sixth value of the first insert is the text 'NULL', not a NULL.
  EXPECT_EQ(Value(*engine, "select menu_param from t_sys_menu where menu_id = 'B404'"), "NULL");
  EXPECT_EQ(Value(*engine, "select menu_param from t_sys_menu where menu_id = '3307'"), std::nullopt);

  auto market = engine->Table("store", "t_rm_market");
  ASSERT_TRUE(market);
  ASSERT_EQ(market->columns.size(), 11u);
  EXPECT_TRUE(market->columns[0].identity);
  EXPECT_EQ(market->columns[0].type, "decimal(16,0)");
  EXPECT_EQ(market->Column("price")->default_name, "DF__t_rm_mark__price__2D288360");
  ASSERT_TRUE(market->PrimaryKey());
  EXPECT_EQ(market->PrimaryKey()->name, "PK_t_rm_market");

  auto giv = engine->Table("store", "t_rm_casher_daysum_giv");
  ASSERT_TRUE(giv);
  ASSERT_TRUE(giv->PrimaryKey());
  EXPECT_EQ(giv->PrimaryKey()->columns, (std::vector<std::string>{"oper_date", "oper_id", "branch_no"}));
  EXPECT_EQ(giv->indexes.size(), 5u);
  EXPECT_TRUE(engine->Table("store", "t_sys_pos_status_history")->indexes.empty());

  auto small = engine->Table("store", "t_rm_vip_small");
  ASSERT_TRUE(small);
  EXPECT_EQ(small->columns.size(), 5u);
  EXPECT_EQ(small->Column("small_amt")->type, "numeric(16,4)");
  EXPECT_EQ(small->Column("small_amt")->user_type, "u_amount");

  auto saveset = engine->Table("store", "t_rm_vip_saveset");
  ASSERT_TRUE(saveset);
  EXPECT_FALSE(saveset->Column("set_type")->nullable);
  EXPECT_EQ(saveset->Column("set_type")->default_text, "('0')");
  EXPECT_EQ(saveset->Column("set_type")->default_name.rfind("DF__t_rm_vip___set_t__", 0), 0u);

  EXPECT_EQ(engine->Table("store", "t_sys_operator")->Column("cash_grant")->type, "varchar(30)");
  EXPECT_EQ(engine->Table("store", "t_im_sheet_master")->columns.size(), 15u);
  // Added nullable columns with a default leave existing rows NULL.
  EXPECT_EQ(Value(*engine, "select count(*) from t_rm_vip_motherhood_identity where baby_name1 is null"), "2");
  EXPECT_EQ(Value(*engine, "select count(*) from t_sys_operator where area_manager is null"), "3");
}

TEST(StatementList, SecondRunIsRefusedAsTheServerRefusesIt) {
  auto engine = SampleEngine();
  auto session = engine->OpenSession("store");
  for (const auto& item : UpgradeStatements()) session->ExecuteBatch(item.text);
  std::string before = engine->Dump();

  const std::vector<int> dup_key{2627, 3621}, exists{2714}, constraint_exists{2714, 1750}, dup_column{2705};
  std::map<int, std::vector<int>> expected;
  for (int n : {1, 2, 31, 32, 41, 42, 43, 44, 45, 62, 64}) expected[n] = dup_key;
  for (int n : {3, 6, 9, 33, 37, 39, 46, 60}) expected[n] = exists;
  for (int n : {4, 5, 7, 11, 34, 38, 40, 47, 48, 61}) expected[n] = constraint_exists;
  for (int n : {24, 25, 26, 27, 28, 29, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 63, 65}) expected[n] = dup_column;
  expected[8] = {3701};
  expected[10] = {1779, 1750};
  for (int n : {12, 13, 14, 15}) expected[n] = {1913};

  std::map<int, BatchResult> results;
  for (const auto& item : UpgradeStatements()) {
    BatchResult r = session->ExecuteBatch(item.text);
    EXPECT_EQ(Numbers(r), expected[item.number]) << "item " << item.number;
    results[item.number] = r;
  }
  EXPECT_EQ(TextOf(results[1], 2627),
            "Violation of PRIMARY KEY constraint 'PK_t_sys_menu'. Cannot insert duplicate key in object "
            "'dbo.t_sys_menu'. The duplicate key value is (B404).");
  EXPECT_EQ(TextOf(results[1], 3621), "The statement has been terminated.");
  EXPECT_EQ(TextOf(results[3], 2714), "There is already an object named 't_rm_market' in the database.");
  EXPECT_EQ(TextOf(results[4], 2714), "There is already an object named 'PK_t_rm_market' in the database.");
  EXPECT_EQ(TextOf(results[4], 1750), "Could not create constraint or index. See previous errors.");
  EXPECT_EQ(TextOf(results[8], 3701),
            "Cannot drop the index 't_sys_pos_status_history.Index_1', because it does not exist or you do not have "
            "permission.");
  EXPECT_EQ(TextOf(results[10], 1779), "Table 't_rm_casher_daysum_giv' already has a primary key defined on it.");
  EXPECT_EQ(TextOf(results[12], 1913),
            "The operation failed because an index or statistics with name 'i_daysum_giv_oper_date' already exists on "
            "table 'dbo.t_rm_casher_daysum_giv'.");
  EXPECT_EQ(TextOf(results[24], 2705),
            "Column names in each table must be unique. Column name 'baby_name1' in table "
            "'t_rm_vip_motherhood_identity' is specified more than once.");
  // Classes and states as the server sends them.
  EXPECT_EQ(results[1].statements[0].messages[0].cls, 14);
  EXPECT_EQ(results[1].statements[0].messages[1].cls, 0);
  EXPECT_EQ(results[8].statements[0].messages[0].cls, 11);
  EXPECT_EQ(results[3].statements[0].messages[0].cls, 16);
  EXPECT_TRUE(results[3].statements[0].error);
  // Refused statements changed nothing; the accepted ones found nothing to change.
  EXPECT_EQ(engine->Dump(), before);
  EXPECT_EQ(results[68].statements[0].row_count, 0);
}

TEST(StatementList, StagesEnteredLaterFindTheirObjects) {
  // A database recorded at a later stage runs the rest of the list cleanly.
  for (std::string stage : {"20151227", "20170521"}) {
    SampleOptions o;
    o.upgrade_date = stage;
    o.earlier_stages = testing_support::statements_through_stage(stage);
    ASSERT_FALSE(o.earlier_stages.empty()) << stage;
    auto engine = SampleEngine(o);
    auto session = engine->OpenSession("store");
    int first = stage == "20151227" ? 17 : 31;
    for (const auto& item : UpgradeStatements()) {
      if (item.number < first) continue;
      BatchResult r = session->ExecuteBatch(item.text);
      EXPECT_TRUE(Errors(r).empty()) << stage << " item " << item.number << ": "
                                     << (Errors(r).empty() ? "" : TextOf(r, Errors(r)[0]));
    }
    EXPECT_EQ(Value(*engine, storesim_test::StageRead()), "20170521");
  }
}

TEST(StatementList, StageReadFollowsTheStoredMarker) {
  SampleOptions none;
  none.upgrade_date.reset();
  EXPECT_EQ(Value(*SampleEngine(none), storesim_test::StageRead()), "00000000");
  SampleOptions null_value;
  null_value.null_upgrade_date = true;
  auto engine = SampleEngine(null_value);
  BatchResult r = engine->Execute("store", storesim_test::StageRead());
  EXPECT_EQ(Scalar(r), "00000000");
  // The NULL that max() passes over is reported as a warning, not an error.
  EXPECT_EQ(Numbers(r), std::vector<int>{8153});
  EXPECT_TRUE(Errors(r).empty());
  SampleOptions other;
  other.upgrade_date = "20190110";
  EXPECT_EQ(Value(*SampleEngine(other), storesim_test::StageRead()), "20190110");

  // Several marker rows: the greatest text wins, and the update changes them all.
  auto several = SampleEngine();
  several->Execute("store",
                   "insert t_sys_system values ( 'UPGRADE_DATE' , 'UPGRADE_DATE' , '20151227' , '是' , '' , null , null , "
                   "null )");
  EXPECT_EQ(Value(*several, storesim_test::StageRead()), "20151227");
  BatchResult u = several->Execute(
      "store", "update t_sys_system set sys_var_value ='20170521' where sys_var_id ='UPGRADE_DATE'");
  EXPECT_EQ(u.statements[0].row_count, 2);
}

TEST(StatementList, BootstrapInsertFollowsTheSystemTableKey) {
  const std::string bootstrap =
      "insert t_sys_system values ( 'UPGRADE_DATE' , 'UPGRADE_DATE' , '00000000' , '是' , '' , null , null , null )";
  auto plain = SampleEngine();
  EXPECT_TRUE(Errors(plain->Execute("store", bootstrap)).empty());
  EXPECT_EQ(Value(*plain, "select count(*) from t_sys_system where sys_var_id = 'UPGRADE_DATE'"), "2");

  SampleOptions keyed;
  keyed.system_primary_key = true;
  auto engine = SampleEngine(keyed);
  EXPECT_EQ(Numbers(engine->Execute("store", bootstrap)), (std::vector<int>{2627, 3621}));
  EXPECT_EQ(Value(*engine, "select count(*) from t_sys_system where sys_var_id = 'upgrade_date'"), "1");
}

TEST(GrantInsert, GrantsOnlyMenusThatNobodyHoldsToEveryOperator) {
  auto engine = SampleEngine();
  const std::string grant = UpgradeStatements().back().text;
  auto count = [&](const std::string& where) {
    return Value(*engine, "select count(*) from t_sys_oper_grant where " + where);
  };
  // Before: F105, F106 and 3102 have no grant at all; 6101 only for some.
  EXPECT_EQ(count("func_id in ('F105', 'F106', '3102')"), "0");
  std::string granted_6101 = *count("func_id = '6101'");
  std::string total_before = *Value(*engine, "select count(*) from t_sys_oper_grant");

  BatchResult r = engine->Execute("store", grant);
  ASSERT_TRUE(Errors(r).empty()) << TextOf(r, Errors(r).empty() ? 0 : Errors(r)[0]);
  // Three operators times three ungranted menus.
  EXPECT_EQ(r.statements[0].row_count, 9);
  EXPECT_EQ(count("func_id in ('F105', 'F106', '3102')"), "9");
  EXPECT_EQ(count("func_id = '6101'"), granted_6101);
  EXPECT_EQ(*Value(*engine, "select count(*) from t_sys_oper_grant"), std::to_string(std::stoi(total_before) + 9));

  // The thirteen values in column order.
  auto rows = engine->Rows("store", "t_sys_oper_grant");
  bool seen = false;
  for (const auto& row : *rows) {
    if (row[0] == "1002" && row[1] == "F105") {
      seen = true;
      ASSERT_EQ(row.size(), 13u);
      EXPECT_EQ(row[2], "1");
      for (int i = 3; i < 12; ++i) EXPECT_EQ(row[i], "0") << i;
      EXPECT_EQ(row[12], "");
    }
  }
  EXPECT_TRUE(seen);

  // Run again: nothing more.
  BatchResult again = engine->Execute("store", grant);
  EXPECT_TRUE(Errors(again).empty());
  EXPECT_EQ(again.statements[0].row_count, 0);
}

TEST(GrantInsert, NullFuncIdBlocksEveryGrant) {
  // NOT IN over a list that holds a NULL is never true.
  auto engine = SampleEngine();
  engine->Execute("store", "alter table t_sys_oper_grant drop constraint PK_t_sys_oper_grant");
  engine->Execute("store", "alter table t_sys_oper_grant alter column func_id varchar(10) null");
  BatchResult ins = engine->Execute(
      "store", "insert into t_sys_oper_grant (oper_id, func_id) values ('1001', null)");
  ASSERT_TRUE(Errors(ins).empty()) << TextOf(ins, Errors(ins).empty() ? 0 : Errors(ins)[0]);
  BatchResult r = engine->Execute("store", UpgradeStatements().back().text);
  EXPECT_TRUE(Errors(r).empty());
  EXPECT_EQ(r.statements[0].row_count, 0);
}

}  // namespace
