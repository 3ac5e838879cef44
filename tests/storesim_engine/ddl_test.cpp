// Table definitions beyond the statement list: written shapes the parser
// must take, column changes and their refusals, keys and indexes.
#include <gtest/gtest.h>

#include "support/engine_helpers.h"

using storesim::BatchResult;
using storesim_test::Errors;
using storesim_test::Numbers;
using storesim_test::ResultRows;
using storesim_test::SampleEngine;
using storesim_test::Scalar;
using storesim_test::TextOf;

namespace {

class Definitions : public ::testing::Test {
 protected:
  std::unique_ptr<storesim::MemoryEngine> engine = SampleEngine();
  BatchResult Run(const std::string& sql) { return engine->Execute("store", sql); }
  std::optional<std::string> Value(const std::string& sql) { return Scalar(Run(sql)); }
};

TEST_F(Definitions, WrittenShapesThatMeanTheSame) {
  // Brackets with an escaped bracket, quoted names, nested comments, N'' texts,
  // a trailing comma and clauses in any order.
  BatchResult r = Run(
      "/* a /* nested */ comment */ create table [dbo].[t [x]]] (\n"
      "  \"id\" int identity(5, 10) not null constraint pk_x primary key nonclustered, -- key\n"
      "  [name] nvarchar(10) collate Chinese_PRC_CI_AS not null default N'无',\n"
      "  amt u_amount constraint df_amt default (-1.5) null,\n"
      ") on [PRIMARY] textimage_on [PRIMARY];\n"
      "insert into [t [x]]] (name) values (N'it''s');insert into \"t [x]\" default values");
  ASSERT_TRUE(Errors(r).empty()) << TextOf(r, Errors(r).empty() ? 0 : Errors(r)[0]);
  auto t = engine->Table("store", "t [x]");
  ASSERT_TRUE(t);
  EXPECT_FALSE(t->PrimaryKey()->clustered);
  EXPECT_EQ(t->Column("amt")->user_type, "u_amount");
  EXPECT_EQ(t->Column("amt")->default_name, "df_amt");
  EXPECT_EQ(t->Column("amt")->default_text, "(-1.5)");
  auto rows = engine->Rows("store", "t [x]");
  ASSERT_EQ(rows->size(), 2u);
  EXPECT_EQ((*rows)[0], (storesim::Row{"5", "it's", "-1.5000"}));
  EXPECT_EQ((*rows)[1], (storesim::Row{"15", "无", "-1.5000"}));
}

TEST_F(Definitions, ColumnRulesOfCreateTable) {
  EXPECT_EQ(Errors(Run("create table t_a (a int identity, b int identity)")), std::vector<int>{2744});
  EXPECT_EQ(Errors(Run("create table t_a (a varchar(5) identity)")), std::vector<int>{2749});
  EXPECT_EQ(Errors(Run("create table t_a (a int null primary key)")), (std::vector<int>{8111, 1750}));
  EXPECT_EQ(Errors(Run("create table t_a (a int primary key, b int primary key)")), (std::vector<int>{8110, 1750}));
  EXPECT_EQ(Errors(Run("create table t_a (a varchar(9000))")), std::vector<int>{131});
  EXPECT_EQ(Errors(Run("create table t_a (a int collate Chinese_PRC_CI_AS)")), std::vector<int>{447});
  // Key columns without NULL become NOT NULL; user types keep their nullability.
  ASSERT_TRUE(Errors(Run("create type u_strict from char(2) not null\n")).empty());
  ASSERT_TRUE(Errors(Run("create table t_a (a int, b int, c u_strict, primary key (a, b))")).empty());
  auto t = engine->Table("store", "t_a");
  EXPECT_FALSE(t->Column("a")->nullable);
  EXPECT_FALSE(t->Column("c")->nullable);
  EXPECT_EQ(t->PrimaryKey()->name.rfind("PK__t_a__", 0), 0u);
  EXPECT_EQ(Errors(Run("create type u_strict from int")), std::vector<int>{219});
  EXPECT_EQ(Errors(Run("create type u_other from u_strict")), std::vector<int>{243});
}

TEST_F(Definitions, AddedColumnsFillExistingRows) {
  ASSERT_TRUE(Errors(Run("alter table t_sys_operator add lvl char(1) not null default '9', "
                         "seq int identity(1, 1), note varchar(5) default 'n' null")).empty());
  EXPECT_EQ(Value("select count(*) from t_sys_operator where lvl = '9' and note is null"), "3");
  auto rows = ResultRows(Run("select seq from t_sys_operator order by oper_id"));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2][0], "3");
  // WITH VALUES is not needed for new rows: they get the default.
  Run("insert into t_sys_operator (oper_id) values ('2001')");
  EXPECT_EQ(Value("select note from t_sys_operator where oper_id = '2001'"), "n");
  EXPECT_EQ(Value("select seq from t_sys_operator where oper_id = '2001'"), "4");
}

