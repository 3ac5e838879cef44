#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "rt/text.h"
#include "rt/testing/recording_ui.h"
#include "support/recording_env.h"
#include "support/temp_dir.h"
#include "upgrade/list_box_adapter.h"
#include "upgrade/pack_builder.h"

namespace fs = std::filesystem;
using testing_support::TempDir;
using upgrade_test::RecordingEnv;

namespace {

std::string record(const std::string& name, const std::string& script) {
  return "$$$$$$" + name + "^^^^" + *rt::reverse(script) + "####";
}

class PackBuilder : public ::testing::Test {
 protected:
  // The developer folder of scripts and the working folder of the pack.
  std::string sql_dir() const { return dir_.folder() + "sql/"; }
  std::string run_dir() const { return dir_.folder() + "run/"; }
  void SetUp() override {
    dir_.sub("sql");
    dir_.sub("run");
  }
  void script(const std::string& name, const std::string& text) { dir_.write("sql/" + name, text); }
  std::string pack() const { return dir_.read("run/db.dat"); }
  bool build() { return upgrade::cb_get_clicked(run_dir(), lb_, sql_dir()); }
  // The one message box's text in UTF-8.
  std::string only_box() const {
    auto boxes = ui_.boxes();
    EXPECT_EQ(boxes.size(), 1u);
    return boxes.empty() ? std::string() : rt::utf8(boxes[0].text);
  }

  TempDir dir_;
  upgrade::MemoryListBox lb_;
  rt::RecordingUi ui_;
  rt::ScopedUi scoped_ui_{&ui_};
};

}  // namespace

TEST_F(PackBuilder, AFolderWithoutScriptsGivesJustTheEndMarker) {
  script("notes.txt", "not a script");
  dir_.sub("sql/folder.sql");
  EXPECT_TRUE(build());
  EXPECT_EQ(pack(), "@@@@");
  EXPECT_TRUE(ui_.boxes().empty());
  EXPECT_EQ(ui_.pointer(), rt::Pointer::HourGlass);
}

TEST_F(PackBuilder, OneScriptMakesThirtyFiveBytes) {
  script("pr_a_MS.sql", "ab\r\ncd");
  EXPECT_TRUE(build());
  EXPECT_EQ(pack(), "$$$$$$pr_a_MS.sql^^^^dc\n\rba####@@@@");
  EXPECT_EQ(lb_.TotalItems(), 1);
  EXPECT_EQ(*lb_.Text(1), "pr_a_MS.sql");
  EXPECT_TRUE(ui_.boxes().empty());
}

TEST_F(PackBuilder, RecordsFollowTheListOrderAndKeepGbkText) {
  const std::string b = "-- \xB4\xE6\xB4\xA2\xB9\xFD\xB3\xCC\r\ncreate procedure b as begin end";
  script("b_MS.sql", b);
  script("a_MS.sql", "a");
  script("c_ANY5.sql", "c");
  EXPECT_TRUE(build());
  EXPECT_EQ(pack(), record("a_MS.sql", "a") + record("b_MS.sql", b) + record("c_ANY5.sql", "c") + "@@@@");
}

TEST_F(PackBuilder, TheBufferIsWrittenBetweenRecordsPastThirtyTwoThousandBytes) {
  RecordingEnv env;
  const std::string s1(20000, '1'), s2(20000, '2');
  script("s1.sql", s1);
  script("s2.sql", s2);
  EXPECT_TRUE(build());
  const std::string r1 = record("s1.sql", s1), r2 = record("s2.sql", s2);
  EXPECT_EQ(pack(), r1 + r2 + "@@@@");
  EXPECT_EQ(env.write_sizes(".tmp"), (std::vector<std::size_t>{r1.size(), r2.size() + 4}));
}

