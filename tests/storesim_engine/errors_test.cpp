// The server's refusals: numbers, classes and texts, and what a refusal
// does to the rest of its batch.
#include <gtest/gtest.h>

#include <functional>

#include "support/engine_helpers.h"
#include "support/upgrade_statements.h"

using storesim::BatchResult;
using storesim_test::Errors;
using storesim_test::Numbers;
using storesim_test::SampleEngine;
using storesim_test::Scalar;
using storesim_test::TextOf;

namespace {

class Refusals : public ::testing::Test {
 protected:
  std::unique_ptr<storesim::MemoryEngine> engine = SampleEngine();
  BatchResult Run(const std::string& sql) { return engine->Execute("store", sql); }
};

TEST_F(Refusals, NamesThatDoNotResolve) {
  BatchResult r = Run("select * from t_nosuch");
  EXPECT_EQ(Numbers(r), std::vector<int>{208});
  EXPECT_EQ(TextOf(r, 208), "Invalid object name 't_nosuch'.");
  EXPECT_EQ(TextOf(Run("insert into dbo.t_nosuch values (1)"), 208), "Invalid object name 'dbo.t_nosuch'.");
  r = Run("select menu_nosuch from t_sys_menu");
  EXPECT_EQ(TextOf(r, 207), "Invalid column name 'menu_nosuch'.");
  EXPECT_EQ(TextOf(Run("update t_sys_menu set nosuch = 1"), 207), "Invalid column name 'nosuch'.");
  EXPECT_EQ(TextOf(Run("insert into t_sys_menu (menu_id, nosuch) values ('1', '2')"), 207),
            "Invalid column name 'nosuch'.");
  EXPECT_EQ(TextOf(Run("select memo from t_sys_operator, t_sys_oper_grant"), 209), "Ambiguous column name 'memo'.");
  EXPECT_EQ(TextOf(Run("select x.menu_id from t_sys_menu"), 4104),
            "The multi-part identifier \"x.menu_id\" could not be bound.");
  EXPECT_EQ(TextOf(Run("select nosuch_fn(1)"), 195), "'nosuch_fn' is not a recognized built-in function name.");
}

// Nesting beyond the engine's limit is refused before anything of the
// batch runs, whatever nests: parentheses, functions, CASE, subqueries,
// NOT, IF and BEGIN ... END. Nesting within it works.
TEST_F(Refusals, StatementsNestedTooDeeplyAreRefusedWhole) {
  auto rep = [](const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
  };
  struct Shape {
    const char* what;
    std::function<std::string(int)> sql;  // n levels deep; selects 1
  };
  const std::vector<Shape> shapes = {
      {"parentheses", [&](int n) { return "select " + rep("(", n) + "1" + rep(")", n); }},
      {"functions", [&](int n) { return "select " + rep("isnull(", n) + "1" + rep(", 0)", n); }},
      {"signs", [&](int n) { return "select " + rep("-(", 2 * n) + "1" + rep(")", 2 * n); }},
      {"case", [&](int n) { return "select " + rep("case when 1=1 then ", n) + "1" + rep(" end", n); }},
      {"subqueries", [&](int n) { return "select " + rep("(select ", n) + "1" + rep(")", n); }},
      {"exists", [&](int n) { return "select 1 where " + rep("exists (select 1 where ", n) + "1=1" + rep(")", n); }},
      {"not", [&](int n) { return "select 1 where " + rep("not not ", n) + "1=1"; }},
      {"begin end", [&](int n) { return rep("begin ", n) + "select 1" + rep(" end", n); }},
      {"if", [&](int n) { return rep("if 1=1 ", n) + "select 1"; }},
  };
  const std::string too_deep =
      "Some part of your SQL statement is nested too deeply. Rewrite the query or break it down into smaller "
      "queries.";
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.what);
    EXPECT_EQ(Scalar(Run(shape.sql(60))), "1");
    BatchResult r = Run("insert into t_sys_menu (menu_id) values ('NEST')\n" + shape.sql(storesim::kMaxNestingLevel));
    ASSERT_EQ(Numbers(r), std::vector<int>{191});
    EXPECT_EQ(r.statements[0].messages[0].cls, 15);
    EXPECT_EQ(r.statements[0].messages[0].text, too_deep);
    EXPECT_EQ(Scalar(Run("select count(*) from t_sys_menu where menu_id = 'NEST'")), "0");
  }
  // The limit counts levels, not bytes: the statement just within it runs.
  const int within = storesim::kMaxNestingLevel - 10;
  EXPECT_EQ(Scalar(Run("select " + rep("(", within) + "7" + rep(")", within))), "7");
  EXPECT_EQ(Numbers(Run("select " + rep("(", 10000) + "1" + rep(")", 10000))), std::vector<int>{191});
}

