#include <gtest/gtest.h>

#include <string>

#include "upgrade/encryption_rewrite.h"

using upgrade::wf_get_sql_go;

namespace {

struct Outcome {
  bool ok;
  rt::String create;
  rt::String drop;
};

Outcome rewrite(const rt::String& script, const rt::String& drop_before = std::string("(untouched)")) {
  Outcome o{false, script, drop_before};
  o.ok = wf_get_sql_go(o.create, o.drop);
  return o;
}

const rt::String kUntouched = std::string("(untouched)");

}  // namespace

TEST(EncryptionRewrite, ProcedureGetsTheClauseBeforeItsAs) {
  Outcome o = rewrite("drop procedure pr_a\r\ngo\r\ncreate procedure pr_a\r\nas\r\nbegin\r\n select 1\r\nend");
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(*o.create, "create procedure pr_a\r\n with ENCRYPTION as\r\nbegin\r\n select 1\r\nend");
  EXPECT_EQ(*o.drop, "drop procedure pr_a");
}

TEST(EncryptionRewrite, TriggerGetsTheClauseBeforeItsForAndKeepsLetterCase) {
  Outcome o = rewrite("DROP TRIGGER tr_b\r\nGO\r\nCREATE TRIGGER tr_b ON t_x FOR INSERT AS\r\nBEGIN\r\n return\r\nEND");
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(*o.create, "CREATE TRIGGER tr_b ON t_x  with ENCRYPTION FOR INSERT AS\r\nBEGIN\r\n return\r\nEND");
  EXPECT_EQ(*o.drop, "DROP TRIGGER tr_b");
}

TEST(EncryptionRewrite, BlanksAreTrimmedAndStatementsBetweenGoLinesAreDropped) {
  Outcome o = rewrite(
      "  drop procedure pr_h\r\nGO\r\nSET NOCOUNT ON\r\ngo\r\nCreate Procedure pr_h As Begin return End  ");
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(*o.create, "Create Procedure pr_h  with ENCRYPTION As Begin return End");
  EXPECT_EQ(*o.drop, "drop procedure pr_h");
}

TEST(EncryptionRewrite, TabsAndLineEndsAreNotTrimmed) {
  Outcome o = rewrite("\tdrop procedure p\r\ngo\r\ncreate procedure p as begin end\r\n");
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(*o.drop, "\tdrop procedure p");
  EXPECT_EQ(*o.create, "create procedure p  with ENCRYPTION as begin end\r\n");
}

TEST(EncryptionRewrite, TheLastForWinsEvenInsideANameOrBeforeTheAs) {
  Outcome o = rewrite("drop procedure pr_format\r\ngo\r\ncreate procedure pr_format\r\nas\r\nbegin\r\n return\r\nend");
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(*o.create, "create procedure pr_ with ENCRYPTION format\r\nas\r\nbegin\r\n return\r\nend");
  EXPECT_EQ(*o.drop, "drop procedure pr_format");

  // "for" stands before the last "as": it still takes the clause.
  o = rewrite("drop trigger t\r\ngo\r\ncreate trigger t on x for update as alias_base begin end");
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(*o.create, "create trigger t on x  with ENCRYPTION for update as alias_base begin end");
}

TEST(EncryptionRewrite, TheLastAsIsFoundInsideWords) {
  Outcome o = rewrite("drop procedure p\r\ngo\r\ncreate procedure p as --alias\r\nbegin end");
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(*o.create, "create procedure p as --ali with ENCRYPTION as\r\nbegin end");
  o = rewrite("drop procedure p\r\ngo\r\ncreate procedure p_alias begin end");
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(*o.create, "create procedure p_ali with ENCRYPTION as begin end");
}

TEST(EncryptionRewrite, TrailingGoLineStaysInTheCreateStatement) {
  Outcome o = rewrite("drop procedure p\r\ngo\r\ncreate procedure p as\r\nbegin\r\nreturn\r\nend\r\ngo\r\n");
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(*o.create, "create procedure p  with ENCRYPTION as\r\nbegin\r\nreturn\r\nend\r\ngo\r\n");
}

