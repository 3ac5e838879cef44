// Procedures and triggers: where the encryption clause may stand, CREATE
// first in its batch, and the drop-then-create pairs that the loader sends.
#include <gtest/gtest.h>

#include "support/engine_helpers.h"

using storesim::BatchResult;
using storesim_test::Errors;
using storesim_test::Numbers;
using storesim_test::SampleEngine;
using storesim_test::TextOf;

namespace {

class Modules : public ::testing::Test {
 protected:
  std::unique_ptr<storesim::MemoryEngine> engine = SampleEngine();
  BatchResult Run(const std::string& sql) { return engine->Execute("store", sql); }
};

TEST_F(Modules, EncryptionClauseWhereTheServerTakesIt) {
  const std::string proc = "create procedure pr_a\r\n with ENCRYPTION as\r\nbegin\r\n select 1\r\nend";
  EXPECT_TRUE(Errors(Run(proc)).empty());
  auto m = engine->Module("store", "pr_a");
  ASSERT_TRUE(m);
  EXPECT_TRUE(m->encrypted);
  EXPECT_EQ(m->kind, storesim::ModuleInfo::Kind::Procedure);
  EXPECT_EQ(m->text, proc);

  const std::string trigger =
      "CREATE TRIGGER tr_b ON t_sys_menu  with ENCRYPTION FOR INSERT AS\r\nBEGIN\r\n return\r\nEND";
  EXPECT_TRUE(Errors(Run(trigger)).empty());
  auto t = engine->Module("store", "tr_b");
  ASSERT_TRUE(t);
  EXPECT_TRUE(t->encrypted);
  EXPECT_EQ(t->table, "t_sys_menu");

  // Parameters, several actions, mixed case, no clause at all.
  EXPECT_TRUE(Errors(Run("Create Procedure pr_h  with ENCRYPTION As Begin return End")).empty());
  EXPECT_TRUE(Errors(Run("create proc dbo.pr_p @a int, @b varchar(10) = 'x' output, @c u_amount = -1\r\n"
                         " with ENCRYPTION as\r\nbegin\r\n return\r\nend")).empty());
  EXPECT_TRUE(Errors(Run("create procedure [pr_q] (@a int) with recompile, ENCRYPTION as select @a")).empty());
  EXPECT_TRUE(Errors(Run("create trigger tr_c on t_sys_operator for insert, update, delete as return")).empty());
  EXPECT_FALSE(engine->Module("store", "tr_c")->encrypted);
  EXPECT_TRUE(Errors(Run("create function fn_a (@x int) returns int  with ENCRYPTION as begin return @x end")).empty());
}

TEST_F(Modules, EncryptionClauseElsewhereIsASyntaxError) {
  // The rewrite put the clause inside the name: the server stops at the rest of it.
  BatchResult r = Run("create procedure pr_ with ENCRYPTION format\r\nas\r\nbegin\r\n return\r\nend");
  EXPECT_EQ(Numbers(r), std::vector<int>{102});
  EXPECT_EQ(TextOf(r, 102), "Incorrect syntax near 'format'.");
  EXPECT_EQ(r.statements[0].messages[0].cls, 15);
  EXPECT_FALSE(engine->Module("store", "pr_"));

  // Before ON, after the trigger actions, after AS, and inside the body.
  r = Run("create trigger tr_x with ENCRYPTION on t_sys_menu for insert as return");
  EXPECT_EQ(TextOf(r, 156), "Incorrect syntax near the keyword 'with'.");
  r = Run("create trigger tr_x on t_sys_menu after insert  with ENCRYPTION as return");
  EXPECT_EQ(TextOf(r, 102), "Incorrect syntax near 'ENCRYPTION'.");
  r = Run("create procedure pr_x as with ENCRYPTION begin return end");
  EXPECT_EQ(TextOf(r, 156), "Incorrect syntax near the keyword 'with'.");
  r = Run("create procedure pr_x as\r\nbegin\r\n declare @l with ENCRYPTION ast int\r\nend");
  EXPECT_EQ(Errors(r), std::vector<int>{156});
  r = Run("create procedure with ENCRYPTION pr_x as return");
  EXPECT_EQ(TextOf(r, 156), "Incorrect syntax near the keyword 'with'.");
  EXPECT_TRUE(engine->Modules("store").empty());
}

TEST_F(Modules, CreateMustBeFirstInItsBatch) {
  BatchResult r = Run("select 1\r\ncreate procedure pr_a as return");
  EXPECT_EQ(Numbers(r), std::vector<int>{111});
  EXPECT_EQ(TextOf(r, 111), "'CREATE/ALTER PROCEDURE' must be the first statement in a query batch.");
  ASSERT_EQ(r.statements.size(), 1u);
  EXPECT_FALSE(r.statements[0].result);  // nothing of the batch ran
  r = Run("set nocount on create trigger tr_a on t_sys_menu for insert as return");
  EXPECT_EQ(TextOf(r, 111), "'CREATE TRIGGER' must be the first statement in a query batch.");

  // Comments and line feeds before CREATE are fine, and the body takes the rest of the batch.
  const std::string text =
      "\n\n-- procedure a\n/* written /* nested */ by hand */\ncreate procedure pr_a as\nselect 1\nselect 2";
  EXPECT_TRUE(Errors(Run(text)).empty());
  EXPECT_EQ(engine->Module("store", "pr_a")->text, text);
}

TEST_F(Modules, BodiesThatTheServerRefuses) {
  // A batch separator line left inside the body.
  BatchResult r = Run("create procedure pr_a as\r\nbegin\r\n return\r\nend\r\ngo");
  EXPECT_EQ(TextOf(r, 102), "Incorrect syntax near 'go'.");
  // Nothing after AS.
  r = Run("create procedure pr_a as ");
  EXPECT_EQ(TextOf(r, 156), "Incorrect syntax near the keyword 'as'.");
  // A trigger on a table that does not exist.
  r = Run("create trigger tr_a on t_nosuch for insert as return");
  EXPECT_EQ(Numbers(r), std::vector<int>{8197});
  EXPECT_EQ(TextOf(r, 8197), "The object 't_nosuch' does not exist or is invalid for this operation.");
  // "go" as a word inside a line is not a separator.
  EXPECT_TRUE(Errors(Run("create procedure pr_go as select 'go' as go_on")).empty());
  // Nor is it one after a text that spans lines and ends on its line.
  EXPECT_TRUE(Errors(Run("create procedure pr_go2 as\r\nprint 'one\r\ntwo' go")).empty());
  EXPECT_EQ(TextOf(Run("create procedure pr_go3 as\r\nprint 'one\r\ntwo'\r\ngo"), 102), "Incorrect syntax near 'go'.");
}

TEST_F(Modules, DropThenCreateAsTheLoaderSendsThem) {
  BatchResult r = Run("drop procedure pr_sum");
  EXPECT_EQ(Numbers(r), std::vector<int>{3701});
  EXPECT_EQ(TextOf(r, 3701),
            "Cannot drop the procedure 'pr_sum', because it does not exist or you do not have permission.");
  EXPECT_TRUE(Errors(Run("create procedure pr_sum\r\n with ENCRYPTION as\r\nbegin\r\n return\r\nend")).empty());
  // A second create without the drop.
  r = Run("create procedure pr_sum as return");
  EXPECT_EQ(TextOf(r, 2714), "There is already an object named 'pr_sum' in the database.");
  // A procedure name may not take a table's name either.
  EXPECT_EQ(Errors(Run("create procedure t_sys_menu as return")), std::vector<int>{2714});

  EXPECT_TRUE(Errors(Run("drop procedure pr_sum")).empty());
  EXPECT_TRUE(Errors(Run("create procedure pr_sum as select 2")).empty());
  EXPECT_FALSE(engine->Module("store", "pr_sum")->encrypted);

  EXPECT_TRUE(Errors(Run("create trigger tr_m on t_sys_menu for insert as return")).empty());
  EXPECT_EQ(TextOf(Run("drop trigger tr_nosuch"), 3701),
            "Cannot drop the trigger 'tr_nosuch', because it does not exist or you do not have permission.");
  // DROP PROCEDURE does not drop a trigger.
  EXPECT_EQ(Errors(Run("drop procedure tr_m")), std::vector<int>{3701});
  EXPECT_TRUE(Errors(Run("drop trigger tr_m")).empty());
  // Dropping a table drops its triggers.
  Run("create trigger tr_o on t_sys_operator for insert as return");
  Run("drop table t_sys_operator");
  EXPECT_FALSE(engine->Module("store", "tr_o"));
  // The procedure exists for EXEC; its body does not run.
  EXPECT_TRUE(Errors(Run("exec pr_sum")).empty());
  EXPECT_EQ(TextOf(Run("exec pr_nosuch"), 2812), "Could not find stored procedure 'pr_nosuch'.");
}

TEST_F(Modules, ExistenceTestsOfGeneratedDropScripts) {
  Run("create procedure pr_x as return");
  const std::string drop =
      "if exists (select * from dbo.sysobjects where id = object_id(N'[dbo].[pr_x]') and "
      "OBJECTPROPERTY(id, N'IsProcedure') = 1)\r\ndrop procedure [dbo].[pr_x]";
  EXPECT_TRUE(Errors(Run(drop)).empty());
  EXPECT_FALSE(engine->Module("store", "pr_x"));
  // Again: the test is false and nothing is dropped or refused.
  BatchResult r = Run(drop);
  EXPECT_TRUE(Numbers(r).empty());
  EXPECT_TRUE(Errors(Run("drop procedure if exists pr_x")).empty());
  EXPECT_EQ(storesim_test::Scalar(Run("select count(*) from sysobjects where xtype = 'U' and name like 't_sys%'")), "5");
  EXPECT_EQ(storesim_test::Scalar(
                Run("if not exists (select 1 from syscolumns where id = object_id('t_sys_menu') and name = 'menu_id') "
                    "select 'missing' else select 'present'")),
            "present");
}

}  // namespace