// A chain of operators is one level however long it is, as on the server:
// only what really nests counts towards the limit.
TEST_F(Refusals, LongOperatorChainsAreNotNesting) {
  auto rep = [](const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
  };
  EXPECT_EQ(Scalar(Run("select 1" + rep("+1", 300))), "301");
  EXPECT_EQ(Scalar(Run("select 2" + rep("*1", 150) + rep("-1", 150))), "-148");
  EXPECT_EQ(Scalar(Run("select 1 where 1=1" + rep(" and 1=1", 300))), "1");
  EXPECT_EQ(Scalar(Run("select 1 where 1=0" + rep(" or 1=0", 300) + " or 1=1")), "1");
  // Long enough that a walk of one level per operator would use up the stack.
  EXPECT_EQ(Scalar(Run("select 0" + rep("+1", 100000))), "100000");
  EXPECT_EQ(Scalar(Run("select 1 where 1=1" + rep(" and 1=1", 100000))), "1");
  // Real nesting inside a chain still counts.
  EXPECT_EQ(Numbers(Run("select 1+" + rep("(", 300) + "1" + rep(")", 300))), std::vector<int>{191});
}

TEST_F(Refusals, ValueCountsAndNulls) {
  BatchResult r = Run("insert into t_sys_menu values ('X1', 'a')");
  EXPECT_EQ(Numbers(r), std::vector<int>{213});
  EXPECT_EQ(TextOf(r, 213), "Column name or number of supplied values does not match table definition.");
  EXPECT_EQ(Errors(Run("insert into t_sys_menu (menu_id, menu_name) values ('X1')")), std::vector<int>{109});
  EXPECT_EQ(Errors(Run("insert into t_sys_menu (menu_id) values ('X1', 'a')")), std::vector<int>{110});
  EXPECT_EQ(Errors(Run("insert into t_sys_menu select menu_id from t_sys_menu")), std::vector<int>{213});

  r = Run("insert into t_sys_operator (oper_name) values ('nobody')");
  EXPECT_EQ(Numbers(r), (std::vector<int>{515, 3621}));
  EXPECT_EQ(TextOf(r, 515),
            "Cannot insert the value NULL into column 'oper_id', table 'store.dbo.t_sys_operator'; column does not "
            "allow nulls. INSERT fails.");
  r = Run("update t_sys_operator set oper_id = null where oper_id = '1001'");
  EXPECT_EQ(TextOf(r, 515),
            "Cannot insert the value NULL into column 'oper_id', table 'store.dbo.t_sys_operator'; column does not "
            "allow nulls. UPDATE fails.");
  // An identity column takes no explicit value.
  EXPECT_EQ(Errors(Run("insert into t_rm_protion_flow (flow_id, card_id) values (9, 'x')")), std::vector<int>{544});
  // Too long for its column.
  r = Run("insert into t_sys_menu (menu_id) values ('ABCDEFGHIJK')");
  EXPECT_EQ(Numbers(r), (std::vector<int>{8152, 3621}));
  EXPECT_EQ(TextOf(r, 8152), "String or binary data would be truncated.");
  // Chinese text counts two bytes a character in the database's code page.
  EXPECT_EQ(Errors(Run("insert into t_sys_system (sys_var_id, sys_ischange) values ('X', '是否')")),
            std::vector<int>{8152});
  EXPECT_TRUE(Errors(Run("insert into t_sys_system (sys_var_id, sys_ischange) values ('X', '是')")).empty());
}

