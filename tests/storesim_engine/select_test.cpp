// Queries: the collation, LIKE, NULLs, aggregates, joins and the result
// metadata that the wire sends.
#include <gtest/gtest.h>

#include "support/engine_helpers.h"

using storesim::BatchResult;
using storesim::ColumnType;
using storesim_test::Errors;
using storesim_test::ResultRows;
using storesim_test::SampleEngine;
using storesim_test::Scalar;

namespace {

class Queries : public ::testing::Test {
 protected:
  void SetUp() override {
    engine->Execute("store",
                    "create table t_q (id int not null primary key, code varchar(10) null, pad char(4) null, "
                    "amt numeric(10,2) null, day datetime null)\n"
                    "insert into t_q values (1, 'abc', 'x', 1.5, '2015-12-27')\n"
                    "insert into t_q values (2, 'ABD', 'y', 2, '20170521')\n"
                    "insert into t_q values (3, 'b', null, null, null)\n"
                    "insert into t_q values (4, 'Ab', 'x', 10.255, '2019-01-10 08:30')");
  }
  std::unique_ptr<storesim::MemoryEngine> engine = SampleEngine();
  BatchResult Run(const std::string& sql) { return engine->Execute("store", sql); }
  std::optional<std::string> Value(const std::string& sql) { return Scalar(Run(sql)); }
  std::vector<std::string> Column(const std::string& sql) {
    std::vector<std::string> out;
    for (const auto& row : ResultRows(Run(sql))) out.push_back(row[0].value_or("NULL"));
    return out;
  }
};

TEST_F(Queries, CollationIgnoresAsciiCaseAndTrailingBlanks) {
  EXPECT_EQ(Value("select id from t_q where code = 'ABC'"), "1");
  EXPECT_EQ(Value("select id from t_q where code = 'abc   '"), "1");
  EXPECT_EQ(Value("select count(*) from t_q where pad = 'x'"), "2");
  // max() orders texts by the collation: 'b' > 'ABD' > 'abc' > 'Ab'.
  EXPECT_EQ(Value("select max(code) from t_q"), "b");
  EXPECT_EQ(Column("select code from t_q order by code desc"), (std::vector<std::string>{"b", "ABD", "abc", "Ab"}));
  // Names: any case, brackets optional.
  EXPECT_EQ(Value("select [CODE] from [dbo].[T_Q] where [Id] = 2"), "ABD");
  // Keys compare the same way: 'AB' collides with 'ab'.
  Run("create table t_k (k varchar(5) not null primary key)\ninsert into t_k values ('ab')");
  EXPECT_EQ(Errors(Run("insert into t_k values ('AB ')")), (std::vector<int>{2627}));
}

TEST_F(Queries, LikePatterns) {
  EXPECT_EQ(Column("select id from t_q where code like 'a%' order by id"), (std::vector<std::string>{"1", "2", "4"}));
  EXPECT_EQ(Column("select id from t_q where code like '_b' order by id"), (std::vector<std::string>{"4"}));
  EXPECT_EQ(Column("select id from t_q where code like 'ab[cd]'"), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(Column("select id from t_q where code like 'ab[^c]'"), (std::vector<std::string>{"2"}));
  EXPECT_EQ(Column("select id from t_q where code not like '%b%'"), std::vector<std::string>{});
  // The padding of a char value does not count; blanks in the pattern do.
  EXPECT_EQ(Value("select count(*) from t_q where pad like 'x'"), "2");
  EXPECT_EQ(Value("select count(*) from t_q where code like 'abc '"), "0");
  EXPECT_EQ(Value("select count(*) from t_sys_menu where menu_name like '母婴%'"), "6");
  EXPECT_EQ(Value("select count(*) from t_sys_menu where menu_name like '母婴__'"), "3");
  EXPECT_EQ(Value("select count(*) from t_q where '10%' like '10!%' escape '!'"), "4");
}

TEST_F(Queries, NullsFollowThreeValuedLogic) {
  EXPECT_EQ(Value("select count(*) from t_q where amt <> 2"), "2");
  EXPECT_EQ(Value("select count(*) from t_q where not (amt <> 2)"), "1");
  EXPECT_EQ(Value("select count(*) from t_q where amt is null"), "1");
  EXPECT_EQ(Value("select count(*) from t_q where id not in (1, null)"), "0");
  EXPECT_EQ(Value("select count(*) from t_q where id in (1, null)"), "1");
  EXPECT_EQ(Value("select count(amt) from t_q"), "3");
  EXPECT_EQ(Value("select isnull(pad, 'none') from t_q where id = 3"), "none");
  // isnull() takes the type of its first argument.
  EXPECT_EQ(Value("select isnull(max(pad), 'longer') from t_q where id = 3"), "long");
  EXPECT_EQ(Value("select max(code) from t_q where 1 = 0"), std::nullopt);
}

TEST_F(Queries, ValuesTakeTheirColumnTypes) {
  auto rows = ResultRows(Run("select pad, amt, day from t_q where id = 4"));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], "x   ");  // char(4) is padded
  EXPECT_EQ(rows[0][1], "10.26");  // rounded to the scale
  EXPECT_EQ(rows[0][2], "2019-01-10 08:30:00.000");
  EXPECT_EQ(Value("select day from t_q where id = 2"), "2017-05-21 00:00:00.000");
  EXPECT_EQ(Value("select amt * 2 from t_q where id = 1"), "3.00");
  EXPECT_EQ(Value("select id + 1 from t_q where id = 1"), "2");
  EXPECT_EQ(Value("select code + '-' + pad from t_q where id = 1"), "abc-x   ");
  EXPECT_EQ(Value("select count(*) from t_q where day > '2016-01-01'"), "2");
  EXPECT_EQ(Value("select count(*) from t_q where amt >= '2'"), "2");
  EXPECT_EQ(Errors(Run("select count(*) from t_q where id = 'x'")), std::vector<int>{245});
  EXPECT_EQ(Errors(Run("insert into t_q (id, day) values (9, '2015-02-30')")), std::vector<int>{241});
  EXPECT_EQ(Errors(Run("insert into t_q (id, amt) values (9, 123456789)")), std::vector<int>{8115});
  EXPECT_EQ(Value("select convert(varchar(8), day, 112) from t_q where id = 1"), "20151227");
  EXPECT_EQ(Value("select cast(amt as int) from t_q where id = 4"), "10");
}

