// What the store database server receives from one run of the program
// that upgrades from "00000000": every request in order, each statement
// with its own text. The upgrade's statements are those of the golden
// conversation (tests/upgrade/golden), whose definitions are compared up to
// layout; every other text must match byte for byte.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "rt/text.h"
#include "support/golden.h"
#include "support/program_run.h"

namespace {

using e2e::ProgramRun;
using e2e::StoreServer;
using e2e::Workplace;

struct Expected {
  std::string entry;    // "login ...", "batch: <text>", "begin", "commit", ...
  bool layout = false;  // a definition: compared up to layout
};

std::string describe(const storesim::LoggedRequest& r) {
  switch (r.kind) {
    case storesim::RequestKind::Login:
      return "login " + r.text + " to " + r.database;
    case storesim::RequestKind::Batch:
      return "batch: " + r.text;
    case storesim::RequestKind::Begin:
      return "begin";
    case storesim::RequestKind::Commit:
      return r.begin_new ? "commit, next begun" : "commit";
    case storesim::RequestKind::Rollback:
      return r.begin_new ? "rollback, next begun" : "rollback";
    case storesim::RequestKind::TransactionOther:
      return "other transaction request";
    case storesim::RequestKind::Rpc:
      return "rpc: " + r.text;
    case storesim::RequestKind::Attention:
      return "attention";
  }
  return "?";
}

Expected batch(const std::string& text) { return {"batch: " + text, false}; }

// The upgrade's requests as the server logs them (UTF-8): the golden
// conversation's statements, without the COMMITs, which autocommit leaves
// unsent, and with `update_script` where the update script runs.
std::vector<Expected> upgrade_requests(const std::vector<Expected>& update_script) {
  std::vector<Expected> r;
  for (const testing_support::GoldenEntry& e : testing_support::upgrade_conversation()) {
    if (e.op == "update-script") r.insert(r.end(), update_script.begin(), update_script.end());
    if (e.op == "select" || e.op == "exec") r.push_back({"batch: " + rt::utf8(e.text), e.layout});
  }
  return r;
}

// A sample script's drop part and its CREATE statement with the clause put
// in at `anchor` (which must occur once in the statement).
std::vector<Expected> script(const std::string& name, const std::string& anchor, const std::string& rewritten) {
  std::ifstream in(e2e::sample_dir() + "/pr_tr/" + name, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  const std::string text = rt::utf8(bytes.str());
  const std::string go = "\r\ngo\r\n";
  const std::size_t cut = text.find(go);
  EXPECT_NE(cut, std::string::npos) << name;
  std::string create = text.substr(cut + go.size());
  const std::size_t at = create.find(anchor);
  EXPECT_NE(at, std::string::npos) << name;
  EXPECT_EQ(create.find(anchor, at + 1), std::string::npos) << name;
  create.replace(at, anchor.size(), rewritten);
  return {batch(text.substr(0, cut)), batch(create), {"commit, next begun"}};
}

TEST(Conversation, UpgradeFromNoStageSendsTheListInOrder) {
  storesim::SampleOptions options;
  options.upgrade_date = "00000000";
  options.system_primary_key = true;
  StoreServer store(options);
  Workplace place;
  // Two batches, each ended by a separator line in its own letter case,
  // and a tail without one, which is not sent.
  place.put("update.sql", rt::gbk("-- 门店参数\r\n"
                                  "update t_sys_system set sys_var_value = '1' where sys_var_id = 'PRINT_COPIES'\r\n"
                                  "GO\r\n"
                                  "\r\n"
                                  "update t_sys_menu set flag3 = '0' where flag3 is null\r\n"
                                  "Go\r\n"
                                  "update t_sys_menu set flag2 = '1'\r\n"));
  place.build_pack(store);
  place.point_at(store);
  {
    ProgramRun run(place);
    ASSERT_TRUE(run.upgrade());
    EXPECT_EQ(run.boxes(), e2e::upgrade_succeeded_boxes());
    run.close();
  }
  ASSERT_TRUE(store.server().WaitForIdle());

  std::vector<Expected> want = {
      {"login tandrel to store"},
      // The ODBC client sets the lock ("RU") as the isolation level.
      batch("SET TRANSACTION ISOLATION LEVEL READ UNCOMMITTED"),
      batch("use master"),
      batch("use store"),
  };
  for (const Expected& e :
       upgrade_requests({batch("\n-- 门店参数\nupdate t_sys_system set sys_var_value = '1' where sys_var_id = 'PRINT_COPIES'"),
                         batch("\n\nupdate t_sys_menu set flag3 = '0' where flag3 is null")}))
    want.push_back(e);
  // The loader: each script's drop part and CREATE statement in a
  // transaction of their own, in the pack's (file name) order.
  want.push_back({"begin"});
  for (const auto& part :
       {script("pr_rm_market_sum_MS.sql", "\r\nas\r\nbegin", "\r\n with ENCRYPTION as\r\nbegin"),
        script("pr_vip_small_query_MS.sql", "\r\nas\r\nbegin", "\r\n with ENCRYPTION as\r\nbegin"),
        script("tr_rm_vip_small_log_MS.sql", "\r\nfor insert\r\n", "\r\n with ENCRYPTION for insert\r\n"),
        script("tr_wm_vip_visit_MS.sql", "\r\nfor insert, update", "\r\n with ENCRYPTION for insert, update")})
    want.insert(want.end(), part.begin(), part.end());
  // Autocommit back on after the loader (the client rolls back nothing
  // left open), off again for the final COMMIT, and the commit of the
  // disconnect when the program ends.
  want.push_back({"commit, next begun"});
  want.push_back({"rollback"});
  want.push_back({"begin"});
  want.push_back({"commit, next begun"});
  want.push_back({"commit, next begun"});

  const std::vector<storesim::LoggedRequest> log = store.server().Log();
  for (const storesim::LoggedRequest& r : log) EXPECT_EQ(r.connection, log.front().connection);
  const std::size_t n = std::min(log.size(), want.size());
  for (std::size_t i = 0; i < n; ++i) {
    const std::string got = describe(log[i]);
    if (want[i].layout) {
      EXPECT_EQ(testing_support::without_layout(got), testing_support::without_layout(want[i].entry))
          << "request " << i + 1;
    } else {
      EXPECT_EQ(got, want[i].entry) << "request " << i + 1;
    }
  }
  EXPECT_EQ(log.size(), want.size());
  for (std::size_t i = n; i < log.size(); ++i) ADD_FAILURE() << "unexpected request " << i + 1 << ": " << describe(log[i]);
}

}  // namespace
