// The conversation of a whole upgrade with the database: every statement,
// COMMIT and autocommit switch, in order, against the list the upgrade must
// send. CREATE and ALTER TABLE texts are compared without their layout,
// every other text byte for byte (GBK).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "rt/text.h"
#include "support/stage_db.h"
#include "upgrade/globals.h"
#include "upgrade/stage_upgrade.h"

namespace {

using stagetest::Op;
using stagetest::StageAnswer;
using stagetest::StageHarness;
using stagetest::without_layout;

struct Want {
  std::string kind;
  std::string text;     // GBK
  bool layout = false;  // compare without layout
  int item = 0;         // list item the operation belongs to (0: none)
};

struct Item {
  int number;
  const char* text;  // UTF-8; nullptr for the update script run
  bool layout;
  bool commit;
};

constexpr bool kExact = false;
constexpr bool kLayout = true;
constexpr bool kCommit = true;
constexpr bool kNoCommit = false;

// The upgrade statements as the store database must receive them.
const std::vector<Item>& wanted_items() {
  static const std::vector<Item> items = {
      {1, "insert into t_sys_menu values ( 'B404' , '系统重新建账' , 'w_sys_system_reset' , 'OTHR' , 'R' , 'NULL' , '110000' , '0' , '0' , '0' , '0' , NULL )", kExact, kCommit},
      {2, "insert into t_sys_menu values ( '3307' , '市调管理' , 'w_market' , 'OTHR' , 'R' , null , '111111' , '0' , '0' , '0' , '0' , null )", kExact, kCommit},
      {3, "CREATE TABLE [dbo].[t_rm_market] ([com_no] [decimal](16,0) IDENTITY(1,1) NOT NULL, [branch_no] [varchar](6) COLLATE Chinese_PRC_CI_AS NULL, "
          "[item_no] [varchar](20) COLLATE Chinese_PRC_CI_AS NULL, [price] [decimal](16,4) NULL, [vip_price] [decimal](16,4) NULL, "
          "[sale_price] [decimal](16,4) NULL, [sale_qty] [decimal](16,4) NULL, [oper_id] [varchar](4) COLLATE Chinese_PRC_CI_AS NULL, "
          "[oper_date] [datetime] NULL, [other1] [varchar](100) COLLATE Chinese_PRC_CI_AS NULL, [other2] [varchar](100) COLLATE Chinese_PRC_CI_AS NULL) ON [PRIMARY]",
       kLayout, kCommit},
      {4, "ALTER TABLE [dbo].[t_rm_market] WITH NOCHECK ADD CONSTRAINT [PK_t_rm_market] PRIMARY KEY CLUSTERED ([com_no]) ON [PRIMARY]", kLayout, kCommit},
      {5, "ALTER TABLE [dbo].[t_rm_market] ADD CONSTRAINT [DF__t_rm_mark__price__2D288360] DEFAULT (0) FOR [price], "
          "CONSTRAINT [DF__t_rm_mark__vip_p__2E1CA799] DEFAULT (0) FOR [vip_price], CONSTRAINT [DF__t_rm_mark__sale___2F10CBD2] DEFAULT (0) FOR [sale_price], "
          "CONSTRAINT [DF__t_rm_mark__sale___3004F00B] DEFAULT (0) FOR [sale_qty]",
       kLayout, kCommit},
      {6, "CREATE TABLE [dbo].[t_rm_market_detail] ([com_no] [decimal](16,0) NOT NULL, [opponent] [varchar](40) COLLATE Chinese_PRC_CI_AS NULL, "
          "[opp_price] [decimal](16,4) NULL, [opp_vipprice] [decimal](16,4) NULL, [other1] [varchar](100) COLLATE Chinese_PRC_CI_AS NULL, "
          "[other2] [varchar](100) COLLATE Chinese_PRC_CI_AS NULL) ON [PRIMARY]",
       kLayout, kCommit},
      {7, "ALTER TABLE [dbo].[t_rm_market_detail] ADD CONSTRAINT [DF__t_rm_mark__opp_p__412F7C0D] DEFAULT (0) FOR [opp_price], "
          "CONSTRAINT [DF__t_rm_mark__opp_v__4223A046] DEFAULT (0) FOR [opp_vipprice]",
       kLayout, kCommit},
      {8, "drop   INDEX t_sys_pos_status_history.Index_1", kExact, kCommit},
      {9, "CREATE TABLE [dbo].[t_rm_casher_daysum_giv] ([oper_date] [char](10) COLLATE Chinese_PRC_CI_AS NOT NULL, "
          "[oper_id] [varchar](6) COLLATE Chinese_PRC_CI_AS NOT NULL, [branch_no] [char](6) COLLATE Chinese_PRC_CI_AS NOT NULL, "
          "[giv_amt] [numeric](16,4) NULL, [com_flag] [char](1) COLLATE Chinese_PRC_CI_AS NULL) ON [PRIMARY]",
       kLayout, kCommit},
      {10, "ALTER TABLE [dbo].[t_rm_casher_daysum_giv] WITH NOCHECK ADD PRIMARY KEY CLUSTERED ([oper_date], [oper_id], [branch_no]) ON [PRIMARY]", kLayout, kCommit},
      {11, "ALTER TABLE [dbo].[t_rm_casher_daysum_giv] ADD CONSTRAINT [DF__t_rm_cash__giv_a__06C7A760] DEFAULT (0) FOR [giv_amt]", kLayout, kCommit},
      {12, "CREATE INDEX [i_daysum_giv_oper_date] ON [dbo].[t_rm_casher_daysum_giv]([oper_date]) ON [PRIMARY]", kLayout, kCommit},
      {13, "CREATE INDEX [i_daysum_giv_oper_id] ON [dbo].[t_rm_casher_daysum_giv]([oper_id]) ON [PRIMARY]", kLayout, kCommit},
      {14, "CREATE INDEX [i_daysum_giv_branch] ON [dbo].[t_rm_casher_daysum_giv]([branch_no]) ON [PRIMARY]", kLayout, kCommit},
      {15, "CREATE INDEX [i_daysum_giv_com_flag] ON [dbo].[t_rm_casher_daysum_giv]([com_flag]) ON [PRIMARY]", kLayout, kCommit},
      {16, "update t_sys_system set sys_var_value ='20151227' where sys_var_id ='UPGRADE_DATE'", kExact, kCommit},
      {17, "update t_sys_menu set menu_id ='6701' where menu_id ='F101'", kExact, kNoCommit},
      {18, "update t_sys_menu set menu_id ='6702' where menu_id ='F102'", kExact, kNoCommit},
      {19, "update t_sys_menu set menu_id ='6703' where menu_id ='F103'", kExact, kNoCommit},
      {20, "update t_sys_menu set menu_id ='6704' where menu_id ='F104'", kExact, kNoCommit},
      {21, "update t_sys_menu set menu_id ='6705' where menu_id ='F105'", kExact, kNoCommit},
      {22, "update t_sys_menu set menu_id ='6706' where menu_id ='F106'", kExact, kNoCommit},
      {23, "update t_sys_menu set normal_flag ='0' where menu_id like '67%'", kExact, kCommit},
      {24, "alter table t_rm_vip_motherhood_identity add baby_name1 varchar(20) default('') null", kExact, kCommit},
      {25, "alter table t_rm_vip_motherhood_identity add baby_rem1 varchar(20) default('') null", kExact, kCommit},
      {26, "alter table t_rm_vip_motherhood_identity add baby_sex1 varchar(2) default('') null", kExact, kCommit},
      {27, "alter table t_rm_vip_motherhood_identity add baby_birthday_date1 datetime  null", kExact, kCommit},
      {28, "alter table t_bd_appitem_info add measure_flag char(1) default('0') null", kExact, kCommit},
      {29, "alter table t_bd_supcust_item add num numeric(16,4) default(0) null", kExact, kCommit},
      {30, "update t_sys_system set sys_var_value ='20170521' where sys_var_id ='UPGRADE_DATE'", kExact, kCommit},
      {31, "insert into t_sys_menu values ( '6407' , '储值卡余额查询' , 'w_rm_vip_savingamt_query' , 'BROW' , 'S' , '' , '111100' , '0' , '0' , '0' , '0' , NULL )", kExact, kCommit},
      {32, "insert into t_sys_menu values ( '6408' , '会员积分查询' , 'w_vip_query_acclist' , 'BROW' , 'S' , '' , '111101' , '0' , '0' , '0' , '0' , NULL )", kExact, kCommit},
      {33, "CREATE TABLE [dbo].[t_vipday_item] ([item_no] [varchar](20) NOT NULL, [dis] [numeric](10,2) NOT NULL) ON [PRIMARY]", kLayout, kCommit},
      {34, "ALTER TABLE [dbo].[t_vipday_item] WITH NOCHECK ADD CONSTRAINT [pk_vipday_item] PRIMARY KEY CLUSTERED ([item_no]) ON [PRIMARY]", kLayout, kCommit},
      {35, "alter table t_sys_operator alter column cash_grant varchar(30) null", kExact, kCommit},
      {36, "update t_sys_menu set branch_flag ='111101' where menu_id ='3101'", kExact, kCommit},
      {37, "create table t_rm_vip_small(card_id varchar(20) not null,small_amt u_amount  null,oper_id u_oper_id null,oper_date u_date null,branch_no u_branch_no null,)ON [PRIMARY]", kExact, kCommit},
      {38, "ALTER TABLE [dbo].[t_rm_vip_small] WITH NOCHECK ADD CONSTRAINT [PK_t_rm_vip_small] PRIMARY KEY CLUSTERED ([card_id]) ON [PRIMARY]", kLayout, kCommit},
      {39, "CREATE TABLE [dbo].[t_rm_vip_small_log] ([flow_id] [decimal](18,0) IDENTITY(1,1) NOT NULL, [card_id] [varchar](20) NOT NULL, "
           "[small_amt] [u_amount] NULL, [oper_id] [u_oper_id] NULL, [oper_date] [u_date] NULL, [branch_no] [u_branch_no] NULL, "
           "[db_no] [char](1) NULL, [flow_no] [varchar](18) NULL, [memo] [varchar](50) NULL) ON [PRIMARY]",
       kLayout, kCommit},
      {40, "ALTER TABLE [dbo].[t_rm_vip_small_log] WITH NOCHECK ADD CONSTRAINT [PK_t_rm_vip_small_log] PRIMARY KEY CLUSTERED ([flow_id]) ON [PRIMARY]", kLayout, kCommit},
      {41, "insert into t_sys_menu values ( '6409' , '会员零钱包查询' , 'w_vip_small_query' , 'BROW' , 'S' , '' , '111100' , '0' , '0' , '0' , '0' , NULL )", kExact, kCommit},
      {42, "insert into t_sys_menu ( menu_id , menu_name , menu_code , menu_type , open_type , branch_flag , normal_flag , flag1 , flag2 , flag3 ) "
           "values ( '5701' , '客户新增回访' , 'w_wm_cus_visit_new' , 'OTHR' , 'R' , '111101' , '0' , '0' , '0' , '0' )",
       kLayout, kCommit},
      {43, "insert into t_sys_menu ( menu_id , menu_name , menu_code , menu_type , open_type , branch_flag , normal_flag , flag1 , flag2 , flag3 ) "
           "values ( '5702' , '客户回访' , 'w_wm_cus_visit' , 'EDIT' , 'R' , '111101' , '0' , '0' , '0' , '0' )",
       kLayout, kCommit},
      {44, "insert into t_sys_menu ( menu_id , menu_name , menu_code , menu_type , open_type , branch_flag , normal_flag , flag1 , flag2 , flag3 ) "
           "values ( '5703' , '客户回访分析' , 'w_wm_cus_analyze_visit' , 'BROW' , 'S' , '111101' , '0' , '0' , '0' , '0' )",
       kLayout, kCommit},
      {45, "insert into t_sys_menu ( menu_id , menu_name , menu_code , menu_type , open_type , branch_flag , normal_flag , flag1 , flag2 , flag3 ) "
           "values ( '5704' , '客户回访查询' , 'w_wm_cus_visit_query' , 'BROW' , 'S' , '111101' , '0' , '0' , '0' , '0' )",
       kLayout, kCommit},
      {46, "CREATE TABLE [dbo].[t_wm_vip_visit] ([visit_id] [numeric](10,0) IDENTITY(1,1) NOT NULL, [card_id] [varchar](20) COLLATE Chinese_PRC_CI_AS NOT NULL, "
           "[visit_typeno] [char](2) COLLATE Chinese_PRC_CI_AS NULL, [visit_type] [char](20) COLLATE Chinese_PRC_CI_AS NULL, "
           "[visit_way] [char](10) COLLATE Chinese_PRC_CI_AS NULL, [item_name] [char](40) COLLATE Chinese_PRC_CI_AS NULL, "
           "[buy_emporium] [varchar](60) COLLATE Chinese_PRC_CI_AS NULL, [buy_date] [datetime] NULL, "
           "[satisfaction_degree] [char](10) COLLATE Chinese_PRC_CI_AS NULL, [advice_type] [char](1) COLLATE Chinese_PRC_CI_AS NULL, "
           "[visit_content] [varchar](512) COLLATE Chinese_PRC_CI_AS NULL, [visit_oper_id] [char](4) COLLATE Chinese_PRC_CI_AS NULL, "
           "[visit_date] [datetime] NULL, [com_flag] [char](1) COLLATE Chinese_PRC_CI_AS NULL, [branch_no] [u_branch_no] NULL, "
           "[flow_no] [u_sheet_no] NULL, [visit_subjectno] [char](2) COLLATE Chinese_PRC_CI_AS NULL, "
           "[visit_subject] [varchar](255) COLLATE Chinese_PRC_CI_AS NULL, [visit_status] [varchar](1) COLLATE Chinese_PRC_CI_AS NULL) ON [PRIMARY]",
       kLayout, kCommit},
      {47, "ALTER TABLE [dbo].[t_wm_vip_visit] WITH NOCHECK ADD CONSTRAINT [PK_t_wm_vip_visit] PRIMARY KEY CLUSTERED ([visit_id]) ON [PRIMARY]", kLayout, kCommit},
      {48, "ALTER TABLE [dbo].[t_wm_vip_visit] ADD CONSTRAINT [DF__t_wm_cus___visit__2BD9307E] DEFAULT ('1') FOR [visit_status]", kLayout, kCommit},
      {49, "alter table t_sys_operator add area_manager char(1) default(0)  null", kExact, kCommit},
      {50, "alter table t_im_sheet_master add valid_date datetime null", kExact, kCommit},
      {51, "alter table t_im_sheet_master add order_status char(1)  null", kExact, kCommit},
      {52, "alter table t_im_sheet_master add modified_id varchar(4)  null", kExact, kCommit},
      {53, "alter table t_im_sheet_master add modified_date datetime  null", kExact, kCommit},
      {54, "alter table t_im_sheet_master add md_flag varchar(1)default('0')  null", kExact, kCommit},
      {55, "alter table t_cm_im_sheet_master add valid_date datetime null", kExact, kCommit},
      {56, "alter table t_cm_im_sheet_master add order_status char(1)  null", kExact, kCommit},
      {57, "alter table t_cm_im_sheet_master add modified_id varchar(4)  null", kExact, kCommit},
      {58, "alter table t_cm_im_sheet_master add modified_date datetime  null", kExact, kCommit},
      {59, "alter table t_cm_im_sheet_master add md_flag varchar(1)default('0')  null", kExact, kCommit},
      {60, "CREATE TABLE [dbo].[t_rm_vip_saveset] ([flow_id] [numeric](14,0) IDENTITY(1,1) NOT NULL, [start_amt] [numeric](16,4) NULL, "
           "[end_amt] [numeric](16,4) NULL, [begin_date] [datetime] NOT NULL, [end_date] [datetime] NOT NULL, [send_amt] [numeric](16,4) NULL, "
           "[branch_no] [u_branch_no] NULL, set_type char(1) default('0') not null, item_clsno u_item_clsno null) ON [PRIMARY]",
       kLayout, kCommit},
      {61, "ALTER TABLE [dbo].[t_rm_vip_saveset] WITH NOCHECK ADD CONSTRAINT [PK_T_RM_VIP_SAVESET] PRIMARY KEY CLUSTERED ([flow_id], [begin_date], [end_date]) ON [PRIMARY]", kLayout, kCommit},
      {62, "insert into t_sys_menu values ( '6123' , '全场储值充值方案' , 'w_vip_saving_favor' , 'EDIT' , 'S' , '' , '110000' , '0' , '0' , '0' , '0' , NULL )", kExact, kCommit},
      {63, "alter table t_bd_item_info add init_stock numeric(16,4) default(0) null", kExact, kCommit},
      {64, "insert into t_sys_menu values ( '6124' , '批量积分冲减' , 'w_vip_consume_batch' , 'OTHR' , 'R' , '' , '110000' , '0' , '0' , '0' , '0' , NULL )", kExact, kCommit},
      {65, "alter table t_rm_protion_flow add giftcert_no varchar(20) null", kExact, kCommit},
      {66, "update t_sys_system set sys_var_value ='V8 20190110' where sys_var_id ='DataBase_Version'", kExact, kCommit},
      {67, nullptr, kExact, kNoCommit},
      {68, "insert t_sys_oper_grant select distinct oper_id , t_sys_menu.menu_id , '1' , '0' , '0' , '0' , '0' , '0' , '0' , '0' , '0' , '0' , '' "
           "from t_sys_operator , t_sys_menu where t_sys_menu.menu_id not in ( select func_id from t_sys_oper_grant )",
       kExact, kCommit},
  };
  return items;
}

const char* const kStageRead =
    "select isnull ( max ( sys_var_value ) , '00000000' ) from t_sys_system where sys_var_id ='UPGRADE_DATE'";
const char* const kBootstrap =
    "insert t_sys_system values ( 'UPGRADE_DATE' , 'UPGRADE_DATE' , '00000000' , '是' , '' , null , null , null )";

Want exec(const char* utf8) { return {"exec", rt::gbk(utf8)}; }
Want op(const char* kind) { return {kind, {}}; }

// The statements from item `first` to the end of the list.
std::vector<Want> items_from(int first) {
  std::vector<Want> w;
  for (const Item& it : wanted_items()) {
    if (it.number < first) continue;
    if (it.text) {
      w.push_back({"exec", rt::gbk(it.text), it.layout, it.number});
    } else {
      w.push_back({"wf_exec_sql", {}, false, it.number});
    }
    if (it.commit) w.push_back({"commit", {}, false, it.number});
  }
  return w;
}

// The click's own steps after the list: loader, autocommit off, COMMIT, cb_1.
std::vector<Want> closing_steps() {
  return {op("loader"), op("autocommit off"), op("commit"), op("disable cb_1")};
}

std::vector<Want> concat(std::initializer_list<std::vector<Want>> parts) {
  std::vector<Want> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

void expect_conversation(const std::vector<Op>& got, const std::vector<Want>& want) {
  for (std::size_t i = 0; i < std::min(got.size(), want.size()); ++i) {
    const Want& w = want[i];
    SCOPED_TRACE("operation " + std::to_string(i) + (w.item ? ", item " + std::to_string(w.item) : std::string()));
    ASSERT_EQ(got[i].kind, w.kind);
    if (w.layout) {
      EXPECT_EQ(without_layout(got[i].text), without_layout(w.text)) << rt::utf8(got[i].text);
    } else {
      EXPECT_EQ(got[i].text, w.text) << rt::utf8(got[i].text);
    }
  }
  EXPECT_EQ(got.size(), want.size());
}

TEST(StageConversation, FromNoStageRunsBootstrapAndAllItems) {
  StageHarness h;
  upgrade::cb_1_clicked(h.window, upgrade::connection());

  const std::vector<Want> want = concat({
      {Want{"select", kStageRead}, exec(kBootstrap), op("commit"),
       Want{"select", kStageRead}},
      items_from(1),
      closing_steps(),
  });
  expect_conversation(h.db.ops, want);
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
    h.db.answers = {StageAnswer::row(c.stage)};
    upgrade::cb_1_clicked(h.window, upgrade::connection());
    const std::vector<Want> want = concat({
        {Want{"select", kStageRead}, Want{"select", kStageRead}},
        items_from(c.first),
        closing_steps(),
    });
    expect_conversation(h.db.ops, want);
    EXPECT_TRUE(h.ui.boxes().empty());
  }
}

TEST(StageConversation, LayoutComparisonStillSeesWordsAndNames) {
  // The comparison used above must not hide a changed word or name.
  EXPECT_EQ(without_layout("ALTER TABLE [t] ADD\n\tCONSTRAINT [a] DEFAULT (0) FOR [b] ,\n\t( [c] )  ON [PRIMARY] "),
            "ALTER TABLE[t]ADD CONSTRAINT[a]DEFAULT(0)FOR[b],([c])ON[PRIMARY]");
  EXPECT_NE(without_layout("PRIMARY KEY CLUSTERED"), without_layout("PRIMARYKEY CLUSTERED"));
  EXPECT_NE(without_layout("[com_no]"), without_layout("[com no]"));
}

}  // namespace
