// The upgrade button end to end: the program starts, connects through the
// ODBC client to the simulated store database named in its registry
// settings, and the user presses Alt+U. What the database holds afterwards,
// which statements reached it and which boxes the user saw, for each kind
// of recorded stage.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "rt/text.h"
#include "support/golden.h"
#include "support/program_run.h"
#include "upgrade/globals.h"
#include "upgrade/statement_list.h"

namespace {

using e2e::ProgramRun;
using e2e::StoreServer;
using e2e::Workplace;

const std::string kApp = "岚舟商业管理软件";
const std::string kStageRead =
    "select isnull ( max ( sys_var_value ) , '00000000' ) from t_sys_system where sys_var_id ='UPGRADE_DATE'";
const std::string kBootstrap =
    "insert t_sys_system values ( 'UPGRADE_DATE' , 'UPGRADE_DATE' , '00000000' , '是' , '' , null , null , null )";
const std::string kGrantInsertHead = "insert t_sys_oper_grant select distinct";

storesim::SampleOptions at_stage(std::optional<std::string> stage, bool system_key = true) {
  storesim::SampleOptions o;
  if (stage) o.earlier_stages = testing_support::statements_through_stage(*stage);
  o.upgrade_date = std::move(stage);
  o.system_primary_key = system_key;
  return o;
}

// The statement text of item n of the list, as the server logs it (UTF-8).
std::string item(int n) { return rt::utf8(upgrade::statement_list()[static_cast<std::size_t>(n - 1)].text); }

bool contains(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

std::size_t count_prefix(const std::vector<std::string>& v, const std::string& prefix) {
  return static_cast<std::size_t>(
      std::count_if(v.begin(), v.end(), [&](const std::string& s) { return s.rfind(prefix, 0) == 0; }));
}

// The rows of `table` whose first value is `key`.
std::vector<std::string> rows_of(const std::vector<std::string>& rows, const std::string& key) {
  std::vector<std::string> out;
  for (const std::string& r : rows)
    if (r.rfind(key + "|", 0) == 0) out.push_back(r);
  return out;
}

// The grant rows of one menu id, as "operator:flags".
std::vector<std::string> grants_of(StoreServer& store, const std::string& menu_id) {
  std::vector<std::string> out;
  for (const std::string& r : store.rows("t_sys_oper_grant")) {
    std::size_t bar = r.find('|');
    if (r.compare(bar + 1, menu_id.size() + 1, menu_id + "|") == 0) out.push_back(r);
  }
  return out;
}

class Upgrade : public ::testing::Test {
 protected:
  // A sample store at `options`, the working folder with update.sql and
  // the pack built from the sample scripts.
  void prepare(const storesim::SampleOptions& options) {
    store = std::make_unique<StoreServer>(options);
    place.add_update_sql();
    place.build_pack(*store);
    place.point_at(*store);
  }

  // One program run with one press of Alt+U; the batches the server
  // received during it and the boxes the user saw.
  struct Outcome {
    bool clicked = false;
    bool button_enabled_after = true;
    rt::Pointer pointer_after = rt::Pointer::Arrow;
    std::vector<std::string> boxes;
    std::vector<std::string> batches;
    std::vector<storesim::LoggedRequest> log;
  };
  Outcome upgrade_once(bool developer = false, bool untick_proc = false) {
    store->server().ClearLog();
    Outcome o;
    {
      ProgramRun run(place, developer);
      EXPECT_TRUE(run.boxes().empty()) << run.boxes().front();
      if (untick_proc) {
        EXPECT_TRUE(run.backend().click(*run.window().cbx_proc));
      }
      o.clicked = run.upgrade();
      o.button_enabled_after = run.window().cb_1->enabled();
      o.pointer_after = run.backend().recorder().pointer();
      o.boxes = run.boxes();
      run.close();
    }
    EXPECT_TRUE(store->server().WaitForIdle());
    o.batches = store->server().Batches();
    o.log = store->server().Log();
    return o;
  }

  // The batches from the first stage read on (the start-up's are left out).
  static std::vector<std::string> upgrade_batches(const Outcome& o) {
    auto at = std::find(o.batches.begin(), o.batches.end(), kStageRead);
    return std::vector<std::string>(at, o.batches.end());
  }

  // The list items sent, from the one after the second stage read up to
  // and including the grant insert (update.sql's batches are left out).
  static std::vector<std::string> list_batches(const Outcome& o) {
    std::vector<std::string> b = upgrade_batches(o);
    auto second = std::find(b.begin() + (b.empty() ? 0 : 1), b.end(), kStageRead);
    std::vector<std::string> out;
    if (second == b.end()) return out;
    for (auto it = second + 1; it != b.end(); ++it) {
      if (it->rfind("\n", 0) == 0) continue;  // an update.sql batch
      out.push_back(*it);
      if (it->rfind(kGrantInsertHead, 0) == 0) break;
    }
    return out;
  }

  static std::vector<std::string> items_from(int first) {
    std::vector<std::string> v;
    for (int n = first; n <= 68; ++n)
      if (n != 67) v.push_back(item(n));
    return v;
  }

  void expect_full_upgrade_result() {
    EXPECT_EQ(store->system_values("UPGRADE_DATE").size(), 1u);
    EXPECT_EQ(store->system_values("DataBase_Version"), std::vector<std::string>{"V8 20190110"});
    for (const char* t : {"t_rm_market", "t_rm_market_detail", "t_rm_casher_daysum_giv", "t_vipday_item",
                          "t_rm_vip_small", "t_rm_vip_small_log", "t_wm_vip_visit", "t_rm_vip_saveset"})
      EXPECT_TRUE(store->engine().Table("store", t)) << t;
    auto giv = store->engine().Table("store", "t_rm_casher_daysum_giv");
    ASSERT_TRUE(giv && giv->PrimaryKey());
    EXPECT_EQ(giv->PrimaryKey()->columns, (std::vector<std::string>{"oper_date", "oper_id", "branch_no"}));
    EXPECT_EQ(giv->indexes.size(), 5u);
    auto history = store->engine().Table("store", "t_sys_pos_status_history");
    ASSERT_TRUE(history);
    EXPECT_TRUE(history->indexes.empty());  // Index_1 dropped
    // Every menu entry has a grant for every operator by now, or had one.
    const std::vector<std::string> menus = store->rows("t_sys_menu");
    for (const std::string& m : menus) {
      const std::string id = m.substr(0, m.find('|'));
      EXPECT_FALSE(grants_of(*store, id).empty()) << id;
    }
    // The procedures and triggers of the pack, stored encrypted.
    std::vector<storesim::ModuleInfo> modules = store->engine().Modules("store");
    ASSERT_EQ(modules.size(), 4u);
    for (const auto& m : modules) {
      EXPECT_TRUE(m.encrypted) << m.name;
      EXPECT_NE(m.text.find(" with ENCRYPTION "), std::string::npos) << m.name;
    }
  }

  Workplace place;
  std::unique_ptr<StoreServer> store;
};

TEST_F(Upgrade, WithoutStageRowRecordsOneAndRunsEveryStage) {
  prepare(at_stage(std::nullopt));
  Outcome o = upgrade_once();
  ASSERT_TRUE(o.clicked);
  EXPECT_EQ(o.boxes, e2e::upgrade_succeeded_boxes());
  EXPECT_FALSE(o.button_enabled_after);
  EXPECT_EQ(o.pointer_after, rt::Pointer::Arrow);

  std::vector<std::string> b = upgrade_batches(o);
  ASSERT_GE(b.size(), 3u);
  EXPECT_EQ(b[0], kStageRead);
  EXPECT_EQ(b[1], kBootstrap);
  EXPECT_EQ(b[2], kStageRead);
  EXPECT_EQ(list_batches(o), items_from(1));

  // The bootstrap row with its eight values; the markers moved it on.
  EXPECT_EQ(rows_of(store->rows("t_sys_system"), "UPGRADE_DATE"),
            std::vector<std::string>{"UPGRADE_DATE|UPGRADE_DATE|20170521|是||NULL|NULL|NULL"});
  expect_full_upgrade_result();
}

TEST_F(Upgrade, RowHoldingNoStageIsRecordedAgainAndEveryStageRuns) {
  for (bool system_key : {true, false}) {
    SCOPED_TRACE(system_key ? "t_sys_system keyed" : "t_sys_system without key");
    prepare(at_stage("00000000", system_key));
    Outcome o = upgrade_once();
    std::vector<std::string> b = upgrade_batches(o);
    ASSERT_GE(b.size(), 2u);
    EXPECT_EQ(b[1], kBootstrap);
    EXPECT_EQ(list_batches(o), items_from(1));
    EXPECT_EQ(o.boxes, e2e::upgrade_succeeded_boxes());
    // A keyed table refuses the second row; without a key it stays, and
    // each marker update moves both.
    std::vector<std::string> want(system_key ? 1 : 2, "20170521");
    EXPECT_EQ(store->system_values("UPGRADE_DATE"), want);
    if (system_key) expect_full_upgrade_result();
    store.reset();
  }
}

TEST_F(Upgrade, FirstStageAppliedRenumbersTheMotherAndBabyMenus) {
  prepare(at_stage("20151227"));
  const std::vector<std::string> grants_before = store->rows("t_sys_oper_grant");
  Outcome o = upgrade_once();
  std::vector<std::string> b = upgrade_batches(o);
  ASSERT_GE(b.size(), 2u);
  EXPECT_EQ(b[1], kStageRead);  // no bootstrap insert
  EXPECT_EQ(list_batches(o), items_from(17));
  EXPECT_EQ(o.boxes, e2e::upgrade_succeeded_boxes());

  const std::vector<std::string> menus = store->rows("t_sys_menu");
  for (int n = 1; n <= 6; ++n) {
    EXPECT_TRUE(rows_of(menus, "F10" + std::to_string(n)).empty());
    std::vector<std::string> m = rows_of(menus, "670" + std::to_string(n));
    ASSERT_EQ(m.size(), 1u);
    // The eighth value, normal_flag.
    std::vector<std::string> values;
    std::size_t from = 0;
    for (std::size_t bar; (bar = m[0].find('|', from)) != std::string::npos; from = bar + 1)
      values.push_back(m[0].substr(from, bar - from));
    EXPECT_EQ(values.at(7), "0") << m[0];
  }
  // Grants follow the menu id, not the entry: the old F1xx grants stay and
  // the renumbered entries, having none, are granted to every operator.
  for (int n = 1; n <= 6; ++n) {
    const std::string id = "670" + std::to_string(n);
    std::vector<std::string> g = grants_of(*store, id);
    EXPECT_EQ(g, (std::vector<std::string>{"1001|" + id + "|1|0|0|0|0|0|0|0|0|0|",
                                           "1002|" + id + "|1|0|0|0|0|0|0|0|0|0|",
                                           "1003|" + id + "|1|0|0|0|0|0|0|0|0|0|"}));
  }
  for (const std::string& g : grants_before) EXPECT_TRUE(contains(store->rows("t_sys_oper_grant"), g)) << g;
  expect_full_upgrade_result();
}

TEST_F(Upgrade, SecondStageAppliedRunsOnlyTheLastStageAtEveryUpgrade) {
  prepare(at_stage("20170521"));
  Outcome first = upgrade_once();
  EXPECT_EQ(list_batches(first), items_from(31));
  EXPECT_EQ(first.boxes, e2e::upgrade_succeeded_boxes());
  const std::string after_first = store->dump();
  const std::size_t menus_after_first = store->rows("t_sys_menu").size();

  Outcome second = upgrade_once();
  // The same items go out again; the menu entries are refused this time
  // by the menu table's key, and the grants find nothing new.
  EXPECT_EQ(list_batches(second), items_from(31));
  EXPECT_EQ(count_prefix(upgrade_batches(second), "insert into t_sys_menu"), 9u);
  EXPECT_EQ(store->rows("t_sys_menu").size(), menus_after_first);
  EXPECT_EQ(store->system_values("UPGRADE_DATE"), std::vector<std::string>{"20170521"});
  EXPECT_EQ(second.boxes, e2e::upgrade_succeeded_boxes());
  EXPECT_EQ(store->dump(), after_first);
  expect_full_upgrade_result();
}

TEST_F(Upgrade, UpdateScriptBatchTheClientCannotCarryWholeIsPassedOver) {
  prepare(at_stage("20170521"));
  Outcome first = upgrade_once();
  ASSERT_EQ(first.boxes, e2e::upgrade_succeeded_boxes());
  const std::vector<std::string> system_rows = store->rows("t_sys_system");

  // A zero byte before the WHERE, then bytes that are no GBK text: neither
  // batch reaches the server, and the batch after them still runs.
  const std::string cut("update t_sys_system set sys_var_value='V9' \0where sys_var_id='zzz'\r\nGO\r\n", 72);
  place.put("update.sql", cut +
                              "update t_sys_system set sys_var_value='\xFF' where sys_var_id='zzz'\r\nGO\r\n"
                              "update t_sys_system set sys_var_value='V7' where sys_var_id='zzz'\r\nGO\r\n");
  Outcome o = upgrade_once();
  EXPECT_EQ(o.boxes, e2e::upgrade_succeeded_boxes());
  EXPECT_EQ(store->rows("t_sys_system"), system_rows);
  EXPECT_EQ(count_prefix(upgrade_batches(o), "\n"), 1u);
  EXPECT_TRUE(contains(o.batches, "\nupdate t_sys_system set sys_var_value='V7' where sys_var_id='zzz'"));

  // The next upgrade finds its stage.
  Outcome next = upgrade_once();
  EXPECT_EQ(list_batches(next), items_from(31));
  EXPECT_EQ(store->system_values("UPGRADE_DATE"), std::vector<std::string>{"20170521"});
}

class UnrecognisedStage : public Upgrade, public ::testing::WithParamInterface<const char*> {};

// The stage text is none of the three, or the stage cannot be read.
void expect_reset_without_items(const std::vector<std::string>& b) {
  ASSERT_GE(b.size(), 2u);
  EXPECT_EQ(b[0], kStageRead);
  EXPECT_EQ(b[1], kStageRead);  // no bootstrap insert
  EXPECT_EQ(count_prefix(b, "update t_sys_system set sys_var_value ='00000000' where sys_var_id ='UPGRADE_DATE'"), 1u);
  for (int n = 1; n <= 68; ++n)
    if (n != 67) {
      EXPECT_FALSE(contains(b, item(n))) << "item " << n;
    }
  EXPECT_EQ(count_prefix(b, "\n"), 0u);  // nor update.sql
}

TEST_P(UnrecognisedStage, ResetsTheMarkerRunsNoItemAndStillLoads) {
  prepare(at_stage(std::string(GetParam())));
  const std::vector<std::string> menus_before = store->rows("t_sys_menu");

  Outcome o = upgrade_once();
  ASSERT_TRUE(o.clicked);
  expect_reset_without_items(upgrade_batches(o));
  EXPECT_EQ(store->system_values("UPGRADE_DATE"), std::vector<std::string>{"00000000"});
  EXPECT_EQ(store->rows("t_sys_menu"), menus_before);
  EXPECT_FALSE(store->engine().Table("store", "t_rm_market"));

  // The notice comes first; then the loader runs. Its procedures need no
  // table, but a trigger's table does not exist yet: the server refuses
  // that definition and the loader stops there.
  ASSERT_GE(o.boxes.size(), 3u);
  EXPECT_EQ(o.boxes[0], "提示: 数据库升级程序不全，升级操作被中断。重新升级一次");
  EXPECT_EQ(o.boxes[1].rfind("tr_rm_vip_small_log_MS.sql: ", 0), 0u) << o.boxes[1];
  EXPECT_EQ(o.boxes.back().rfind(kApp + ": 更新失败！(错误信息：", 0), 0u) << o.boxes.back();
  EXPECT_TRUE(store->engine().Module("store", "pr_rm_market_sum_MS"));
  EXPECT_FALSE(o.button_enabled_after);
  EXPECT_EQ(o.pointer_after, rt::Pointer::Arrow);

  // As the notice says, upgrading once more brings the database up to date.
  Outcome again = upgrade_once();
  EXPECT_EQ(list_batches(again), items_from(1));
  EXPECT_EQ(again.boxes, e2e::upgrade_succeeded_boxes());
  EXPECT_EQ(store->system_values("UPGRADE_DATE"), std::vector<std::string>{"20170521"});
  expect_full_upgrade_result();
}

INSTANTIATE_TEST_SUITE_P(Texts, UnrecognisedStage, ::testing::Values("20190110", ""), [](const auto& info) {
  std::string p = info.param;
  return p.empty() ? std::string("empty") : "d" + p;
});

TEST_F(Upgrade, StageThatCannotBeReadCountsAsUnrecognised) {
  prepare(at_stage("20170521"));
  upgrade_once();
  // Both reads of the stage fail (a lock time-out, say).
  store->engine().AddFault({"from t_sys_system where sys_var_id ='UPGRADE_DATE'", false,
                            storesim::MakeError(1222, 16, "Lock request time out period exceeded."), 2});
  Outcome o = upgrade_once();
  expect_reset_without_items(upgrade_batches(o));
  EXPECT_EQ(store->system_values("UPGRADE_DATE"), std::vector<std::string>{"00000000"});
  ASSERT_FALSE(o.boxes.empty());
  EXPECT_EQ(o.boxes[0], "提示: 数据库升级程序不全，升级操作被中断。重新升级一次");
  // The tables of the last stage exist by now, so the loader succeeds.
  EXPECT_EQ(o.boxes.back(), kApp + ": 更新成功！");
  EXPECT_FALSE(o.button_enabled_after);
}

TEST_F(Upgrade, NullStageValueReadsAsNoStage) {
  // The stage read turns a NULL value into "00000000": the row is recorded
  // again (refused by the key) and every stage runs.
  storesim::SampleOptions options = at_stage("00000000");
  options.null_upgrade_date = true;
  prepare(options);
  Outcome o = upgrade_once();
  std::vector<std::string> b = upgrade_batches(o);
  ASSERT_GE(b.size(), 2u);
  EXPECT_EQ(b[1], kBootstrap);
  EXPECT_EQ(list_batches(o), items_from(1));
  EXPECT_EQ(store->system_values("UPGRADE_DATE"), std::vector<std::string>{"20170521"});
  EXPECT_EQ(o.boxes, e2e::upgrade_succeeded_boxes());
}

TEST_F(Upgrade, SeveralStageRowsTheGreatestDecidesAndEveryOneMoves) {
  prepare(at_stage("20151227", /*system_key=*/false));
  ASSERT_EQ(store->run("insert into t_sys_system values ('UPGRADE_DATE', 'UPGRADE_DATE', '00000000', '是', '', null, "
                       "null, null)"),
            "");
  ASSERT_EQ(store->run("insert into t_sys_system values ('UPGRADE_DATE', 'UPGRADE_DATE', null, '是', '', null, null, "
                       "null)"),
            "");
  Outcome o = upgrade_once();
  EXPECT_EQ(list_batches(o), items_from(17));
  EXPECT_EQ(store->system_values("UPGRADE_DATE"), (std::vector<std::string>{"20170521", "20170521", "20170521"}));
  EXPECT_EQ(o.boxes, e2e::upgrade_succeeded_boxes());
}

TEST_F(Upgrade, ExistingTablesAndColumnsAreKeptAndTheListGoesOn) {
  prepare(at_stage("00000000"));
  // A store that made some of the objects its own way already.
  ASSERT_EQ(store->run("create table t_rm_market (com_no decimal(16, 0) not null, note varchar(30) null)"), "");
  ASSERT_EQ(store->run("insert into t_rm_market values (7, '自建市调表')"), "");
  ASSERT_EQ(store->run("alter table t_rm_vip_motherhood_identity add baby_name1 varchar(50) null"), "");
  ASSERT_EQ(store->run("alter table t_sys_operator add area_manager char(1) null"), "");

  Outcome o = upgrade_once();
  EXPECT_EQ(list_batches(o), items_from(1));
  EXPECT_EQ(o.boxes, e2e::upgrade_succeeded_boxes());

  auto market = store->engine().Table("store", "t_rm_market");
  ASSERT_TRUE(market);
  ASSERT_EQ(market->columns.size(), 2u);
  EXPECT_EQ(store->rows("t_rm_market"), std::vector<std::string>{"7|自建市调表"});
  auto identity = store->engine().Table("store", "t_rm_vip_motherhood_identity");
  ASSERT_TRUE(identity && identity->Column("baby_name1"));
  EXPECT_EQ(identity->Column("baby_name1")->type, "varchar(50)");
  EXPECT_EQ(identity->Column("baby_name1")->default_text, "");
  // The items after the refused ones ran.
  EXPECT_TRUE(identity->Column("baby_rem1"));
  auto op = store->engine().Table("store", "t_sys_operator");
  ASSERT_TRUE(op && op->Column("area_manager"));
  EXPECT_EQ(op->Column("area_manager")->default_text, "");
  EXPECT_TRUE(store->engine().Table("store", "t_im_sheet_master")->Column("valid_date"));
  EXPECT_EQ(store->system_values("UPGRADE_DATE"), std::vector<std::string>{"20170521"});
}

TEST_F(Upgrade, WithoutVersionRowNoneIsCreated) {
  storesim::SampleOptions options = at_stage("00000000");
  options.version_row = false;
  prepare(options);
  Outcome o = upgrade_once();
  EXPECT_TRUE(contains(list_batches(o),
                       "update t_sys_system set sys_var_value ='V8 20190110' where sys_var_id ='DataBase_Version'"));
  EXPECT_TRUE(store->system_values("DataBase_Version").empty());
  EXPECT_EQ(o.boxes, e2e::upgrade_succeeded_boxes());
}

TEST_F(Upgrade, GrantsGoOnlyToMenusWithoutAnyGrantOncePerOperator) {
  prepare(at_stage("20170521"));
  // A menu table without its key, holding one id twice; a menu entry that
  // one operator has a grant for; and one that nobody has.
  ASSERT_EQ(store->run("alter table t_sys_menu drop constraint PK_t_sys_menu"), "");
  for (int i = 0; i < 2; ++i)
    ASSERT_EQ(store->run("insert into t_sys_menu values ('X002', '重复菜单', 'w_x2', 'BROW', 'S', '', '111111', '1', "
                         "'0', '0', '0', null)"),
              "");
  ASSERT_EQ(store->run("insert into t_sys_menu values ('X001', '已授权菜单', 'w_x1', 'BROW', 'S', '', '111111', '1', "
                       "'0', '0', '0', null)"),
            "");
  ASSERT_EQ(store->run("insert into t_sys_oper_grant values ('1002', 'X001', '1', '1', '1', '1', '1', '1', '1', '1', "
                       "'1', '1', '')"),
            "");
  const std::vector<std::string> grants_before = store->rows("t_sys_oper_grant");

  Outcome first = upgrade_once();
  EXPECT_EQ(first.boxes, e2e::upgrade_succeeded_boxes());
  EXPECT_EQ(grants_of(*store, "X001"), std::vector<std::string>{"1002|X001|1|1|1|1|1|1|1|1|1|1|"});
  EXPECT_EQ(grants_of(*store, "X002"), (std::vector<std::string>{"1001|X002|1|0|0|0|0|0|0|0|0|0|",
                                                                  "1002|X002|1|0|0|0|0|0|0|0|0|0|",
                                                                  "1003|X002|1|0|0|0|0|0|0|0|0|0|"}));
  // 3102 had no grant in the sample; 3101 had some and gets no more.
  EXPECT_EQ(grants_of(*store, "3102").size(), 3u);
  std::vector<std::string> g3101;
  for (const std::string& g : grants_before)
    if (g.find("|3101|") != std::string::npos) g3101.push_back(g);
  EXPECT_EQ(grants_of(*store, "3101"), g3101);
  for (const std::string& g : grants_before) EXPECT_TRUE(contains(store->rows("t_sys_oper_grant"), g)) << g;

  // Run again, the insert finds nothing left to grant.
  const std::vector<std::string> grants_after_first = store->rows("t_sys_oper_grant");
  Outcome second = upgrade_once();
  EXPECT_EQ(count_prefix(second.batches, kGrantInsertHead), 1u);
  EXPECT_EQ(store->rows("t_sys_oper_grant"), grants_after_first);
}

TEST_F(Upgrade, UntickedProcTriggerBoxSkipsTheLoaderButNotTheFinalCommit) {
  prepare(at_stage("00000000"));
  Outcome o = upgrade_once(/*developer=*/true, /*untick_proc=*/true);
  ASSERT_TRUE(o.clicked);
  EXPECT_TRUE(o.boxes.empty());
  EXPECT_TRUE(store->engine().Modules("store").empty());
  EXPECT_EQ(store->system_values("UPGRADE_DATE"), std::vector<std::string>{"20170521"});
  EXPECT_FALSE(o.button_enabled_after);

  // After the grant insert: autocommit off (a new transaction), the final
  // COMMIT, and the commit of the disconnect; nothing of the loader.
  auto grant = std::find_if(o.log.begin(), o.log.end(), [](const storesim::LoggedRequest& r) {
    return r.kind == storesim::RequestKind::Batch && r.text.rfind(kGrantInsertHead, 0) == 0;
  });
  ASSERT_NE(grant, o.log.end());
  std::vector<storesim::RequestKind> tail;
  for (auto it = grant + 1; it != o.log.end(); ++it) tail.push_back(it->kind);
  EXPECT_EQ(tail, (std::vector<storesim::RequestKind>{storesim::RequestKind::Begin, storesim::RequestKind::Commit,
                                                      storesim::RequestKind::Commit}));
}

}  // namespace
