#include "upgrade/statement_list.h"

#include <iterator>

#include "rt/text.h"

namespace upgrade {

namespace {

constexpr bool kCommit = true;
constexpr bool kNoCommit = false;
constexpr ItemKind kExec = ItemKind::Executed;
constexpr ItemKind kFixed = ItemKind::Fixed;
constexpr ItemKind kScript = ItemKind::UpdateScript;

struct Row {
  int number;
  ItemKind kind;
  const char* text;  // UTF-8 source text
  bool commit_after;
};

// The list in execution order. Stage "00000000" is items 1 to 16, stage
// "20151227" items 17 to 30, stage "20170521" items 31 to 68. Items 17 to 23
// share the COMMIT after item 23; the update script run (67) has none.
const Row kRows[] = {
    // ---- stage "00000000" ------------------------------------------------
    {1, kFixed,
     "insert into t_sys_menu values ( 'B404' , '系统重新建账' , 'w_sys_system_reset' , 'OTHR' , 'R' , 'NULL' , '110000' , '0' , '0' , '0' , '0' , NULL )",
     kCommit},
    {2, kFixed,
     "insert into t_sys_menu values ( '3307' , '市调管理' , 'w_market' , 'OTHR' , 'R' , null , '111111' , '0' , '0' , '0' , '0' , null )",
     kCommit},
    {3, kExec,
     "CREATE TABLE [dbo].[t_rm_market] (\n"
     "\t[com_no] [decimal](16, 0) IDENTITY (1, 1) NOT NULL ,\n"
     "\t[branch_no] [varchar] (6) COLLATE Chinese_PRC_CI_AS NULL ,\n"
     "\t[item_no] [varchar] (20) COLLATE Chinese_PRC_CI_AS NULL ,\n"
     "\t[price] [decimal](16, 4) NULL ,\n"
     "\t[vip_price] [decimal](16, 4) NULL ,\n"
     "\t[sale_price] [decimal](16, 4) NULL ,\n"
     "\t[sale_qty] [decimal](16, 4) NULL ,\n"
     "\t[oper_id] [varchar] (4) COLLATE Chinese_PRC_CI_AS NULL ,\n"
     "\t[oper_date] [datetime] NULL ,\n"
     "\t[other1] [varchar] (100) COLLATE Chinese_PRC_CI_AS NULL ,\n"
     "\t[other2] [varchar] (100) COLLATE Chinese_PRC_CI_AS NULL\n"
     ") ON [PRIMARY]",
     kCommit},
    {4, kExec,
     "ALTER TABLE [dbo].[t_rm_market] WITH NOCHECK ADD\n"
     "\tCONSTRAINT [PK_t_rm_market] PRIMARY KEY  CLUSTERED\n"
     "\t(\n"
     "\t\t[com_no]\n"
     "\t)  ON [PRIMARY]",
     kCommit},
    {5, kExec,
     "ALTER TABLE [dbo].[t_rm_market] ADD\n"
     "\tCONSTRAINT [DF__t_rm_mark__price__2D288360] DEFAULT (0) FOR [price],\n"
     "\tCONSTRAINT [DF__t_rm_mark__vip_p__2E1CA799] DEFAULT (0) FOR [vip_price],\n"
     "\tCONSTRAINT [DF__t_rm_mark__sale___2F10CBD2] DEFAULT (0) FOR [sale_price],\n"
     "\tCONSTRAINT [DF__t_rm_mark__sale___3004F00B] DEFAULT (0) FOR [sale_qty]",
     kCommit},
    {6, kExec,
     "CREATE TABLE [dbo].[t_rm_market_detail] (\n"
     "\t[com_no] [decimal](16, 0) NOT NULL ,\n"
     "\t[opponent] [varchar] (40) COLLATE Chinese_PRC_CI_AS NULL ,\n"
     "\t[opp_price] [decimal](16, 4) NULL ,\n"
     "\t[opp_vipprice] [decimal](16, 4) NULL ,\n"
     "\t[other1] [varchar] (100) COLLATE Chinese_PRC_CI_AS NULL ,\n"
     "\t[other2] [varchar] (100) COLLATE Chinese_PRC_CI_AS NULL\n"
     ") ON [PRIMARY]",
     kCommit},
    {7, kExec,
     "ALTER TABLE [dbo].[t_rm_market_detail] ADD\n"
     "\tCONSTRAINT [DF__t_rm_mark__opp_p__412F7C0D] DEFAULT (0) FOR [opp_price],\n"
     "\tCONSTRAINT [DF__t_rm_mark__opp_v__4223A046] DEFAULT (0) FOR [opp_vipprice]",
     kCommit},
    {8, kExec, "drop   INDEX t_sys_pos_status_history.Index_1", kCommit},
    {9, kExec,
     "CREATE TABLE [dbo].[t_rm_casher_daysum_giv] (\n"
     "\t[oper_date] [char] (10) COLLATE Chinese_PRC_CI_AS NOT NULL ,\n"
     "\t[oper_id] [varchar] (6) COLLATE Chinese_PRC_CI_AS NOT NULL ,\n"
     "\t[branch_no] [char] (6) COLLATE Chinese_PRC_CI_AS NOT NULL ,\n"
     "\t[giv_amt] [numeric](16, 4) NULL ,\n"
     "\t[com_flag] [char] (1) COLLATE Chinese_PRC_CI_AS NULL\n"
     ") ON [PRIMARY]",
     kCommit},
    {10, kExec,
     "ALTER TABLE [dbo].[t_rm_casher_daysum_giv] WITH NOCHECK ADD\n"
     "\t PRIMARY KEY  CLUSTERED\n"
     "\t(\n"
     "\t\t[oper_date],\n"
     "\t\t[oper_id],\n"
     "\t\t[branch_no]\n"
     "\t)  ON [PRIMARY]",
     kCommit},
    {11, kExec,
     "ALTER TABLE [dbo].[t_rm_casher_daysum_giv] ADD\n"
     "\tCONSTRAINT [DF__t_rm_cash__giv_a__06C7A760] DEFAULT (0) FOR [giv_amt]",
     kCommit},
    {12, kExec,
     "CREATE  INDEX [i_daysum_giv_oper_date] ON [dbo].[t_rm_casher_daysum_giv]([oper_date]) ON [PRIMARY]",
     kCommit},
    {13, kExec,
     "CREATE  INDEX [i_daysum_giv_oper_id] ON [dbo].[t_rm_casher_daysum_giv]([oper_id]) ON [PRIMARY]",
     kCommit},
    {14, kExec,
     "CREATE  INDEX [i_daysum_giv_branch] ON [dbo].[t_rm_casher_daysum_giv]([branch_no]) ON [PRIMARY]",
     kCommit},
    {15, kExec,
     "CREATE  INDEX [i_daysum_giv_com_flag] ON [dbo].[t_rm_casher_daysum_giv]([com_flag]) ON [PRIMARY]",
     kCommit},
    {16, kFixed, "update t_sys_system set sys_var_value ='20151227' where sys_var_id ='UPGRADE_DATE'", kCommit},

    // ---- stage "20151227" ------------------------------------------------
    {17, kFixed, "update t_sys_menu set menu_id ='6701' where menu_id ='F101'", kNoCommit},
    {18, kFixed, "update t_sys_menu set menu_id ='6702' where menu_id ='F102'", kNoCommit},
    {19, kFixed, "update t_sys_menu set menu_id ='6703' where menu_id ='F103'", kNoCommit},
    {20, kFixed, "update t_sys_menu set menu_id ='6704' where menu_id ='F104'", kNoCommit},
    {21, kFixed, "update t_sys_menu set menu_id ='6705' where menu_id ='F105'", kNoCommit},
    {22, kFixed, "update t_sys_menu set menu_id ='6706' where menu_id ='F106'", kNoCommit},
    {23, kFixed, "update t_sys_menu set normal_flag ='0' where menu_id like '67%'", kCommit},
    {24, kExec, "alter table t_rm_vip_motherhood_identity add baby_name1 varchar(20) default('') null", kCommit},
    {25, kExec, "alter table t_rm_vip_motherhood_identity add baby_rem1 varchar(20) default('') null", kCommit},
    {26, kExec, "alter table t_rm_vip_motherhood_identity add baby_sex1 varchar(2) default('') null", kCommit},
    {27, kExec, "alter table t_rm_vip_motherhood_identity add baby_birthday_date1 datetime  null", kCommit},
    {28, kExec, "alter table t_bd_appitem_info add measure_flag char(1) default('0') null", kCommit},
    {29, kExec, "alter table t_bd_supcust_item add num numeric(16,4) default(0) null", kCommit},
    {30, kFixed, "update t_sys_system set sys_var_value ='20170521' where sys_var_id ='UPGRADE_DATE'", kCommit},

    // ---- stage "20170521" (runs again at every upgrade) ------------------
    {31, kFixed,
     "insert into t_sys_menu values ( '6407' , '储值卡余额查询' , 'w_rm_vip_savingamt_query' , 'BROW' , 'S' , '' , '111100' , '0' , '0' , '0' , '0' , NULL )",
     kCommit},
    {32, kFixed,
     "insert into t_sys_menu values ( '6408' , '会员积分查询' , 'w_vip_query_acclist' , 'BROW' , 'S' , '' , '111101' , '0' , '0' , '0' , '0' , NULL )",
     kCommit},
    {33, kExec,
     "CREATE TABLE [dbo].[t_vipday_item] (\n"
     "\t[item_no] [varchar] (20) NOT NULL ,\n"
     "\t[dis] [numeric](10, 2) NOT NULL\n"
     ") ON [PRIMARY]",
     kCommit},
    {34, kExec,
     "ALTER TABLE [dbo].[t_vipday_item] WITH NOCHECK ADD\n"
     "\tCONSTRAINT [pk_vipday_item] PRIMARY KEY  CLUSTERED\n"
     "\t(\n"
     "\t\t[item_no]\n"
     "\t)  ON [PRIMARY]",
     kCommit},
    {35, kExec, "alter table t_sys_operator alter column cash_grant varchar(30) null", kCommit},
    {36, kFixed, "update t_sys_menu set branch_flag ='111101' where menu_id ='3101'", kCommit},
    {37, kExec,
     "create table t_rm_vip_small(card_id varchar(20) not null,small_amt u_amount  null,oper_id u_oper_id null,oper_date u_date null,branch_no u_branch_no null,)ON [PRIMARY]",
     kCommit},
    {38, kExec,
     "ALTER TABLE [dbo].[t_rm_vip_small] WITH NOCHECK ADD\n"
     "\tCONSTRAINT [PK_t_rm_vip_small] PRIMARY KEY  CLUSTERED\n"
     "\t(\n"
     "\t\t[card_id]\n"
     "\t)  ON [PRIMARY]",
     kCommit},
    {39, kExec,
     "CREATE TABLE [dbo].[t_rm_vip_small_log] (\n"
     "\t[flow_id] [decimal](18, 0) IDENTITY (1, 1) NOT NULL ,\n"
     "\t[card_id] [varchar] (20) NOT NULL ,\n"
     "\t[small_amt] [u_amount] NULL ,\n"
     "\t[oper_id] [u_oper_id] NULL ,\n"
     "\t[oper_date] [u_date] NULL ,\n"
     "\t[branch_no] [u_branch_no] NULL ,\n"
     "\t[db_no] [char] (1) NULL ,\n"
     "\t[flow_no] [varchar] (18) NULL ,\n"
     "\t[memo] [varchar] (50) NULL\n"
     ") ON [PRIMARY]",
     kCommit},
    {40, kExec,
     "ALTER TABLE [dbo].[t_rm_vip_small_log] WITH NOCHECK ADD\n"
     "\tCONSTRAINT [PK_t_rm_vip_small_log] PRIMARY KEY  CLUSTERED\n"
     "\t(\n"
     "\t\t[flow_id]\n"
     "\t)  ON [PRIMARY]",
     kCommit},
    {41, kFixed,
     "insert into t_sys_menu values ( '6409' , '会员零钱包查询' , 'w_vip_small_query' , 'BROW' , 'S' , '' , '111100' , '0' , '0' , '0' , '0' , NULL )",
     kCommit},
    {42, kFixed,
     "insert into t_sys_menu ( menu_id , menu_name , menu_code , menu_type , open_type , branch_flag , normal_flag , flag1 , flag2 , flag3 )\n"
     "\tvalues ( '5701' , '客户新增回访' , 'w_wm_cus_visit_new' , 'OTHR' , 'R' , '111101' , '0' , '0' , '0' , '0' )",
     kCommit},
    {43, kFixed,
     "insert into t_sys_menu ( menu_id , menu_name , menu_code , menu_type , open_type , branch_flag , normal_flag , flag1 , flag2 , flag3 )\n"
     "\tvalues ( '5702' , '客户回访' , 'w_wm_cus_visit' , 'EDIT' , 'R' , '111101' , '0' , '0' , '0' , '0' )",
     kCommit},
    {44, kFixed,
     "insert into t_sys_menu ( menu_id , menu_name , menu_code , menu_type , open_type , branch_flag , normal_flag , flag1 , flag2 , flag3 )\n"
     "\tvalues ( '5703' , '客户回访分析' , 'w_wm_cus_analyze_visit' , 'BROW' , 'S' , '111101' , '0' , '0' , '0' , '0' )",
     kCommit},
    {45, kFixed,
     "insert into t_sys_menu ( menu_id , menu_name , menu_code , menu_type , open_type , branch_flag , normal_flag , flag1 , flag2 , flag3 )\n"
     "\tvalues ( '5704' , '客户回访查询' , 'w_wm_cus_visit_query' , 'BROW' , 'S' , '111101' , '0' , '0' , '0' , '0' )",
     kCommit},
    {46, kExec,
     "CREATE TABLE [dbo].[t_wm_vip_visit] (\n"
     "\t[visit_id] [numeric](10, 0) IDENTITY (1, 1) NOT NULL ,\n"
     "\t[card_id] [varchar] (20) COLLATE Chinese_PRC_CI_AS NOT NULL ,\n"
     "\t[visit_typeno] [char] (2) COLLATE Chinese_PRC_CI_AS NULL ,\n"
     "\t[visit_type] [char] (20) COLLATE Chinese_PRC_CI_AS NULL ,\n"
     "\t[visit_way] [char] (10) COLLATE Chinese_PRC_CI_AS NULL ,\n"
     "\t[item_name] [char] (40) COLLATE Chinese_PRC_CI_AS NULL ,\n"
     "\t[buy_emporium] [varchar] (60) COLLATE Chinese_PRC_CI_AS NULL ,\n"
     "\t[buy_date] [datetime] NULL ,\n"
     "\t[satisfaction_degree] [char] (10) COLLATE Chinese_PRC_CI_AS NULL ,\n"
     "\t[advice_type] [char] (1) COLLATE Chinese_PRC_CI_AS NULL ,\n"
     "\t[visit_content] [varchar] (512) COLLATE Chinese_PRC_CI_AS NULL ,\n"
     "\t[visit_oper_id] [char] (4) COLLATE Chinese_PRC_CI_AS NULL ,\n"
     "\t[visit_date] [datetime] NULL ,\n"
     "\t[com_flag] [char] (1) COLLATE Chinese_PRC_CI_AS NULL ,\n"
     "\t[branch_no] [u_branch_no] NULL ,\n"
     "\t[flow_no] [u_sheet_no] NULL ,\n"
     "\t[visit_subjectno] [char] (2) COLLATE Chinese_PRC_CI_AS NULL ,\n"
     "\t[visit_subject] [varchar] (255) COLLATE Chinese_PRC_CI_AS NULL ,\n"
     "\t[visit_status] [varchar] (1) COLLATE Chinese_PRC_CI_AS NULL\n"
     ") ON [PRIMARY]",
     kCommit},
    {47, kExec,
     "ALTER TABLE [dbo].[t_wm_vip_visit] WITH NOCHECK ADD\n"
     "\tCONSTRAINT [PK_t_wm_vip_visit] PRIMARY KEY  CLUSTERED\n"
     "\t(\n"
     "\t\t[visit_id]\n"
     "\t)  ON [PRIMARY]",
     kCommit},
    {48, kExec,
     "ALTER TABLE [dbo].[t_wm_vip_visit] ADD\n"
     "\tCONSTRAINT [DF__t_wm_cus___visit__2BD9307E] DEFAULT ('1') FOR [visit_status]",
     kCommit},
    {49, kExec, "alter table t_sys_operator add area_manager char(1) default(0)  null", kCommit},
    {50, kExec, "alter table t_im_sheet_master add valid_date datetime null", kCommit},
    {51, kExec, "alter table t_im_sheet_master add order_status char(1)  null", kCommit},
    {52, kExec, "alter table t_im_sheet_master add modified_id varchar(4)  null", kCommit},
    {53, kExec, "alter table t_im_sheet_master add modified_date datetime  null", kCommit},
    {54, kExec, "alter table t_im_sheet_master add md_flag varchar(1)default('0')  null", kCommit},
    {55, kExec, "alter table t_cm_im_sheet_master add valid_date datetime null", kCommit},
    {56, kExec, "alter table t_cm_im_sheet_master add order_status char(1)  null", kCommit},
    {57, kExec, "alter table t_cm_im_sheet_master add modified_id varchar(4)  null", kCommit},
    {58, kExec, "alter table t_cm_im_sheet_master add modified_date datetime  null", kCommit},
    {59, kExec, "alter table t_cm_im_sheet_master add md_flag varchar(1)default('0')  null", kCommit},
    {60, kExec,
     "CREATE TABLE [dbo].[t_rm_vip_saveset] (\n"
     "\t[flow_id] [numeric](14, 0) IDENTITY (1, 1) NOT NULL ,\n"
     "\t[start_amt] [numeric](16, 4) NULL ,\n"
     "\t[end_amt] [numeric](16, 4) NULL ,\n"
     "\t[begin_date] [datetime] NOT NULL ,\n"
     "\t[end_date] [datetime] NOT NULL ,\n"
     "\t[send_amt] [numeric](16, 4) NULL ,\n"
     "\t[branch_no] [u_branch_no] NULL ,\n"
     "\tset_type char(1) default('0') not null,\n"
     "\titem_clsno u_item_clsno null\n"
     ") ON [PRIMARY]",
     kCommit},
    {61, kExec,
     "ALTER TABLE [dbo].[t_rm_vip_saveset] WITH NOCHECK ADD\n"
     "\tCONSTRAINT [PK_T_RM_VIP_SAVESET] PRIMARY KEY  CLUSTERED\n"
     "\t(\n"
     "\t\t[flow_id],\n"
     "\t\t[begin_date],\n"
     "\t\t[end_date]\n"
     "\t)  ON [PRIMARY]",
     kCommit},
    {62, kFixed,
     "insert into t_sys_menu values ( '6123' , '全场储值充值方案' , 'w_vip_saving_favor' , 'EDIT' , 'S' , '' , '110000' , '0' , '0' , '0' , '0' , NULL )",
     kCommit},
    {63, kExec, "alter table t_bd_item_info add init_stock numeric(16,4) default(0) null", kCommit},
    {64, kFixed,
     "insert into t_sys_menu values ( '6124' , '批量积分冲减' , 'w_vip_consume_batch' , 'OTHR' , 'R' , '' , '110000' , '0' , '0' , '0' , '0' , NULL )",
     kCommit},
    {65, kExec, "alter table t_rm_protion_flow add giftcert_no varchar(20) null", kCommit},
    {66, kFixed, "update t_sys_system set sys_var_value ='V8 20190110' where sys_var_id ='DataBase_Version'", kCommit},
    {67, kScript, "", kNoCommit},
    {68, kFixed,
     "insert t_sys_oper_grant select distinct oper_id , t_sys_menu.menu_id , '1' , '0' , '0' , '0' , '0' , '0' , '0' , '0' , '0' , '0' , '' from t_sys_operator , t_sys_menu where t_sys_menu.menu_id not in ( select func_id from t_sys_oper_grant )",
     kCommit},
};

const StageEntry kStages[] = {
    {"00000000", 1},
    {"20151227", 17},
    {"20170521", 31},
};

}  // namespace

const std::vector<UpgradeItem>& statement_list() {
  static const std::vector<UpgradeItem> list = [] {
    std::vector<UpgradeItem> v;
    v.reserve(std::size(kRows));
    for (const Row& r : kRows) v.push_back(UpgradeItem{r.number, r.kind, rt::gbk(r.text), r.commit_after});
    return v;
  }();
  return list;
}

const std::vector<StageEntry>& stage_entries() {
  static const std::vector<StageEntry> stages(std::begin(kStages), std::end(kStages));
  return stages;
}

namespace stage_sql {

const std::string& stage_read() {
  static const std::string s =
      "select isnull ( max ( sys_var_value ) , '00000000' ) from t_sys_system where sys_var_id ='UPGRADE_DATE'";
  return s;
}

const std::string& bootstrap_insert() {
  static const std::string s = rt::gbk(
      "insert t_sys_system values ( 'UPGRADE_DATE' , 'UPGRADE_DATE' , '00000000' , '是' , '' , null , null , null )");
  return s;
}

const std::string& marker_reset() {
  static const std::string s =
      "update t_sys_system set sys_var_value ='00000000' where sys_var_id ='UPGRADE_DATE'";
  return s;
}

}  // namespace stage_sql

}  // namespace upgrade
