// The conversation of a whole upgrade with the database: every statement,
// COMMIT and autocommit switch, in order, against the golden conversation
// (golden/conversation-00000000.sql). Definitions that the golden file
// fixes up to layout are compared without it, every other text byte for
// byte (GBK).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "rt/text.h"
#include "support/golden.h"
#include "support/stage_harness.h"
#include "upgrade/globals.h"
#include "upgrade/stage_upgrade.h"

namespace {

using stagetest::StageHarness;
using testing_support::DbOp;
using testing_support::GoldenEntry;
using testing_support::SelectAnswer;
using testing_support::upgrade_conversation;

// The golden entries as the harness logs them: the update script run is
// the window's seam.
GoldenEntry as_logged(GoldenEntry e) {
  if (e.op == "update-script") e.op = "wf_exec_sql";
  return e;
}

// The golden conversation from list item `first` on, after the two stage
// reads of a database that records a stage.
std::vector<GoldenEntry> from_item(int first) {
  const std::vector<GoldenEntry>& all = upgrade_conversation();
  const GoldenEntry& read = all.front();
  std::vector<GoldenEntry> want = {read, read};
  for (const GoldenEntry& e : all)
    if (e.item >= first) want.push_back(as_logged(e));
  return want;
}

// The click's own steps after the list: loader, autocommit off, COMMIT, cb_1.
void append_closing_steps(std::vector<GoldenEntry>& want) {
  for (const char* op : {"loader", "autocommit off", "commit", "disable cb_1"}) want.push_back({op, {}});
}

void expect_conversation(const std::vector<DbOp>& got, const std::vector<GoldenEntry>& want) {
  for (std::size_t i = 0; i < std::min(got.size(), want.size()); ++i) {
    const GoldenEntry& w = want[i];
    SCOPED_TRACE("operation " + std::to_string(i) + (w.item ? ", item " + std::to_string(w.item) : std::string()));
    ASSERT_EQ(got[i].kind, w.op);
    EXPECT_TRUE(testing_support::matches(w, got[i].text)) << rt::utf8(got[i].text) << "\nwanted\n" << rt::utf8(w.text);
  }
  EXPECT_EQ(got.size(), want.size());
}

TEST(StageConversation, FromNoStageRunsBootstrapAndAllItems) {
  StageHarness h;
  upgrade::cb_1_clicked(h.window, upgrade::connection());

  std::vector<GoldenEntry> want;
  for (const GoldenEntry& e : upgrade_conversation()) want.push_back(as_logged(e));
  append_closing_steps(want);
  expect_conversation(h.db.log, want);
  EXPECT_TRUE(h.ui.boxes().empty());
}

TEST(StageConversation, EachStageEntersAtItsFirstItem) {
  struct Case {
    const char* stage;
    int first;
  };
  for (const Case c : {Case{"20151227", 17}, Case{"20170521", 31}}) {
    SCOPED_TRACE(c.stage);
    StageHarness h;
    h.db.answers = {SelectAnswer::row(c.stage)};
    upgrade::cb_1_clicked(h.window, upgrade::connection());
    std::vector<GoldenEntry> want = from_item(c.first);
    append_closing_steps(want);
    expect_conversation(h.db.log, want);
    EXPECT_TRUE(h.ui.boxes().empty());
  }
}

}  // namespace
