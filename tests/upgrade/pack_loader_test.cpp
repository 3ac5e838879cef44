#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "rt/text.h"
#include "rt/testing/recording_ui.h"
#include "support/fake_database.h"
#include "support/recording_env.h"
#include "support/temp_dir.h"
#include "upgrade/globals.h"
#include "upgrade/pack_loader.h"
#include "upgrade/script_pack.h"

using testing_support::TempDir;
using testing_support::FakeDatabase;
using upgrade_test::RecordingEnv;
using Log = std::vector<std::string>;
using testing_support::DbOp;
using Ops = std::vector<DbOp>;

namespace {

std::string proc_script(const std::string& name, const std::string& body) {
  return "drop procedure " + name + "\r\ngo\r\ncreate procedure " + name + " as\r\nbegin\r\n " + body + "\r\nend";
}
// What the server is given (and keeps) for proc_script.
std::string proc_created(const std::string& name, const std::string& body) {
  return "create procedure " + name + "  with ENCRYPTION as\r\nbegin\r\n " + body + "\r\nend";
}

std::string record(const std::string& name, const std::string& script) {
  std::string r;
  upgrade::pack::append_record(r, name, script);
  return r;
}

class PackLoader : public ::testing::Test {
 protected:
  void SetUp() override { db_.connect(sqlca_, "MSS", true); }
  void put_pack(const std::string& bytes) { dir_.write("db.dat", bytes); }
  bool load() { return upgrade::cb_put_clicked(sqlca_, dir_.folder()); }
  testing_support::FakeDatabase& state() { return db_; }

  // Boxes as (title, text) in UTF-8.
  std::vector<std::pair<std::string, std::string>> boxes() const {
    std::vector<std::pair<std::string, std::string>> r;
    for (const auto& b : ui_.boxes()) r.emplace_back(rt::utf8(b.title), rt::utf8(b.text));
    return r;
  }
  std::string app() const { return rt::utf8(*upgrade::gs_appname); }

  TempDir dir_;
  FakeDatabase db_;
  rt::transaction sqlca_;
  rt::RecordingUi ui_;
  rt::ScopedUi scoped_ui_{&ui_};
};

using Boxes = std::vector<std::pair<std::string, std::string>>;

}  // namespace

TEST_F(PackLoader, AnEmptyPackSucceedsAtOnce) {
  put_pack("@@@@");
  EXPECT_TRUE(load());
  EXPECT_TRUE(state().statements().empty());
  EXPECT_EQ(boxes(), (Boxes{{app(), "更新成功！"}}));
  EXPECT_EQ(ui_.pointer(), rt::Pointer::HourGlass);
}

TEST_F(PackLoader, NoPackIsReportedAndTouchesNothing) {
  EXPECT_FALSE(load());
  EXPECT_TRUE(state().log.empty());
  EXPECT_EQ(boxes(), (Boxes{{app(), "数据库升级程序不全，升级操作被中断。"}}));
}

TEST_F(PackLoader, EachRecordRunsItsDropAndCreateInOneCommittedTransaction) {
  state().define("pr_a", "old a");
  put_pack(record("pr_a_MS.sql", proc_script("pr_a", "select 1")) +
           record("pr_b_MS.sql", proc_script("pr_b", "select 2")) + "@@@@");
  EXPECT_TRUE(load());
  EXPECT_EQ(state().log, (Ops{{"autocommit off"}, {"exec", "drop procedure pr_a"}, {"exec", proc_created("pr_a", "select 1")}, {"commit"}, {"exec", "drop procedure pr_b"}, {"exec", proc_created("pr_b", "select 2")}, {"commit"}, {"autocommit on"}}));
  EXPECT_EQ(state().committed["pr_a"], proc_created("pr_a", "select 1"));
  EXPECT_EQ(state().committed["pr_b"], proc_created("pr_b", "select 2"));
  EXPECT_TRUE(test(sqlca_.AutoCommit()));
  EXPECT_EQ(boxes(), (Boxes{{app(), "更新成功！"}}));
}

TEST_F(PackLoader, AnAutocommitFoundOffIsLeftOff) {
  sqlca_.SetAutoCommit(false);
  state().log.clear();
  put_pack(record("pr_a_MS.sql", proc_script("pr_a", "x")) + "@@@@");
  EXPECT_TRUE(load());
  EXPECT_FALSE(test(sqlca_.AutoCommit()));
  EXPECT_EQ(state().log.back(), (DbOp{"commit"}));
  EXPECT_EQ(state().committed["pr_a"], proc_created("pr_a", "x"));
}

