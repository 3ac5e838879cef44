#include <gtest/gtest.h>

#include "rt/testing/recording_ui.h"
#include "support/fake_database.h"
#include "support/scoped.h"
#include "support/temp_dir.h"
#include "upgrade/update_script.h"

using testing_support::ScopedCwd;
using testing_support::TempDir;
using testing_support::FakeDatabase;

namespace {

class UpdateScript : public ::testing::Test {
 protected:
  void SetUp() override { db_.connect(sqlca_); }

  // Runs update.sql holding `text` from the scratch folder as the current
  // directory; the log of the database is then in db_.log.
  rt::String run(const std::string& text) {
    dir_.write("update.sql", text);
    ScopedCwd cd(dir_.path());
    return upgrade::wf_exec_sql(sqlca_);
  }

  TempDir dir_;
  FakeDatabase db_;
  rt::transaction sqlca_;
  rt::RecordingUi ui_;
  rt::ScopedUi scoped_ui_{&ui_};
};

using Log = std::vector<std::string>;
using testing_support::DbOp;
using Ops = std::vector<DbOp>;

}  // namespace

TEST_F(UpdateScript, EachGoLineRunsAndCommitsTheBatchBeforeIt) {
  rt::String rest = run("update t set a = 1\r\n\r\nupdate t set b = 2\r\nGO\r\ninsert t values (1)\r\ngo\r\n");
  EXPECT_EQ(rest, rt::String(std::string()));
  EXPECT_EQ(db_.log, (Ops{{"exec", "\nupdate t set a = 1\n\nupdate t set b = 2"}, {"commit"}, {"exec", "\ninsert t values (1)"}, {"commit"}}));
  EXPECT_TRUE(ui_.events().empty());
}

TEST_F(UpdateScript, TextAfterTheLastGoLineIsReturnedNotRun) {
  rt::String rest = run("select 1\nGo\nselect 2\nselect 3");
  EXPECT_EQ(*rest, "\nselect 2\nselect 3");
  EXPECT_EQ(db_.log, (Ops{{"exec", "\nselect 1"}, {"commit"}}));
}

TEST_F(UpdateScript, CrOnlyAndMixedLineEndsSeparateBatches) {
  rt::String rest = run("a\rGO\rb");
  EXPECT_EQ(db_.log, (Ops{{"exec", "\na"}, {"commit"}}));
  EXPECT_EQ(*rest, "\nb");

  db_.log.clear();
  rest = run("x\r\ny\rgo\nz\r\rGO\r");
  EXPECT_EQ(db_.log, (Ops{{"exec", "\nx\ny"}, {"commit"}, {"exec", "\nz\n"}, {"commit"}}));
  EXPECT_EQ(*rest, "");
}

TEST_F(UpdateScript, OnlyALineOfExactlyTheTwoLettersSeparates) {
  rt::String rest = run("a\n GO\nGO \nGO;\ngO\nb\nGOGO\n");
  EXPECT_EQ(db_.statements(), (Log{"\na\n GO\nGO \nGO;"}));
  EXPECT_EQ(*rest, "\nb\nGOGO");
}

TEST_F(UpdateScript, LeadingAndRepeatedGoLinesRunEmptyBatches) {
  rt::String rest = run("GO\ngo\nx\nGO\n");
  EXPECT_EQ(db_.log, (Ops{{"exec", ""}, {"commit"}, {"exec", ""}, {"commit"}, {"exec", "\nx"}, {"commit"}}));
  EXPECT_EQ(*rest, "");
}

TEST_F(UpdateScript, ARefusedBatchIsPassedOverSilently) {
  db_.refuse([](const std::string& s) { return s == "\nbad"; }, 102, "Incorrect syntax near 'bad'.");
  run("bad\ngo\ngood\ngo\n");
  EXPECT_EQ(db_.log, (Ops{{"exec", "\nbad"}, {"commit"}, {"exec", "\ngood"}, {"commit"}}));
  EXPECT_TRUE(ui_.events().empty());
}

TEST_F(UpdateScript, NoFileRunsNothingAndReturnsEmpty) {
  ScopedCwd cd(dir_.path());
  EXPECT_EQ(upgrade::wf_exec_sql(sqlca_), rt::String(std::string()));
  EXPECT_TRUE(db_.log.empty());
  EXPECT_TRUE(ui_.events().empty());
}

TEST_F(UpdateScript, TheFileIsTakenFromTheCurrentDirectoryAtTheCall) {
  dir_.write("a/update.sql", "from a\ngo\n");
  dir_.write("b/update.sql", "from b\ngo\n");
  {
    ScopedCwd cd(dir_.path() + "/b");
    upgrade::wf_exec_sql(sqlca_);
  }
  EXPECT_EQ(db_.statements(), (Log{"\nfrom b"}));
}

TEST_F(UpdateScript, GbkBytesPassUnchanged) {
  const std::string line = "update t_sys_menu set name = '\xC9\xFD\xBC\xB6'";  // "升级"
  run(line + "\r\nGO\r\n");
  EXPECT_EQ(db_.statements(), (Log{"\n" + line}));
}