TEST_F(PackBuilder, ExactlyThirtyTwoThousandBytesDoNotFlush) {
  // The first record, then a script that brings buffer plus script to
  // exactly 32,000 bytes: one write; one byte more: two.
  const std::string s1(10000, 'a');
  const std::size_t r1 = record("a.sql", s1).size();
  for (std::size_t extra : {0u, 1u}) {
    RecordingEnv env;
    fs::remove_all(dir_.folder() + "sql");
    dir_.sub("sql");
    script("a.sql", s1);
    script("b.sql", std::string(32000 - r1 + extra, 'b'));
    EXPECT_TRUE(build());
    EXPECT_EQ(env.write_sizes(".tmp").size(), 1 + extra) << extra;
    EXPECT_EQ(pack().size(), r1 + record("b.sql", std::string(32000 - r1 + extra, 'b')).size() + 4);
  }
}

TEST_F(PackBuilder, AFirstScriptOverThirtyTwoThousandBytesWritesNothingEarly) {
  RecordingEnv env;
  const std::string big(32100, 'x');
  script("big.sql", big);
  EXPECT_TRUE(build());
  EXPECT_EQ(env.write_sizes(".tmp"), (std::vector<std::size_t>{record("big.sql", big).size() + 4}));
  EXPECT_EQ(pack(), record("big.sql", big) + "@@@@");
}

TEST_F(PackBuilder, AnExistingPackIsReplacedThroughATemporaryFile) {
  RecordingEnv env;
  dir_.write("run/db.dat", std::string(100000, 'o'));
  script("p.sql", "x");
  EXPECT_TRUE(build());
  EXPECT_EQ(pack(), record("p.sql", "x") + "@@@@");
  ASSERT_EQ(env.renames.size(), 1u);
  EXPECT_EQ(env.renames[0].second, run_dir() + "db.dat");
  EXPECT_FALSE(fs::exists(env.renames[0].first));
  EXPECT_EQ(fs::path(env.renames[0].first).parent_path(), fs::path(run_dir() + "db.dat").parent_path());
}

// Every refusal names the script and keeps the old pack.
TEST_F(PackBuilder, ScriptsThatCannotBeCarriedWholeStopTheBuild) {
  const std::string good = "drop procedure p\r\ngo\r\ncreate procedure p as begin end";
  struct Case {
    std::string name;
    std::string text;
    std::string reason;  // part of the message, UTF-8
  };
  const std::vector<Case> cases = {
      {"empty_MS.sql", "", "空文件"},
      {"long_MS.sql", std::string(32766, 'x'), "超过 32765 字节"},
      {"hash_MS.sql", good + "\r\n-- ####", "####"},
      {"start_MS.sql", "#" + good, "以“#”开头"},
      {"bytes_MS.sql", good + "\xFF", "GBK"},
      {"p^^^^_MS.sql", good, "^^^^"},
      {"p####_MS.sql", good, "####"},
      {"full_MS.sql", std::string(32765, 'x'), "32756"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir_.folder() + "sql");
    dir_.sub("sql");
    dir_.write("run/db.dat", "old pack@@@@");
    script("a_first_MS.sql", good);  // a good script before it changes nothing
    script(c.name, c.text);
    ui_.clear();
    EXPECT_FALSE(build());
    const std::string box = only_box();
    EXPECT_NE(box.find(c.name), std::string::npos) << box;
    EXPECT_NE(box.find(c.reason), std::string::npos) << box;
    EXPECT_EQ(pack(), "old pack@@@@");
    EXPECT_EQ(fs::directory_iterator(dir_.folder() + "run")->path().filename(), "db.dat");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.folder() + "run"), fs::directory_iterator()), 1);
  }
}

TEST_F(PackBuilder, TheLongestScriptThatFitsIsStoredWhole) {
  const std::string name = "fit_MS.sql";
  const std::string text(32756 - name.size(), 'y');
  script(name, text);
  EXPECT_TRUE(build());
  EXPECT_EQ(pack(), record(name, text) + "@@@@");
}