TEST_F(PackLoader, ARefusedCreateStopsTheRunAndKeepsTheObjectItWasToReplace) {
  state().define("pr_a", "old a");
  state().define("pr_b", "old b");
  state().define("pr_c", "old c");
  state().refuse([](const std::string& s) { return s.starts_with("create procedure pr_b"); }, 207,
                 "Invalid column name 'qty'.");
  put_pack(record("pr_a_MS.sql", proc_script("pr_a", "select 1")) +
           record("pr_b_MS.sql", proc_script("pr_b", "select qty")) +
           record("pr_c_MS.sql", proc_script("pr_c", "select 3")) + "@@@@");
  EXPECT_FALSE(load());

  EXPECT_EQ(state().committed["pr_a"], proc_created("pr_a", "select 1"));
  EXPECT_EQ(state().committed["pr_b"], "old b");
  EXPECT_EQ(state().committed["pr_c"], "old c");
  for (const auto& s : state().statements()) EXPECT_EQ(s.find("pr_c"), std::string::npos) << s;
  EXPECT_EQ(state().log.back(), (DbOp{"autocommit on"}));
  EXPECT_EQ(state().log[state().log.size() - 2], (DbOp{"rollback"}));

  // Box titled with the script, the beep, then the application's box.
  const auto& ev = ui_.events();
  ASSERT_EQ(ev.size(), 4u);
  EXPECT_EQ(ev[0].kind, rt::RecordingUi::Event::PointerSet);
  EXPECT_EQ(ev[1].kind, rt::RecordingUi::Event::Box);
  EXPECT_EQ(ev[1].title, "pr_b_MS.sql");
  EXPECT_EQ(ev[1].text, "Invalid column name 'qty'.");
  EXPECT_EQ(ev[2].kind, rt::RecordingUi::Event::Beep);
  EXPECT_EQ(rt::utf8(ev[3].title), app());
  EXPECT_EQ(rt::utf8(ev[3].text), "更新失败！(错误信息：Invalid column name 'qty'.)");
}

TEST_F(PackLoader, AFailedCommitIsReportedLikeARefusedDefinition) {
  state().define("pr_a", "old a");
  state().failing_commit = "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.";
  put_pack(record("pr_a_MS.sql", proc_script("pr_a", "1")) + record("pr_b_MS.sql", proc_script("pr_b", "2")) +
           "@@@@");
  EXPECT_FALSE(load());
  EXPECT_EQ(state().committed["pr_a"], "old a");
  EXPECT_EQ(state().statements().size(), 2u);
  EXPECT_EQ(boxes(), (Boxes{{"pr_a_MS.sql", state().failing_commit},
                            {app(), "更新失败！(错误信息：" + state().failing_commit + ")"}}));
  EXPECT_EQ(ui_.beeps(), 1);
}

TEST_F(PackLoader, ARefusedDropIsPassedOver) {
  put_pack(record("pr_new_MS.sql", proc_script("pr_new", "select 1")) + "@@@@");
  EXPECT_TRUE(load());
  EXPECT_EQ(state().committed["pr_new"], proc_created("pr_new", "select 1"));
}

TEST_F(PackLoader, TheKindFilterLooksForMsOrAny5CaseSensitively) {
  const std::string text = record("pr_sum_MS.sql", proc_script("pr_sum", "1")) +
                           record("pr_sum_ms.sql", proc_script("pr_lower", "2")) +
                           record("ANY5_pr_sum.sql", proc_script("pr_any", "3")) + "@@@@";
  put_pack(text);
  EXPECT_TRUE(load());
  EXPECT_EQ(state().statements(), (Log{"drop procedure pr_sum", proc_created("pr_sum", "1")}));
  EXPECT_EQ(boxes(), (Boxes{{app(), "更新成功！"}}));

  rt::transaction odbc;
  db_.connect(odbc, "odbc", true);
  state().log.clear();
  EXPECT_TRUE(upgrade::cb_put_clicked(odbc, dir_.folder()));
  EXPECT_EQ(state().statements(), (Log{"drop procedure pr_any", proc_created("pr_any", "3")}));
}

TEST_F(PackLoader, ANameHeadOfOtherBytesIsReadTheSameWay) {
  std::string r = record("pr_h_MS.sql", proc_script("pr_h", "1"));
  r.replace(0, 6, "xyz123");
  put_pack(r + "@@@@");
  EXPECT_TRUE(load());
  EXPECT_EQ(state().statements(), (Log{"drop procedure pr_h", proc_created("pr_h", "1")}));
}