TEST(EncryptionRewrite, GoLineIsMatchedAsAPrefixInAnyCase) {
  Outcome o = rewrite("drop procedure p\r\nGoing on\r\ncreate procedure p as begin end");
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(*o.drop, "drop procedure p");
}

// Each failing test leaves the outputs as far as the rewrite had got.
TEST(EncryptionRewrite, RefusedScriptsLeaveTheOutputsAsTheirFailingStepLeftThem) {
  // No drop part: the CREATE statement is already rewritten.
  Outcome o = rewrite("create procedure pr_c as begin select 1 end");
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(*o.create, "create procedure pr_c  with ENCRYPTION as begin select 1 end");
  EXPECT_EQ(o.drop, kUntouched);

  // "begin" inside the name: the header "create procedure pr_" has no "as".
  o = rewrite("drop procedure pr_begin_d\r\ngo\r\ncreate procedure pr_begin_d as\r\nbegin\r\n return\r\nend");
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(*o.create, "create procedure pr_begin_d as\r\nbegin\r\n return\r\nend");
  EXPECT_EQ(o.drop, kUntouched);

  // No "begin" at all.
  o = rewrite("  drop procedure p\r\ngo\r\ncreate procedure p as select 1  ");
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(*o.create, "create procedure p as select 1");
  EXPECT_EQ(o.drop, kUntouched);

  // LF alone as line end: no CR LF "go".
  o = rewrite("drop procedure pr_a\ngo\ncreate procedure pr_a\nas\nbegin\n select 1\nend");
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(*o.create, "create procedure pr_a\n with ENCRYPTION as\nbegin\n select 1\nend");
  EXPECT_EQ(o.drop, kUntouched);

  // A script that starts with its "go" line has an empty drop part.
  o = rewrite("\r\ngo\r\ncreate procedure p as begin end");
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(*o.create, "create procedure p  with ENCRYPTION as begin end");
  EXPECT_EQ(o.drop, kUntouched);

  // "create" followed by a line end, not a blank.
  const std::string no_blank = "drop procedure p\r\ngo\r\ncreate\r\nprocedure p as begin end";
  o = rewrite(no_blank);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(*o.create, no_blank);
  EXPECT_EQ(o.drop, kUntouched);

  // NULL script.
  o = rewrite(rt::null);
  EXPECT_FALSE(o.ok);
  EXPECT_TRUE(o.create.is_null());
  EXPECT_EQ(o.drop, kUntouched);
}

TEST(EncryptionRewrite, CreateMustLieWhollyWithinTheFirst200Bytes) {
  // The drop line, its go line and a comment line that put "create " at
  // byte `at` of the trimmed script.
  auto script_with_create_at = [](std::size_t at) {
    std::string head = "drop procedure p\r\ngo\r\n--";
    head += std::string(at - 1 - head.size() - 2, 'x');
    head += "\r\n";
    EXPECT_EQ(head.size() + 1, at);
    return head + "create procedure p as begin end";
  };
  Outcome o = rewrite(script_with_create_at(194));
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(*o.create, "create procedure p  with ENCRYPTION as begin end");

  for (std::size_t at : {195u, 198u}) {
    const std::string s = script_with_create_at(at);
    o = rewrite(s);
    EXPECT_FALSE(o.ok) << at;
    EXPECT_EQ(*o.create, s) << at;
    EXPECT_EQ(o.drop, kUntouched) << at;
  }

  // Leading blanks do not count: the window starts after them.
  o = rewrite(std::string(300, ' ') + script_with_create_at(194));
  EXPECT_TRUE(o.ok);
}

TEST(EncryptionRewrite, TwoByteCharactersAreNeverSplit) {
  // After the real "as" a comment holds a two-byte character whose second
  // byte is "a", followed by "s": the pair is not an "as", so the clause
  // goes before the real one and the character keeps its two bytes.
  const std::string comment = "--\xD6\xD0\x81" "as\r\n";
  Outcome o = rewrite("drop procedure p\r\ngo\r\ncreate procedure p as " + comment + "begin end");
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(*o.create, "create procedure p  with ENCRYPTION as " + comment + "begin end");
}