TEST_F(PackBuilder, AnUnreadableScriptStopsTheBuild) {
  RecordingEnv env;
  env.fail_open = [](const std::string& p) { return p.ends_with("b_MS.sql"); };
  dir_.write("run/db.dat", "old@@@@");
  script("a_MS.sql", "aaa");
  script("b_MS.sql", "bbb");
  EXPECT_FALSE(build());
  EXPECT_NE(only_box().find("b_MS.sql 不能读取"), std::string::npos);
  EXPECT_EQ(pack(), "old@@@@");
}

TEST_F(PackBuilder, FailuresToWriteThePackAreReportedAndKeepTheOldOne) {
  script("a.sql", std::string(20000, 'a'));
  script("b.sql", std::string(20000, 'b'));
  dir_.write("run/db.dat", "old@@@@");
  {
    RecordingEnv env;
    env.fail_open = [](const std::string& p) { return p.ends_with(".tmp"); };
    EXPECT_FALSE(build());
    EXPECT_NE(only_box().find("不能创建文件"), std::string::npos);
  }
  for (int failing_write : {0, 1}) {
    RecordingEnv env;
    int n = 0;
    env.fail_write = [&](const std::string&, std::size_t) { return n++ == failing_write; };
    ui_.clear();
    EXPECT_FALSE(build());
    EXPECT_NE(only_box().find("失败"), std::string::npos);
    EXPECT_FALSE(dir_.has("run/db.dat.tmp"));
  }
  {
    RecordingEnv env;
    env.fail_rename = true;
    ui_.clear();
    EXPECT_FALSE(build());
    EXPECT_NE(only_box().find("不能用新的脚本包替换"), std::string::npos);
    EXPECT_FALSE(dir_.has("run/db.dat.tmp"));
  }
  EXPECT_EQ(pack(), "old@@@@");
}

TEST_F(PackBuilder, AMissingScriptFolderIsReportedInsteadOfPackingNothing) {
  dir_.write("run/db.dat", "old@@@@");
  EXPECT_FALSE(upgrade::cb_get_clicked(run_dir(), lb_, dir_.folder() + "nowhere/"));
  EXPECT_NE(only_box().find("SCHEMALIFT_SQL_DIR"), std::string::npos);
  EXPECT_EQ(pack(), "old@@@@");
}

TEST(FileListing, ListsOrdinaryWritableFilesOfThePatternOnly) {
  TempDir dir;
  dir.write("b.sql", "b");
  dir.write("a.SQL", "a");
  dir.write("c.sql.bak", "c");
  dir.sub("d.sql");
  const std::string ro = dir.write("e.sql", "e");
  fs::permissions(ro, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  std::vector<std::string> names;
  EXPECT_TRUE(upgrade::list_files(dir.folder() + "*.sql", 0, &names));
  EXPECT_EQ(names, (std::vector<std::string>{"a.SQL", "b.sql"}));
  EXPECT_FALSE(upgrade::list_files(dir.folder() + "missing/*.sql", 0, &names));
  EXPECT_TRUE(names.empty());
}

// The window's own list box lists the scripts, and a missing folder still
// keeps the old pack although that list box lists nothing for it.
TEST(PackBuilderWithWindowList, BuildsFromTheListBoxAndRefusesAMissingFolder) {
  TempDir dir;
  dir.write("sql/b_MS.sql", "b");
  dir.write("sql/a_MS.sql", "a");
  dir.sub("run");
  rt::RecordingUi ui;
  rt::ScopedUi scoped(&ui);
  rt::ListBox lb;
  upgrade::ControlListBox list(lb);
  EXPECT_TRUE(upgrade::cb_get_clicked(dir.folder() + "run/", list, dir.folder() + "sql/"));
  EXPECT_EQ(dir.read("run/db.dat"), record("a_MS.sql", "a") + record("b_MS.sql", "b") + "@@@@");
  EXPECT_EQ(*lb.total_items(), 2);

  EXPECT_FALSE(upgrade::cb_get_clicked(dir.folder() + "run/", list, dir.folder() + "nowhere/"));
  EXPECT_EQ(ui.boxes().size(), 1u);
  EXPECT_EQ(dir.read("run/db.dat"), record("a_MS.sql", "a") + record("b_MS.sql", "b") + "@@@@");
}
