// What the store database server receives from one run of the program
// that upgrades from "00000000": every request in order, each statement
// with its own text. The table and index definitions are compared up to
// layout (blanks, tabs, line ends and the brackets around names mean
// nothing to the server); every other text must match byte for byte.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "rt/text.h"
#include "support/program_run.h"

namespace {

using e2e::ProgramRun;
using e2e::StoreServer;
using e2e::Workplace;

struct Expected {
  std::string entry;    // "login ...", "batch: <text>", "begin", "commit", ...
  bool layout = false;  // a definition: compared up to layout
};

// The text with its layout dropped: brackets go, runs of blanks, tabs and
// line ends become one blank, and no blank stays next to ( ) , or at the ends.
std::string without_layout(const std::string& s) {
  std::string collapsed;
  for (char c : s) {
    if (c == '[' || c == ']') continue;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (!collapsed.empty() && collapsed.back() != ' ') collapsed += ' ';
    } else {
      collapsed += c;
    }
  }
  auto tight = [](char c) { return c == '(' || c == ')' || c == ','; };
  std::string out;
  for (std::size_t i = 0; i < collapsed.size(); ++i) {
    if (collapsed[i] == ' ' && (out.empty() || tight(out.back()) || i + 1 == collapsed.size() ||
                                tight(collapsed[i + 1])))
      continue;
    out += collapsed[i];
  }
  return out;
}

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
Expected definition(const std::string& text) { return {"batch: " + text, true}; }

const char* const kMenuColumns =
    "insert into t_sys_menu ( menu_id , menu_name , menu_code , menu_type , open_type , branch_flag , normal_flag , "
    "flag1 , flag2 , flag3 ) values ( ";