TEST_F(Refusals, DefinitionsThatCollide) {
  BatchResult r = Run("create table t_a (a int, b int, A varchar(2))");
  EXPECT_EQ(TextOf(r, 2705),
            "Column names in each table must be unique. Column name 'A' in table 't_a' is specified more than once.");
  r = Run("create table t_a (a int, b u_nosuch)");
  EXPECT_EQ(TextOf(r, 2715), "Column, parameter, or variable #2: Cannot find data type u_nosuch.");
  r = Run("alter table t_sys_menu add extra u_nosuch null");
  EXPECT_EQ(Errors(r), std::vector<int>{2715});
  r = Run("create index Index_1 on t_sys_pos_status_history (pos_id)");
  EXPECT_EQ(Errors(r), std::vector<int>{1913});
  r = Run("drop index t_sys_menu.nosuch");
  EXPECT_EQ(TextOf(r, 3701),
            "Cannot drop the index 't_sys_menu.nosuch', because it does not exist or you do not have permission.");
  EXPECT_EQ(Errors(Run("drop index t_nosuch.Index_1")), std::vector<int>{3701});
  r = Run("drop table t_nosuch");
  EXPECT_EQ(TextOf(r, 3701), "Cannot drop the table 't_nosuch', because it does not exist or you do not have permission.");
  r = Run("alter table t_sys_menu add primary key (menu_name)");
  EXPECT_EQ(Numbers(r), (std::vector<int>{1779, 1750}));
  r = Run("alter table t_sys_pos_status_history add constraint PK_h primary key (branch_no, oper_id)");
  EXPECT_EQ(TextOf(r, 8111), "Cannot define PRIMARY KEY constraint on nullable column in table 't_sys_pos_status_history'.");
  // A key over existing duplicates.
  Run("insert into t_sys_pos_status_history (branch_no, pos_id) values ('001', '0101')");
  r = Run("alter table t_sys_pos_status_history add constraint PK_h primary key (branch_no, pos_id)");
  EXPECT_EQ(Numbers(r), (std::vector<int>{1505, 1750, 3621}));
  // A table named like a constraint.
  EXPECT_EQ(Errors(Run("create table PK_t_sys_menu (a int)")), std::vector<int>{2714});
  // Changing a column that a key or a default uses.
  r = Run("alter table t_sys_menu alter column menu_id varchar(20) not null");
  EXPECT_EQ(Numbers(r), (std::vector<int>{5074, 4922}));
  EXPECT_EQ(TextOf(r, 5074), "The object 'PK_t_sys_menu' is dependent on column 'menu_id'.");
  EXPECT_EQ(TextOf(r, 4922),
            "ALTER TABLE ALTER COLUMN menu_id failed because one or more objects access this column.");
  // A NOT NULL column without default cannot join a table that has rows.
  EXPECT_EQ(Errors(Run("alter table t_sys_menu add must varchar(2) not null")), std::vector<int>{4901});
  EXPECT_TRUE(Errors(Run("alter table t_sys_menu add must varchar(2) not null default 'x'")).empty());
  EXPECT_EQ(Scalar(Run("select count(*) from t_sys_menu where must = 'x'")), "16");
}