TEST_F(Queries, ResultMetadataForTheWire) {
  BatchResult r = Run("select isnull ( max ( sys_var_value ) , '00000000' ) from t_sys_system where sys_var_id ='X'");
  ASSERT_TRUE(r.statements[0].result);
  const auto& cols = r.statements[0].result->columns;
  ASSERT_EQ(cols.size(), 1u);
  EXPECT_EQ(cols[0].name, "");
  EXPECT_EQ(cols[0].type, ColumnType::VarChar);
  EXPECT_EQ(cols[0].max_length, 100);
  EXPECT_EQ(r.statements[0].row_count, 1);

  r = Run("select id, code as c, amt, day, id n from t_q");
  const auto& m = r.statements[0].result->columns;
  ASSERT_EQ(m.size(), 5u);
  EXPECT_EQ(m[0].name, "id");
  EXPECT_EQ(m[0].type, ColumnType::Int);
  EXPECT_EQ(m[1].name, "c");
  EXPECT_EQ(m[1].max_length, 10);
  EXPECT_EQ(m[2].type, ColumnType::Decimal);
  EXPECT_EQ(m[3].type, ColumnType::DateTime);
  EXPECT_EQ(m[4].name, "n");
  EXPECT_EQ(r.statements[0].row_count, 4);
  // SET NOCOUNT ON leaves the count out.
  r = engine->Execute("store", "set nocount on select id from t_q update t_q set code = code");
  ASSERT_EQ(r.statements.size(), 3u);
  EXPECT_FALSE(r.statements[1].row_count);
  EXPECT_FALSE(r.statements[2].row_count);
}

TEST_F(Queries, DistinctJoinsAndSubqueries) {
  EXPECT_EQ(Column("select distinct pad from t_q where pad is not null"), (std::vector<std::string>{"x   ", "y   "}));
  EXPECT_EQ(Value("select count(distinct pad) from t_q"), "2");
  EXPECT_EQ(Column("select top 2 id from t_q order by id desc"), (std::vector<std::string>{"4", "3"}));
  EXPECT_EQ(Value("select count(*) from t_sys_operator o, t_sys_menu m"), "48");
  EXPECT_EQ(Value("select count(*) from t_sys_operator o join t_sys_oper_grant g on g.oper_id = o.oper_id "
                  "where o.oper_id = '1002'"),
            "4");
  EXPECT_EQ(Value("select count(*) from t_sys_menu m left join t_sys_oper_grant g on g.func_id = m.menu_id "
                  "where g.func_id is null"),
            "3");
  // Correlated and uncorrelated subqueries.
  EXPECT_EQ(Value("select count(*) from t_sys_menu m where exists (select 1 from t_sys_oper_grant g "
                  "where g.func_id = m.menu_id and g.oper_id = '1003')"),
            "4");
  EXPECT_EQ(Value("select (select count(*) from t_sys_operator) + 1"), "4");
  EXPECT_EQ(Value("select menu_id from t_sys_menu where menu_id = (select max(menu_id) from t_sys_menu)"), "F106");
  EXPECT_EQ(Errors(Run("select menu_id from t_sys_menu where menu_id = (select menu_id from t_sys_menu)")),
            (std::vector<int>{512}));
}

TEST_F(Queries, IdentityAndDefaultsOnInsert) {
  Run("create table t_i (id numeric(10,0) identity(100, 5) not null, flag char(1) not null default ('0'), "
      "note varchar(5) null default 'n', made datetime null default '20150101')");
  BatchResult r = Run("insert into t_i (note) values ('a')\ninsert into t_i default values\n"
                      "insert into t_i (flag, note) values (default, null)\nselect @@identity");
  EXPECT_TRUE(Errors(r).empty());
  auto rows = engine->Rows("store", "t_i");
  ASSERT_EQ(rows->size(), 3u);
  EXPECT_EQ((*rows)[0][0], "100");
  EXPECT_EQ((*rows)[1][0], "105");
  EXPECT_EQ((*rows)[2][0], "110");
  EXPECT_EQ((*rows)[0][1], "0");
  EXPECT_EQ((*rows)[1][2], "n");
  EXPECT_EQ((*rows)[2][2], std::nullopt);
  EXPECT_TRUE((*rows)[0][3].has_value());
  EXPECT_EQ(ResultRows(r).at(0).at(0), "110");
  // A failed insert still uses up its identity value.
  Run("insert into t_i (flag) values (null)");
  Run("insert into t_i (note) values ('b')");
  EXPECT_EQ(Value("select id from t_i where note = 'b'"), "120");
}

}  // namespace