TEST_F(Definitions, AlterColumnConvertsOrRefuses) {
  EXPECT_EQ(Numbers(Run("alter table t_sys_operator alter column oper_name varchar(4) null")),
            (std::vector<int>{8152, 3621}));
  EXPECT_EQ(Value("select oper_name from t_sys_operator where oper_id = '1001'"), "系统管理员");
  EXPECT_EQ(Numbers(Run("alter table t_sys_operator alter column memo varchar(60) not null")),
            (std::vector<int>{515, 3621}));
  EXPECT_EQ(TextOf(Run("alter table t_sys_operator alter column nosuch int"), 4924),
            "ALTER TABLE ALTER COLUMN failed because column 'nosuch' does not exist in table 't_sys_operator'.");
  ASSERT_TRUE(Errors(Run("alter table t_sys_operator alter column oper_type int null")).empty());
  EXPECT_EQ(engine->Table("store", "t_sys_operator")->Column("oper_type")->type, "int");
  EXPECT_EQ(Value("select oper_type + 1 from t_sys_operator where oper_id = '1001'"), "2");
  // A column that no longer fits its new type.
  EXPECT_EQ(Errors(Run("alter table t_sys_operator alter column oper_name int")), std::vector<int>{245});
  // Leaving out NULL / NOT NULL makes the column nullable.
  ASSERT_TRUE(Errors(Run("alter table t_sys_oper_grant drop constraint PK_t_sys_oper_grant")).empty());
  ASSERT_TRUE(Errors(Run("alter table t_sys_oper_grant alter column func_id varchar(12)")).empty());
  EXPECT_TRUE(engine->Table("store", "t_sys_oper_grant")->Column("func_id")->nullable);
}

TEST_F(Definitions, DropColumnAndConstraint) {
  BatchResult r = Run("alter table t_sys_menu drop column menu_id");
  EXPECT_EQ(Numbers(r), (std::vector<int>{5074, 4922}));
  EXPECT_EQ(TextOf(r, 4922), "ALTER TABLE DROP COLUMN menu_id failed because one or more objects access this column.");
  ASSERT_TRUE(Errors(Run("alter table t_sys_menu drop column menu_memo, flag3")).empty());
  EXPECT_EQ(engine->Table("store", "t_sys_menu")->columns.size(), 10u);
  EXPECT_EQ(engine->Rows("store", "t_sys_menu")->front().size(), 10u);
  r = Run("alter table t_sys_menu drop constraint nosuch");
  EXPECT_EQ(Numbers(r), (std::vector<int>{3728, 3727}));
  EXPECT_EQ(TextOf(r, 3728), "'nosuch' is not a constraint.");
  ASSERT_TRUE(Errors(Run("alter table t_sys_menu add constraint df_f default ('1') for flag1")).empty());
  EXPECT_EQ(Numbers(Run("alter table t_sys_menu add default ('2') for flag1")), (std::vector<int>{1781, 1750}));
  EXPECT_EQ(Numbers(Run("alter table t_sys_menu alter column flag1 char(2)")), (std::vector<int>{5074, 4922}));
  ASSERT_TRUE(Errors(Run("alter table t_sys_menu drop constraint df_f")).empty());
  ASSERT_TRUE(Errors(Run("alter table t_sys_menu alter column flag1 char(2)")).empty());
  EXPECT_EQ(Value("select count(*) from sysobjects where name = 'df_f'"), "0");
}

