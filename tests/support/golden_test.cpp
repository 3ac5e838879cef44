// The golden-file reader: entries come back with their bytes as written,
// and a file that breaks the format is refused rather than read short.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/golden.h"
#include "support/temp_dir.h"

namespace {

using testing_support::GoldenEntry;
using testing_support::read_golden;
using testing_support::TempDir;
using testing_support::without_layout;

TEST(GoldenFile, KeepsEveryByteOfAStatement) {
  TempDir dir;
  const std::string path = dir.write("c.sql",
                                     "select 1\n--@ select\n"
                                     "CREATE TABLE t (\r\n\ta int\r\n) \n--@ exec item 3 layout\n"
                                     "--@ commit item 3\n"
                                     "--@ update-script item 67\n"
                                     "insert t values ('\xca\xc7')\n\n--@ exec item 68\n");
  const std::vector<GoldenEntry> want = {
      {"select", "select 1", 0, false},
      {"exec", "CREATE TABLE t (\r\n\ta int\r\n) ", 3, true},
      {"commit", "", 3, false},
      {"update-script", "", 67, false},
      {"exec", "insert t values ('\xca\xc7')\n", 68, false},
  };
  EXPECT_EQ(read_golden(path), want);
}

TEST(GoldenFile, RefusesWhatBreaksTheFormat) {
  TempDir dir;
  const char* broken[] = {
      "select 1\n--@ commit\n",              // a commit with a text
      "--@ exec\n",                          // an exec without one
      "select 1\n--@ send\n",                // an unknown operation
      "select 1\n--@ select item\n",         // an item without its number
      "select 1\n--@ select item 0\n",       // items count from 1
      "select 1\n--@ select layout layout\n",
      "select 1\n--@ select\nselect 2\n",    // text after the last separator
      "select 1\n--@ select",                // no line end at the end
  };
  for (const char* content : broken) {
    SCOPED_TRACE(content);
    EXPECT_THROW(read_golden(dir.write("bad.sql", content)), std::runtime_error);
  }
  EXPECT_THROW(read_golden(dir.path() + "/missing.sql"), std::runtime_error);
}

TEST(GoldenFile, LayoutComparisonStillSeesWordsAndNames) {
  EXPECT_EQ(without_layout("ALTER TABLE [t] ADD\n\tCONSTRAINT [a] DEFAULT (0) FOR [b] ,\n\t( [c] )  ON [PRIMARY] "),
            "ALTER TABLE[t]ADD CONSTRAINT[a]DEFAULT(0)FOR[b],([c])ON[PRIMARY]");
  EXPECT_NE(without_layout("PRIMARY KEY CLUSTERED"), without_layout("PRIMARYKEY CLUSTERED"));
  EXPECT_NE(without_layout("[com_no]"), without_layout("[com no]"));

  const GoldenEntry exact{"exec", "drop   INDEX t.i", 8, false};
  const GoldenEntry layout{"exec", "CREATE INDEX [i] ON [t]([a])", 12, true};
  EXPECT_TRUE(testing_support::matches(exact, "drop   INDEX t.i"));
  EXPECT_FALSE(testing_support::matches(exact, "drop INDEX t.i"));
  EXPECT_TRUE(testing_support::matches(layout, "CREATE INDEX [i]\r\n\tON [t] ( [a] )"));
  EXPECT_FALSE(testing_support::matches(layout, "CREATE INDEX [i] ON [t]([b])"));
}

}  // namespace
