// How an upgrade click behaves around the statement list: unrecognised
// stages, the check box, autocommit, the pointer, refused statements and
// runtime errors that end the click.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "rt/error.h"
#include "rt/text.h"
#include "support/stage_harness.h"
#include "upgrade/globals.h"
#include "upgrade/stage_upgrade.h"
#include "upgrade/statement_list.h"

namespace {

using Op = testing_support::DbOp;
using testing_support::SelectAnswer;
using stagetest::StageHarness;

std::vector<std::string> kinds(const std::vector<Op>& ops) {
  std::vector<std::string> k;
  for (const Op& o : ops) k.push_back(o.kind);
  return k;
}

bool sent(const std::vector<Op>& ops, const std::string& gbk_text) {
  for (const Op& o : ops)
    if (o.kind == "exec" && o.text == gbk_text) return true;
  return false;
}

const std::string& grant_insert() { return upgrade::statement_list().back().text; }

TEST(StageEntry, UnrecognisedStageResetsMarkerAndStillFinishesTheClick) {
  struct Case {
    const char* name;
    SelectAnswer answer;
  };
  const Case cases[] = {
      {"later date", SelectAnswer::row("20190110")},
      {"empty text", SelectAnswer::row("")},
      {"NULL", SelectAnswer::null_value()},
      {"failed read", SelectAnswer::failure()},
      {"no row", SelectAnswer::no_row()},
      {"blank behind the date", SelectAnswer::row("20170521 ")},
  };
  const std::string reset = "update t_sys_system set sys_var_value ='00000000' where sys_var_id ='UPGRADE_DATE'";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StageHarness h;
    h.db.answers = {c.answer};
    upgrade::cb_1_clicked(h.window, upgrade::connection());

    const std::vector<Op> want = {
        {"select", upgrade::stage_sql::stage_read()},
        {"select", upgrade::stage_sql::stage_read()},
        {"exec", reset},
        {"commit", {}},
        {"loader", {}},
        {"autocommit off", {}},
        {"commit", {}},
        {"disable cb_1", {}},
    };
    EXPECT_EQ(h.db.log, want);
    auto boxes = h.ui.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, rt::gbk("提示"));
    EXPECT_EQ(boxes[0].text, rt::gbk("数据库升级程序不全，升级操作被中断。重新升级一次"));
    EXPECT_EQ(h.ui.pointer(), rt::Pointer::Arrow);
    EXPECT_FALSE(h.window.cb_1_enabled);
  }
}

TEST(StageEntry, BootstrapDependsOnTheDriversOwnRead) {
  // The driver's read says "00000000" (the row is inserted), but the second
  // read finds another text: the list does not run and the marker is reset.
  {
    StageHarness h;
    h.db.answers = {SelectAnswer::row("00000000"), SelectAnswer::row("2015-12-27")};
    upgrade::cb_1_clicked(h.window, upgrade::connection());
    ASSERT_GE(h.db.log.size(), 4u);
    EXPECT_EQ(h.db.log[1], (Op{"exec", upgrade::stage_sql::bootstrap_insert()}));
    EXPECT_EQ(h.db.log[2], (Op{"commit", {}}));
    EXPECT_FALSE(sent(h.db.log, grant_insert()));
    EXPECT_EQ(h.ui.boxes().size(), 1u);
  }
  // The driver's read fails, the second one finds the last stage: no
  // bootstrap row, the last stage runs.
  {
    StageHarness h;
    h.db.answers = {SelectAnswer::failure(), SelectAnswer::row("20170521")};
    upgrade::cb_1_clicked(h.window, upgrade::connection());
    EXPECT_FALSE(sent(h.db.log, upgrade::stage_sql::bootstrap_insert()));
    ASSERT_GE(h.db.log.size(), 3u);
    EXPECT_EQ(h.db.log[2].text, upgrade::statement_list()[30].text);
    EXPECT_TRUE(sent(h.db.log, grant_insert()));
    EXPECT_TRUE(h.ui.boxes().empty());
  }
}

TEST(StageEntry, LoaderRunsOnlyWhenTheBoxIsTickedButTheCloseAlwaysHappens) {
  for (rt::Bool checked : {rt::Bool(false), rt::Bool(rt::null)}) {
    StageHarness h;
    h.db.answers = {SelectAnswer::row("20170521")};
    h.window.checked = checked;
    upgrade::cb_1_clicked(h.window, upgrade::connection());
    auto k = kinds(h.db.log);
    ASSERT_GE(k.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(k.end() - 3, k.end()),
              (std::vector<std::string>{"autocommit off", "commit", "disable cb_1"}));
    EXPECT_EQ(std::count(k.begin(), k.end(), "loader"), 0);
    EXPECT_FALSE(*upgrade::sqlca->AutoCommit());
  }
}