TEST_F(Definitions, IndexesAndKeys) {
  ASSERT_TRUE(Errors(Run("create unique index ix_name on t_sys_operator (oper_name)")).empty());
  BatchResult r = Run("insert into t_sys_operator (oper_id, oper_name) values ('2001', '收银员甲')");
  EXPECT_EQ(Numbers(r), (std::vector<int>{2601, 3621}));
  EXPECT_EQ(TextOf(r, 2601),
            "Cannot insert duplicate key row in object 'dbo.t_sys_operator' with unique index 'ix_name'. The "
            "duplicate key value is (收银员甲).");
  EXPECT_EQ(Numbers(Run("create unique index ix_b on t_sys_operator (branch_no)")), (std::vector<int>{1505, 3621}));
  EXPECT_EQ(TextOf(Run("create clustered index ix_c on t_sys_operator (memo)"), 1902),
            "Cannot create more than one clustered index on table 'dbo.t_sys_operator'. Drop the existing clustered "
            "index 'PK_t_sys_operator' before creating another.");
  EXPECT_EQ(Errors(Run("create index ix_d on t_sys_operator (nosuch)")), std::vector<int>{1911});
  EXPECT_EQ(TextOf(Run("create index ix_e on t_nosuch (a)"), 1088),
            "Cannot find the object \"t_nosuch\" because it does not exist or you do not have permissions.");
  EXPECT_EQ(Errors(Run("drop index t_sys_operator.PK_t_sys_operator")), std::vector<int>{3723});
  EXPECT_TRUE(Errors(Run("drop index ix_name on t_sys_operator")).empty());
  EXPECT_TRUE(Errors(Run("drop index if exists ix_name on t_sys_operator")).empty());
  // Keys hold across updates: renumbering onto an existing id is refused whole.
  r = Run("update t_sys_menu set menu_id = '0101' where menu_id like 'F10%'");
  EXPECT_EQ(Numbers(r), (std::vector<int>{2627, 3621}));
  EXPECT_EQ(Value("select count(*) from t_sys_menu where menu_id like 'F10%'"), "6");
  // Swapping two keys in one statement is fine.
  EXPECT_TRUE(Errors(Run("update t_sys_menu set menu_id = case menu_id when 'F101' then 'F102' else 'F101' end "
                         "where menu_id in ('F101', 'F102')")).empty());
  EXPECT_EQ(Value("select menu_name from t_sys_menu where menu_id = 'F101'"), "母婴会员查询");
  // Several tables in one DROP: the missing one is reported, the others go.
  r = Run("drop table t_bd_item_info, t_nosuch, t_bd_appitem_info");
  EXPECT_EQ(Numbers(r), std::vector<int>{3701});
  EXPECT_FALSE(engine->Table("store", "t_bd_item_info"));
  EXPECT_FALSE(engine->Table("store", "t_bd_appitem_info"));
}

TEST_F(Definitions, CatalogViews) {
  EXPECT_EQ(Value("select count(*) from information_schema.columns where table_name = 't_sys_menu'"), "12");
  EXPECT_EQ(Value("select is_nullable from information_schema.columns where table_name = 't_sys_menu' and "
                  "column_name = 'menu_id'"),
            "NO");
  EXPECT_EQ(Value("select count(*) from sys.indexes where object_id = object_id('t_sys_pos_status_history')"), "1");
  EXPECT_EQ(Value("select type from sys.objects where name = 'PK_t_sys_menu'"), "PK");
  EXPECT_EQ(Value("select count(*) from master.dbo.sysdatabases where name = 'store'"), "1");
  EXPECT_EQ(Value("select col_length('t_sys_menu', 'menu_name')"), "60");
  EXPECT_EQ(Value("select object_id('t_nosuch')"), std::nullopt);
  // A name qualified with a database is looked up there, constraints included.
  const auto pk = Value("select object_id('PK_t_sys_menu')");
  ASSERT_TRUE(pk);
  EXPECT_EQ(Scalar(engine->Execute("master", "select object_id('store.dbo.PK_t_sys_menu')")), pk);
  EXPECT_EQ(Scalar(engine->Execute("master", "select object_id('store.dbo.t_sys_menu')")),
            Value("select object_id('t_sys_menu')"));
  EXPECT_EQ(Value("select object_id('master.dbo.t_sys_menu')"), std::nullopt);
  EXPECT_EQ(Value("select object_id('nosuch.dbo.t_sys_menu')"), std::nullopt);
  EXPECT_EQ(Value("select db_name()"), "store");
}

}  // namespace