TEST_F(Refusals, SyntaxErrorsRefuseTheWholeBatch) {
  BatchResult r = Run("insert into t_sys_operator (oper_id) values ('2001')\r\nselect from t_sys_menu");
  EXPECT_EQ(Numbers(r), std::vector<int>{156});
  EXPECT_EQ(TextOf(r, 156), "Incorrect syntax near the keyword 'from'.");
  EXPECT_EQ(r.statements[0].messages[0].line, 2);
  // Lines inside a quoted text count too.
  r = Run("insert into t_sys_operator (oper_id, memo) values ('2001', 'a\r\nb')\r\nselect from t_sys_menu");
  EXPECT_EQ(r.statements[0].messages[0].line, 3);
  EXPECT_EQ(Scalar(Run("select count(*) from t_sys_operator where oper_id = '2001'")), "0");
  r = Run("select * from t_sys_menu where");
  EXPECT_EQ(TextOf(r, 156), "Incorrect syntax near the keyword 'where'.");
  r = Run("update t_sys_menu set menu_name = 'a' menu_code = 'b'");
  EXPECT_EQ(TextOf(r, 102), "Incorrect syntax near 'menu_code'.");
  r = Run("select 'abc");
  EXPECT_EQ(Numbers(r), (std::vector<int>{105, 102}));
  EXPECT_EQ(TextOf(r, 105), "Unclosed quotation mark after the character string 'abc'.");
  EXPECT_EQ(Numbers(Run("select 1 /* open")), std::vector<int>{113});
  // The separator is no statement: alone it is a call of a procedure named go.
  EXPECT_EQ(Errors(Run("go")), std::vector<int>{2812});
  // An empty batch, or one of comments only, has no statement and no error.
  EXPECT_TRUE(Run("").statements.empty());
  EXPECT_TRUE(Run("\n-- nothing\n/* at all */\n").statements.empty());
}

TEST_F(Refusals, CutStatementsAreAnsweredNotCrashedOn) {
  // Every cut of every statement of the list gets an answer: success, or
  // error messages that a client can show.
  auto session = engine->OpenSession("store");
  for (const auto& item : storesim_test::UpgradeStatements()) {
    for (std::size_t n = 0; n < item.text.size(); n += 5) {
      BatchResult r = session->ExecuteBatch(item.text.substr(0, n));
      for (const auto& st : r.statements) {
        if (!st.error) continue;
        ASSERT_FALSE(st.messages.empty()) << item.number << " cut at " << n;
        EXPECT_FALSE(st.messages[0].text.empty());
      }
    }
  }
}

TEST_F(Refusals, WhichErrorsEndTheBatch) {
  // A duplicate key ends only its statement.
  BatchResult r = Run("insert into t_sys_menu (menu_id) values ('0101')\r\nselect 'after'");
  EXPECT_EQ(Numbers(r), (std::vector<int>{2627, 3621}));
  ASSERT_EQ(r.statements.size(), 2u);
  EXPECT_EQ(Scalar(r), "after");
  EXPECT_EQ(r.statements[0].messages[0].line, 1);
  // A missing table ends the batch when the statement runs.
  r = Run("insert into t_sys_operator (oper_id) values ('2001')\r\ninsert into t_nosuch values (1)\r\nselect 'after'");
  EXPECT_EQ(Errors(r), std::vector<int>{208});
  EXPECT_EQ(r.statements.size(), 2u);
  EXPECT_EQ(Scalar(Run("select count(*) from t_sys_operator where oper_id = '2001'")), "1");
  // A column unknown to an existing table refuses the batch before anything runs.
  r = Run("alter table t_sys_menu add extra int null\r\nupdate t_sys_menu set extra = 1");
  EXPECT_EQ(Errors(r), std::vector<int>{207});
  EXPECT_FALSE(engine->Table("store", "t_sys_menu")->Column("extra"));
  // A table created in the batch is resolved when its statements run.
  r = Run("create table t_b (a int)\r\ninsert into t_b values (1)\r\nselect a from t_b");
  EXPECT_TRUE(Errors(r).empty());
  EXPECT_EQ(Scalar(r), "1");
  // Conversion errors end the batch.
  r = Run("update t_bd_item_info set price = 'cheap'\r\nselect 'after'");
  EXPECT_EQ(Numbers(r), std::vector<int>{8114});
  EXPECT_EQ(r.statements.size(), 1u);
}

TEST_F(Refusals, DatabasesThatDoNotExist) {
  auto session = engine->OpenSession("store");
  BatchResult r = session->ExecuteBatch("use nosuch");
  EXPECT_EQ(Numbers(r), std::vector<int>{911});
  EXPECT_EQ(TextOf(r, 911), "Database 'nosuch' does not exist. Make sure that the name is entered correctly.");
  EXPECT_EQ(session->CurrentDatabase(), "store");
  EXPECT_EQ(Errors(session->ExecuteBatch("select * from nosuch.dbo.t_sys_menu")), std::vector<int>{911});
}

}  // namespace