TEST_F(PackLoader, ASyntaxErrorIsReportedAndTheRunGoesOn) {
  put_pack(record("pr_x_MS.sql", "create procedure pr_x as begin end") +
           record("pr_y_MS.sql", proc_script("pr_y", "1")) + "@@@@");
  EXPECT_TRUE(load());
  EXPECT_EQ(state().statements(), (Log{"drop procedure pr_y", proc_created("pr_y", "1")}));
  EXPECT_EQ(boxes(), (Boxes{{app(), "pr_x_MS.sql 语法错误！"}, {app(), "更新成功！"}}));
}

TEST_F(PackLoader, APackWithoutItsEndMarkerIsReportedNotSucceeded) {
  const std::string whole = record("pr_a_MS.sql", proc_script("pr_a", "1")) +
                            record("pr_b_MS.sql", proc_script("pr_b", "2")) + "@@@@";
  for (std::size_t cut : {whole.size() - 1, whole.size() - 4, whole.size() - 30, std::size_t{0}}) {
    SCOPED_TRACE(cut);
    put_pack(whole.substr(0, cut));
    state().log.clear();
    ui_.clear();
    EXPECT_FALSE(load());
    EXPECT_EQ(boxes(), (Boxes{{app(), "数据库升级程序不全，升级操作被中断。"}}));
  }
  // Records before the cut have run.
  EXPECT_TRUE(state().statements().empty());  // the last pass cut at 0
  put_pack(whole.substr(0, whole.size() - 30));
  load();
  EXPECT_EQ(state().statements(), (Log{"drop procedure pr_a", proc_created("pr_a", "1")}));
}

TEST_F(PackLoader, RecordsPastSixteenBitPositionsLoadWhole) {
  const std::string body = "select '" + std::string(40000, 'w') + "'";
  put_pack(record("pr_big_MS.sql", proc_script("pr_big", body)) + record("pr_c_MS.sql", proc_script("pr_c", "1")) +
           "@@@@");
  EXPECT_TRUE(load());
  EXPECT_EQ(state().committed["pr_big"], proc_created("pr_big", body));
  EXPECT_EQ(state().committed["pr_c"], proc_created("pr_c", "1"));
}

TEST_F(PackLoader, ThePackIsReadInTheFewestBlocksThatCoverIt) {
  struct Case {
    std::size_t size;
    std::int64_t blocks;
  };
  for (Case c : {Case{0, 1}, Case{4, 1}, Case{32765, 1}, Case{32766, 2}, Case{65530, 2}, Case{65531, 3}}) {
    SCOPED_TRACE(c.size);
    std::string bytes(c.size, 'k');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 26);
    const std::string path = dir_.write("db.dat", bytes);
    RecordingEnv env;
    upgrade::PackFile f = upgrade::read_pack_file(path);
    EXPECT_TRUE(f.exists);
    EXPECT_EQ(f.blocks, c.blocks);
    EXPECT_EQ(f.text, bytes);
    std::size_t reads = 0;
    for (const auto& r : env.reads) reads += r.path == path;
    EXPECT_EQ(reads, static_cast<std::size_t>(c.size == 0 ? 0 : c.blocks));
  }
}

TEST_F(PackLoader, ARecordAcrossABlockBoundaryLoads) {
  // The first record ends a little past the first block.
  const std::string first = proc_script("pr_a", "select '" + std::string(32765 - 60, 'v') + "'");
  put_pack(record("pr_a_MS.sql", first) + record("pr_b_MS.sql", proc_script("pr_b", "2")) + "@@@@");
  EXPECT_TRUE(load());
  EXPECT_EQ(state().statements().size(), 4u);
  EXPECT_EQ(state().committed["pr_b"], proc_created("pr_b", "2"));
}

namespace {

// The body of a procedure whose record under `name` has exactly `size`
// bytes before its "####": a string literal filled to fit.
std::string body_for_size(const std::string& name, const std::string& proc, std::size_t size) {
  const std::size_t frame = record(name, proc_script(proc, "select ''")).size() - 4;
  return "select '" + std::string(size - frame, 'f') + "'";
}
std::string record_of_size(const std::string& name, const std::string& proc, std::size_t size) {
  return record(name, proc_script(proc, body_for_size(name, proc, size)));
}

}  // namespace