TEST(StageEntry, LoaderRunsWithAutocommitOnEvenWhenItWasOff) {
  StageHarness h;
  upgrade::sqlca->SetAutoCommit(false);
  h.db.log.clear();
  h.db.answers = {SelectAnswer::row("20170521")};
  upgrade::cb_1_clicked(h.window, upgrade::connection());

  auto k = kinds(h.db.log);
  const std::vector<std::string> tail = {"wf_exec_sql", "exec",           "commit",       "autocommit on",
                                         "loader",      "autocommit off", "commit",       "disable cb_1"};
  ASSERT_GE(k.size(), tail.size());
  EXPECT_EQ(std::vector<std::string>(k.end() - tail.size(), k.end()), tail);
  EXPECT_TRUE(h.window.autocommit_in_loader);
  EXPECT_FALSE(*upgrade::sqlca->AutoCommit());
  EXPECT_FALSE(h.db.autocommit);
}

TEST(StageEntry, PointerIsHourglassDuringTheRunAndTheOldOneAfterIt) {
  // The loader leaves the hourglass set, as the real one does; the click
  // puts back the pointer that was in force before it.
  for (rt::Pointer before : {rt::Pointer::Arrow, rt::Pointer::HourGlass}) {
    StageHarness h;
    rt::set_pointer(before);
    h.window.on_loader = [] { rt::set_pointer(rt::Pointer::HourGlass); };
    upgrade::cb_1_clicked(h.window, upgrade::connection());
    EXPECT_EQ(h.window.pointer_in_loader, rt::Pointer::HourGlass);
    EXPECT_EQ(h.ui.pointer(), before);
  }
}

TEST(StageEntry, RefusedStatementsAndCommitsDoNotChangeTheRun) {
  std::vector<Op> accepted_ops;
  {
    StageHarness normal;
    upgrade::cb_1_clicked(normal.window, upgrade::connection());
    accepted_ops = normal.db.log;
  }
  StageHarness refused;
  refused.db.refuse([](const std::string&) { return true; }, 2714, "There is already an object of that name.");
  refused.db.failing_commit = "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.";
  upgrade::cb_1_clicked(refused.window, upgrade::connection());

  EXPECT_EQ(refused.db.log, accepted_ops);
  EXPECT_TRUE(refused.ui.boxes().empty());
  EXPECT_FALSE(refused.window.cb_1_enabled);
}

TEST(StageEntry, RuntimeErrorEndsTheClickAtOnce) {
  // Raised by the loader: no autocommit off, no final COMMIT, the pointer
  // stays the hourglass and the button stays enabled.
  {
    StageHarness h;
    h.db.answers = {SelectAnswer::row("20170521")};
    h.window.on_loader = [] { rt::raise_error(rt::kErrNullObject); };
    rt::ErrorReport report;
    EXPECT_FALSE(rt::run_event([&] { upgrade::cb_1_clicked(h.window, upgrade::connection()); }, &report));
    EXPECT_EQ(report.number, rt::kErrNullObject);
    EXPECT_EQ(h.db.log.back().kind, "loader");
    EXPECT_EQ(h.ui.pointer(), rt::Pointer::HourGlass);
    EXPECT_TRUE(h.window.cb_1_enabled);
    EXPECT_TRUE(*upgrade::sqlca->AutoCommit());
  }
  // Raised by the update script run: the grant insert is never sent and
  // the loader does not run.
  {
    StageHarness h;
    h.db.answers = {SelectAnswer::row("20170521")};
    h.window.on_exec_sql = [] { rt::raise_error(rt::kErrArrayBounds); };
    EXPECT_FALSE(rt::run_event([&] { upgrade::cb_1_clicked(h.window, upgrade::connection()); }));
    EXPECT_EQ(h.db.log.back().kind, "wf_exec_sql");
    EXPECT_FALSE(sent(h.db.log, grant_insert()));
    EXPECT_TRUE(h.window.cb_1_enabled);
  }
  // No connection object at all: the click ends as it asks for it, before
  // the upgrade starts; nothing is sent.
  {
    StageHarness h;
    rt::destroy(upgrade::sqlca);
    rt::ErrorReport report;
    EXPECT_FALSE(rt::run_event([&] { upgrade::cb_1_clicked(h.window, upgrade::connection()); }, &report));
    EXPECT_EQ(report.number, rt::kErrNullObject);
    EXPECT_TRUE(h.db.log.empty());
    EXPECT_EQ(h.ui.pointer(), rt::Pointer::Arrow);
    EXPECT_TRUE(h.window.cb_1_enabled);
  }
}

}  // namespace