// The statements of the upgrade's list, from stage "00000000" on.
std::vector<Expected> statement_list() {
  return {
      // stage "00000000"
      batch("insert into t_sys_menu values ( 'B404' , '系统重新建账' , 'w_sys_system_reset' , 'OTHR' , 'R' , 'NULL' , "
            "'110000' , '0' , '0' , '0' , '0' , NULL )"),
      batch("insert into t_sys_menu values ( '3307' , '市调管理' , 'w_market' , 'OTHR' , 'R' , null , '111111' , '0' , "
            "'0' , '0' , '0' , null )"),
      definition("CREATE TABLE dbo.t_rm_market (com_no decimal(16, 0) IDENTITY (1, 1) NOT NULL, "
                 "branch_no varchar(6) COLLATE Chinese_PRC_CI_AS NULL, item_no varchar(20) COLLATE Chinese_PRC_CI_AS "
                 "NULL, price decimal(16, 4) NULL, vip_price decimal(16, 4) NULL, sale_price decimal(16, 4) NULL, "
                 "sale_qty decimal(16, 4) NULL, oper_id varchar(4) COLLATE Chinese_PRC_CI_AS NULL, oper_date datetime "
                 "NULL, other1 varchar(100) COLLATE Chinese_PRC_CI_AS NULL, other2 varchar(100) COLLATE "
                 "Chinese_PRC_CI_AS NULL) ON PRIMARY"),
      definition("ALTER TABLE dbo.t_rm_market WITH NOCHECK ADD CONSTRAINT PK_t_rm_market PRIMARY KEY CLUSTERED "
                 "(com_no) ON PRIMARY"),
      definition("ALTER TABLE dbo.t_rm_market ADD CONSTRAINT DF__t_rm_mark__price__2D288360 DEFAULT (0) FOR price, "
                 "CONSTRAINT DF__t_rm_mark__vip_p__2E1CA799 DEFAULT (0) FOR vip_price, "
                 "CONSTRAINT DF__t_rm_mark__sale___2F10CBD2 DEFAULT (0) FOR sale_price, "
                 "CONSTRAINT DF__t_rm_mark__sale___3004F00B DEFAULT (0) FOR sale_qty"),
      definition("CREATE TABLE dbo.t_rm_market_detail (com_no decimal(16, 0) NOT NULL, opponent varchar(40) COLLATE "
                 "Chinese_PRC_CI_AS NULL, opp_price decimal(16, 4) NULL, opp_vipprice decimal(16, 4) NULL, "
                 "other1 varchar(100) COLLATE Chinese_PRC_CI_AS NULL, other2 varchar(100) COLLATE Chinese_PRC_CI_AS "
                 "NULL) ON PRIMARY"),
      definition("ALTER TABLE dbo.t_rm_market_detail ADD CONSTRAINT DF__t_rm_mark__opp_p__412F7C0D DEFAULT (0) FOR "
                 "opp_price, CONSTRAINT DF__t_rm_mark__opp_v__4223A046 DEFAULT (0) FOR opp_vipprice"),
      batch("drop   INDEX t_sys_pos_status_history.Index_1"),
      definition("CREATE TABLE dbo.t_rm_casher_daysum_giv (oper_date char(10) COLLATE Chinese_PRC_CI_AS NOT NULL, "
                 "oper_id varchar(6) COLLATE Chinese_PRC_CI_AS NOT NULL, branch_no char(6) COLLATE Chinese_PRC_CI_AS "
                 "NOT NULL, giv_amt numeric(16, 4) NULL, com_flag char(1) COLLATE Chinese_PRC_CI_AS NULL) ON PRIMARY"),
      definition("ALTER TABLE dbo.t_rm_casher_daysum_giv WITH NOCHECK ADD PRIMARY KEY CLUSTERED (oper_date, oper_id, "
                 "branch_no) ON PRIMARY"),
      definition("ALTER TABLE dbo.t_rm_casher_daysum_giv ADD CONSTRAINT DF__t_rm_cash__giv_a__06C7A760 DEFAULT (0) "
                 "FOR giv_amt"),
      definition("CREATE INDEX i_daysum_giv_oper_date ON dbo.t_rm_casher_daysum_giv(oper_date) ON PRIMARY"),
      definition("CREATE INDEX i_daysum_giv_oper_id ON dbo.t_rm_casher_daysum_giv(oper_id) ON PRIMARY"),
      definition("CREATE INDEX i_daysum_giv_branch ON dbo.t_rm_casher_daysum_giv(branch_no) ON PRIMARY"),
      definition("CREATE INDEX i_daysum_giv_com_flag ON dbo.t_rm_casher_daysum_giv(com_flag) ON PRIMARY"),
      batch("update t_sys_system set sys_var_value ='20151227' where sys_var_id ='UPGRADE_DATE'"),
      // stage "20151227"
      batch("update t_sys_menu set menu_id ='6701' where menu_id ='F101'"),
      batch("update t_sys_menu set menu_id ='6702' where menu_id ='F102'"),
      batch("update t_sys_menu set menu_id ='6703' where menu_id ='F103'"),
      batch("update t_sys_menu set menu_id ='6704' where menu_id ='F104'"),
      batch("update t_sys_menu set menu_id ='6705' where menu_id ='F105'"),
      batch("update t_sys_menu set menu_id ='6706' where menu_id ='F106'"),
      batch("update t_sys_menu set normal_flag ='0' where menu_id like '67%'"),
      batch("alter table t_rm_vip_motherhood_identity add baby_name1 varchar(20) default('') null"),
      batch("alter table t_rm_vip_motherhood_identity add baby_rem1 varchar(20) default('') null"),
      batch("alter table t_rm_vip_motherhood_identity add baby_sex1 varchar(2) default('') null"),
      batch("alter table t_rm_vip_motherhood_identity add baby_birthday_date1 datetime  null"),
      batch("alter table t_bd_appitem_info add measure_flag char(1) default('0') null"),
      batch("alter table t_bd_supcust_item add num numeric(16,4) default(0) null"),
      batch("update t_sys_system set sys_var_value ='20170521' where sys_var_id ='UPGRADE_DATE'"),
      // stage "20170521"
      batch("insert into t_sys_menu values ( '6407' , '储值卡余额查询' , 'w_rm_vip_savingamt_query' , 'BROW' , 'S' , "
            "'' , '111100' , '0' , '0' , '0' , '0' , NULL )"),
      batch("insert into t_sys_menu values ( '6408' , '会员积分查询' , 'w_vip_query_acclist' , 'BROW' , 'S' , '' , "
            "'111101' , '0' , '0' , '0' , '0' , NULL )"),
      definition("CREATE TABLE dbo.t_vipday_item (item_no varchar(20) NOT NULL, dis numeric(10, 2) NOT NULL) ON "
                 "PRIMARY"),
      definition("ALTER TABLE dbo.t_vipday_item WITH NOCHECK ADD CONSTRAINT pk_vipday_item PRIMARY KEY CLUSTERED "
                 "(item_no) ON PRIMARY"),
      batch("alter table t_sys_operator alter column cash_grant varchar(30) null"),
      batch("update t_sys_menu set branch_flag ='111101' where menu_id ='3101'"),
      batch("create table t_rm_vip_small(card_id varchar(20) not null,small_amt u_amount  null,oper_id u_oper_id "
            "null,oper_date u_date null,branch_no u_branch_no null,)ON [PRIMARY]"),
      definition("ALTER TABLE dbo.t_rm_vip_small WITH NOCHECK ADD CONSTRAINT PK_t_rm_vip_small PRIMARY KEY CLUSTERED "
                 "(card_id) ON PRIMARY"),
      definition("CREATE TABLE dbo.t_rm_vip_small_log (flow_id decimal(18, 0) IDENTITY (1, 1) NOT NULL, card_id "
                 "varchar(20) NOT NULL, small_amt u_amount NULL, oper_id u_oper_id NULL, oper_date u_date NULL, "
                 "branch_no u_branch_no NULL, db_no char(1) NULL, flow_no varchar(18) NULL, memo varchar(50) NULL) ON "
                 "PRIMARY"),
      definition("ALTER TABLE dbo.t_rm_vip_small_log WITH NOCHECK ADD CONSTRAINT PK_t_rm_vip_small_log PRIMARY KEY "
                 "CLUSTERED (flow_id) ON PRIMARY"),
      batch("insert into t_sys_menu values ( '6409' , '会员零钱包查询' , 'w_vip_small_query' , 'BROW' , 'S' , '' , "
            "'111100' , '0' , '0' , '0' , '0' , NULL )"),
      definition(std::string(kMenuColumns) +
                 "'5701' , '客户新增回访' , 'w_wm_cus_visit_new' , 'OTHR' , 'R' , '111101' , '0' , '0' , '0' , '0' )"),
      definition(std::string(kMenuColumns) +
                 "'5702' , '客户回访' , 'w_wm_cus_visit' , 'EDIT' , 'R' , '111101' , '0' , '0' , '0' , '0' )"),
      definition(std::string(kMenuColumns) +
                 "'5703' , '客户回访分析' , 'w_wm_cus_analyze_visit' , 'BROW' , 'S' , '111101' , '0' , '0' , '0' , "
                 "'0' )"),
      definition(std::string(kMenuColumns) +
                 "'5704' , '客户回访查询' , 'w_wm_cus_visit_query' , 'BROW' , 'S' , '111101' , '0' , '0' , '0' , "
                 "'0' )"),
      definition("CREATE TABLE dbo.t_wm_vip_visit (visit_id numeric(10, 0) IDENTITY (1, 1) NOT NULL, "
                 "card_id varchar(20) COLLATE Chinese_PRC_CI_AS NOT NULL, visit_typeno char(2) COLLATE "
                 "Chinese_PRC_CI_AS NULL, visit_type char(20) COLLATE Chinese_PRC_CI_AS NULL, visit_way char(10) "
                 "COLLATE Chinese_PRC_CI_AS NULL, item_name char(40) COLLATE Chinese_PRC_CI_AS NULL, buy_emporium "
                 "varchar(60) COLLATE Chinese_PRC_CI_AS NULL, buy_date datetime NULL, satisfaction_degree char(10) "
                 "COLLATE Chinese_PRC_CI_AS NULL, advice_type char(1) COLLATE Chinese_PRC_CI_AS NULL, visit_content "
                 "varchar(512) COLLATE Chinese_PRC_CI_AS NULL, visit_oper_id char(4) COLLATE Chinese_PRC_CI_AS NULL, "
                 "visit_date datetime NULL, com_flag char(1) COLLATE Chinese_PRC_CI_AS NULL, branch_no u_branch_no "
                 "NULL, flow_no u_sheet_no NULL, visit_subjectno char(2) COLLATE Chinese_PRC_CI_AS NULL, "
                 "visit_subject varchar(255) COLLATE Chinese_PRC_CI_AS NULL, visit_status varchar(1) COLLATE "
                 "Chinese_PRC_CI_AS NULL) ON PRIMARY"),
      definition("ALTER TABLE dbo.t_wm_vip_visit WITH NOCHECK ADD CONSTRAINT PK_t_wm_vip_visit PRIMARY KEY CLUSTERED "
                 "(visit_id) ON PRIMARY"),
      definition("ALTER TABLE dbo.t_wm_vip_visit ADD CONSTRAINT DF__t_wm_cus___visit__2BD9307E DEFAULT ('1') FOR "
                 "visit_status"),
      batch("alter table t_sys_operator add area_manager char(1) default(0)  null"),
      batch("alter table t_im_sheet_master add valid_date datetime null"),
      batch("alter table t_im_sheet_master add order_status char(1)  null"),
      batch("alter table t_im_sheet_master add modified_id varchar(4)  null"),
      batch("alter table t_im_sheet_master add modified_date datetime  null"),
      batch("alter table t_im_sheet_master add md_flag varchar(1)default('0')  null"),
      batch("alter table t_cm_im_sheet_master add valid_date datetime null"),
      batch("alter table t_cm_im_sheet_master add order_status char(1)  null"),
      batch("alter table t_cm_im_sheet_master add modified_id varchar(4)  null"),
      batch("alter table t_cm_im_sheet_master add modified_date datetime  null"),
      batch("alter table t_cm_im_sheet_master add md_flag varchar(1)default('0')  null"),
      definition("CREATE TABLE dbo.t_rm_vip_saveset (flow_id numeric(14, 0) IDENTITY (1, 1) NOT NULL, start_amt "
                 "numeric(16, 4) NULL, end_amt numeric(16, 4) NULL, begin_date datetime NOT NULL, end_date datetime "
                 "NOT NULL, send_amt numeric(16, 4) NULL, branch_no u_branch_no NULL, set_type char(1) default('0') "
                 "not null, item_clsno u_item_clsno null) ON PRIMARY"),
      definition("ALTER TABLE dbo.t_rm_vip_saveset WITH NOCHECK ADD CONSTRAINT PK_T_RM_VIP_SAVESET PRIMARY KEY "
                 "CLUSTERED (flow_id, begin_date, end_date) ON PRIMARY"),
      batch("insert into t_sys_menu values ( '6123' , '全场储值充值方案' , 'w_vip_saving_favor' , 'EDIT' , 'S' , '' , "
            "'110000' , '0' , '0' , '0' , '0' , NULL )"),
      batch("alter table t_bd_item_info add init_stock numeric(16,4) default(0) null"),
      batch("insert into t_sys_menu values ( '6124' , '批量积分冲减' , 'w_vip_consume_batch' , 'OTHR' , 'R' , '' , "
            "'110000' , '0' , '0' , '0' , '0' , NULL )"),
      batch("alter table t_rm_protion_flow add giftcert_no varchar(20) null"),
      batch("update t_sys_system set sys_var_value ='V8 20190110' where sys_var_id ='DataBase_Version'"),
  };
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

  const std::string stage_read =
      "select isnull ( max ( sys_var_value ) , '00000000' ) from t_sys_system where sys_var_id ='UPGRADE_DATE'";
  std::vector<Expected> want = {
      {"login tandrel to store"},
      // The ODBC client sets the lock ("RU") as the isolation level.
      batch("SET TRANSACTION ISOLATION LEVEL READ UNCOMMITTED"),
      batch("use master"),
      batch("use store"),
      batch(stage_read),
      batch("insert t_sys_system values ( 'UPGRADE_DATE' , 'UPGRADE_DATE' , '00000000' , '是' , '' , null , null , "
            "null )"),
      batch(stage_read),
  };
  for (Expected& e : statement_list()) want.push_back(e);
  want.push_back(batch("\n-- 门店参数\nupdate t_sys_system set sys_var_value = '1' where sys_var_id = 'PRINT_COPIES'"));
  want.push_back(batch("\n\nupdate t_sys_menu set flag3 = '0' where flag3 is null"));
  want.push_back(batch("insert t_sys_oper_grant select distinct oper_id , t_sys_menu.menu_id , '1' , '0' , '0' , "
                       "'0' , '0' , '0' , '0' , '0' , '0' , '0' , '' from t_sys_operator , t_sys_menu where "
                       "t_sys_menu.menu_id not in ( select func_id from t_sys_oper_grant )"));
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
      EXPECT_EQ(without_layout(got), without_layout(want[i].entry)) << "request " << i + 1;
    } else {
      EXPECT_EQ(got, want[i].entry) << "request " << i + 1;
    }
  }
  EXPECT_EQ(log.size(), want.size());
  for (std::size_t i = n; i < log.size(); ++i) ADD_FAILURE() << "unexpected request " << i + 1 << ": " << describe(log[i]);
}

}  // namespace