TEST_F(PackLoader, MarkersSplitByTheBlockBoundariesAreFound) {
  // "####" of the first record and "@@@@" each lie half in one block and
  // half in the next.
  const std::string a = record_of_size("pr_a_MS.sql", "pr_a", 32765 - 2);
  const std::string b = record_of_size("pr_b_MS.sql", "pr_b", 2 * 32765 - 2 - a.size() - 4);
  ASSERT_EQ(a.size(), 32765u + 2);
  const std::string bytes = a + b + "@@@@";
  ASSERT_EQ(bytes.size(), 2u * 32765 + 2);
  put_pack(bytes);
  EXPECT_TRUE(load());
  EXPECT_EQ(state().statements().size(), 4u);
  EXPECT_EQ(state().committed["pr_a"], proc_created("pr_a", body_for_size("pr_a_MS.sql", "pr_a", 32765 - 2)));
  EXPECT_EQ(state().committed["pr_b"], proc_created("pr_b", body_for_size("pr_b_MS.sql", "pr_b", b.size() - 4)));
  EXPECT_EQ(boxes(), (Boxes{{app(), "更新成功！"}}));
}

TEST_F(PackLoader, ARunStoppedByARefusedCreateStillReadsThePackWhole) {
  state().refuse([](const std::string& s) { return s.starts_with("create procedure pr_a"); }, 207, "no");
  const std::string bytes = record_of_size("pr_a_MS.sql", "pr_a", 1000) +
                            record_of_size("pr_b_MS.sql", "pr_b", 30000) +
                            record_of_size("pr_c_MS.sql", "pr_c", 30000) + "@@@@";
  const std::string path = dir_.write("db.dat", bytes);
  RecordingEnv env;
  EXPECT_FALSE(load());
  for (const auto& s : state().statements()) EXPECT_EQ(s.find("pr_b"), std::string::npos) << s;
  std::size_t reads = 0, read_bytes = 0;
  for (const auto& r : env.reads) {
    reads += r.path == path;
    read_bytes += r.path == path ? r.bytes : 0;
  }
  EXPECT_EQ(reads, 2u);
  EXPECT_EQ(read_bytes, bytes.size());
}

namespace {

// A recording screen that calls `on_box` before each box appears.
class WatchingUi : public rt::RecordingUi {
 public:
  std::function<void()> on_box;
  int MessageBox(const std::string& title, const std::string& text, rt::Icon icon, rt::Buttons buttons) override {
    if (on_box) on_box();
    return rt::RecordingUi::MessageBox(title, text, icon, buttons);
  }
};

}  // namespace

TEST_F(PackLoader, ThePackIsReadWholeAndClosedBeforeAnyStatementOrBox) {
  // Packs of three blocks, each record well inside one, so that a loader
  // taking the blocks as the records need them would still hold the file
  // at the first statement. Every way a run ends: all loaded, a refused
  // definition, a script the rewrite refuses, a pack cut short.
  const std::string a = record_of_size("pr_a_MS.sql", "pr_a", 30000);
  const std::string b = record_of_size("pr_b_MS.sql", "pr_b", 30000);
  const std::string c = record_of_size("pr_c_MS.sql", "pr_c", 30000);
  const std::string bad = record("pr_x_MS.sql", "create procedure pr_x as begin end");
  struct Case {
    std::string what;
    std::string bytes;
    bool refuse_b;
    std::size_t statements;
    std::size_t boxes;
  };
  const std::vector<Case> cases = {
      {"every record", a + b + c + "@@@@", false, 6, 1},
      {"a refused definition", a + b + c + "@@@@", true, 4, 2},
      {"a syntax error first", bad + a + b + c + "@@@@", false, 6, 2},
      {"cut short", a + b + c.substr(0, 10000), false, 4, 1},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    ASSERT_GT(k.bytes.size(), 2u * 32765);
    const std::string path = dir_.write("db.dat", k.bytes);
    testing_support::FakeDatabase& s = state();
    s.log.clear();
    s.refusals.clear();
    RecordingEnv env;
    // The pack's file as the loader has left it so far: opened once, read
    // to its length, closed.
    std::size_t looked = 0;
    auto look = [&] {
      ++looked;
      std::size_t read_bytes = 0;
      for (const auto& r : env.reads) read_bytes += r.path == path ? r.bytes : 0;
      EXPECT_EQ(std::count(env.opens.begin(), env.opens.end(), path), 1);
      EXPECT_EQ(std::count(env.closes.begin(), env.closes.end(), path), 1);
      EXPECT_EQ(read_bytes, k.bytes.size());
    };
    s.refuse([&](const std::string&) {
      look();
      return false;
    }, 0, "");
    if (k.refuse_b) s.refuse([](const std::string& sql) { return sql.starts_with("create procedure pr_b"); }, 207, "no");
    WatchingUi ui;
    ui.on_box = look;
    rt::ScopedUi scoped(&ui);
    load();
    EXPECT_EQ(s.statements().size(), k.statements);
    EXPECT_EQ(ui.boxes().size(), k.boxes);
    EXPECT_EQ(looked, k.statements + k.boxes);
  }
}
