#include "support/upgrade_statements.h"

namespace storesim_test {

const char* const kStageRead =
    "select isnull ( max ( sys_var_value ) , '00000000' ) from t_sys_system where sys_var_id ='UPGRADE_DATE'";

namespace {

std::string MenuInsert(const std::string& values) {
  return "insert into t_sys_menu ( menu_id , menu_name , menu_code , menu_type , open_type , branch_flag , "
         "normal_flag , flag1 , flag2 , flag3 ) values ( " + values + " )";
}

}  // namespace

const std::vector<UpgradeItem>& UpgradeStatements() {
  static const std::vector<UpgradeItem> items = {
      {1, "insert into t_sys_menu values ( 'B404' , '系统重新建账' , 'w_sys_system_reset' , 'OTHR' , 'R' , 'NULL' , "
          "'110000' , '0' , '0' , '0' , '0' , NULL )"},
      {2, "insert into t_sys_menu values ( '3307' , '市调管理' , 'w_market' , 'OTHR' , 'R' , null , '111111' , '0' , "
          "'0' , '0' , '0' , null )"},
      {3, "CREATE TABLE [dbo].[t_rm_market] (\r\n"
          "\t[com_no] [decimal](16, 0) IDENTITY (1, 1) NOT NULL ,\r\n"
          "\t[branch_no] [varchar] (6) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
          "\t[item_no] [varchar] (20) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
          "\t[price] [decimal](16, 4) NULL ,\r\n"
          "\t[vip_price] [decimal](16, 4) NULL ,\r\n"
          "\t[sale_price] [decimal](16, 4) NULL ,\r\n"
          "\t[sale_qty] [decimal](16, 4) NULL ,\r\n"
          "\t[oper_id] [varchar] (4) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
          "\t[oper_date] [datetime] NULL ,\r\n"
          "\t[other1] [varchar] (100) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
          "\t[other2] [varchar] (100) COLLATE Chinese_PRC_CI_AS NULL \r\n"
          ") ON [PRIMARY]"},
      {4, "ALTER TABLE [dbo].[t_rm_market] WITH NOCHECK ADD \r\n\tCONSTRAINT [PK_t_rm_market] PRIMARY KEY  CLUSTERED "
          "\r\n\t(\r\n\t\t[com_no]\r\n\t)  ON [PRIMARY] "},
      {5, "ALTER TABLE [dbo].[t_rm_market] ADD \r\n"
          "\tCONSTRAINT [DF__t_rm_mark__price__2D288360] DEFAULT (0) FOR [price],\r\n"
          "\tCONSTRAINT [DF__t_rm_mark__vip_p__2E1CA799] DEFAULT (0) FOR [vip_price],\r\n"
          "\tCONSTRAINT [DF__t_rm_mark__sale___2F10CBD2] DEFAULT (0) FOR [sale_price],\r\n"
          "\tCONSTRAINT [DF__t_rm_mark__sale___3004F00B] DEFAULT (0) FOR [sale_qty]"},
      {6, "CREATE TABLE [dbo].[t_rm_market_detail] (\r\n"
          "\t[com_no] [decimal](16, 0) NOT NULL ,\r\n"
          "\t[opponent] [varchar] (40) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
          "\t[opp_price] [decimal](16, 4) NULL ,\r\n"
          "\t[opp_vipprice] [decimal](16, 4) NULL ,\r\n"
          "\t[other1] [varchar] (100) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
          "\t[other2] [varchar] (100) COLLATE Chinese_PRC_CI_AS NULL \r\n"
          ") ON [PRIMARY]"},
      {7, "ALTER TABLE [dbo].[t_rm_market_detail] ADD \r\n"
          "\tCONSTRAINT [DF__t_rm_mark__opp_p__412F7C0D] DEFAULT (0) FOR [opp_price],\r\n"
          "\tCONSTRAINT [DF__t_rm_mark__opp_v__4223A046] DEFAULT (0) FOR [opp_vipprice]"},
      {8, "drop   INDEX t_sys_pos_status_history.Index_1"},
      {9, "CREATE TABLE [dbo].[t_rm_casher_daysum_giv] (\r\n"
          "\t[oper_date] [char] (10) COLLATE Chinese_PRC_CI_AS NOT NULL ,\r\n"
          "\t[oper_id] [varchar] (6) COLLATE Chinese_PRC_CI_AS NOT NULL ,\r\n"
          "\t[branch_no] [char] (6) COLLATE Chinese_PRC_CI_AS NOT NULL ,\r\n"
          "\t[giv_amt] [numeric](16, 4) NULL ,\r\n"
          "\t[com_flag] [char] (1) COLLATE Chinese_PRC_CI_AS NULL \r\n"
          ") ON [PRIMARY]"},
      {10, "ALTER TABLE [dbo].[t_rm_casher_daysum_giv] WITH NOCHECK ADD \r\n\t PRIMARY KEY  CLUSTERED \r\n\t(\r\n"
           "\t\t[oper_date],\r\n\t\t[oper_id],\r\n\t\t[branch_no]\r\n\t)  ON [PRIMARY] "},
      {11, "ALTER TABLE [dbo].[t_rm_casher_daysum_giv] ADD \r\n"
           "\tCONSTRAINT [DF__t_rm_cash__giv_a__06C7A760] DEFAULT (0) FOR [giv_amt]"},
      {12, "CREATE  INDEX [i_daysum_giv_oper_date] ON [dbo].[t_rm_casher_daysum_giv]([oper_date]) ON [PRIMARY]"},
      {13, "CREATE  INDEX [i_daysum_giv_oper_id] ON [dbo].[t_rm_casher_daysum_giv]([oper_id]) ON [PRIMARY]"},
      {14, "CREATE  INDEX [i_daysum_giv_branch] ON [dbo].[t_rm_casher_daysum_giv]([branch_no]) ON [PRIMARY]"},
      {15, "CREATE  INDEX [i_daysum_giv_com_flag] ON [dbo].[t_rm_casher_daysum_giv]([com_flag]) ON [PRIMARY]"},
      {16, "update t_sys_system set sys_var_value ='20151227' where sys_var_id ='UPGRADE_DATE'"},
      {17, "update t_sys_menu set menu_id ='6701' where menu_id ='F101'"},
      {18, "update t_sys_menu set menu_id ='6702' where menu_id ='F102'"},
      {19, "update t_sys_menu set menu_id ='6703' where menu_id ='F103'"},
      {20, "update t_sys_menu set menu_id ='6704' where menu_id ='F104'"},
      {21, "update t_sys_menu set menu_id ='6705' where menu_id ='F105'"},
      {22, "update t_sys_menu set menu_id ='6706' where menu_id ='F106'"},
      {23, "update t_sys_menu set normal_flag ='0' where menu_id like '67%'"},
      {24, "alter table t_rm_vip_motherhood_identity add baby_name1 varchar(20) default('') null"},
      {25, "alter table t_rm_vip_motherhood_identity add baby_rem1 varchar(20) default('') null"},
      {26, "alter table t_rm_vip_motherhood_identity add baby_sex1 varchar(2) default('') null"},
      {27, "alter table t_rm_vip_motherhood_identity add baby_birthday_date1 datetime  null"},
      {28, "alter table t_bd_appitem_info add measure_flag char(1) default('0') null"},
      {29, "alter table t_bd_supcust_item add num numeric(16,4) default(0) null"},
      {30, "update t_sys_system set sys_var_value ='20170521' where sys_var_id ='UPGRADE_DATE'"},
      {31, "insert into t_sys_menu values ( '6407' , '储值卡余额查询' , 'w_rm_vip_savingamt_query' , 'BROW' , 'S' , "
           "'' , '111100' , '0' , '0' , '0' , '0' , NULL )"},
      {32, "insert into t_sys_menu values ( '6408' , '会员积分查询' , 'w_vip_query_acclist' , 'BROW' , 'S' , '' , "
           "'111101' , '0' , '0' , '0' , '0' , NULL )"},
      {33, "CREATE TABLE [dbo].[t_vipday_item] (\r\n"
           "\t[item_no] [varchar] (20) NOT NULL ,\r\n"
           "\t[dis] [numeric](10, 2) NOT NULL \r\n"
           ") ON [PRIMARY]"},
      {34, "ALTER TABLE [dbo].[t_vipday_item] WITH NOCHECK ADD \r\n\tCONSTRAINT [pk_vipday_item] PRIMARY KEY  "
           "CLUSTERED \r\n\t(\r\n\t\t[item_no]\r\n\t)  ON [PRIMARY] "},
      {35, "alter table t_sys_operator alter column cash_grant varchar(30) null"},
      {36, "update t_sys_menu set branch_flag ='111101' where menu_id ='3101'"},
      {37, "create table t_rm_vip_small(card_id varchar(20) not null,small_amt u_amount  null,oper_id u_oper_id "
           "null,oper_date u_date null,branch_no u_branch_no null,)ON [PRIMARY]"},
      {38, "ALTER TABLE [dbo].[t_rm_vip_small] WITH NOCHECK ADD \r\n\tCONSTRAINT [PK_t_rm_vip_small] PRIMARY KEY  "
           "CLUSTERED \r\n\t(\r\n\t\t[card_id]\r\n\t)  ON [PRIMARY] "},
      {39, "CREATE TABLE [dbo].[t_rm_vip_small_log] (\r\n"
           "\t[flow_id] [decimal](18, 0) IDENTITY (1, 1) NOT NULL ,\r\n"
           "\t[card_id] [varchar] (20) NOT NULL ,\r\n"
           "\t[small_amt] [u_amount] NULL ,\r\n"
           "\t[oper_id] [u_oper_id] NULL ,\r\n"
           "\t[oper_date] [u_date] NULL ,\r\n"
           "\t[branch_no] [u_branch_no] NULL ,\r\n"
           "\t[db_no] [char] (1) NULL ,\r\n"
           "\t[flow_no] [varchar] (18) NULL ,\r\n"
           "\t[memo] [varchar] (50) NULL \r\n"
           ") ON [PRIMARY]"},
      {40, "ALTER TABLE [dbo].[t_rm_vip_small_log] WITH NOCHECK ADD \r\n\tCONSTRAINT [PK_t_rm_vip_small_log] PRIMARY "
           "KEY  CLUSTERED \r\n\t(\r\n\t\t[flow_id]\r\n\t)  ON [PRIMARY] "},
      {41, "insert into t_sys_menu values ( '6409' , '会员零钱包查询' , 'w_vip_small_query' , 'BROW' , 'S' , '' , "
           "'111100' , '0' , '0' , '0' , '0' , NULL )"},
      {42, MenuInsert("'5701' , '客户新增回访' , 'w_wm_cus_visit_new' , 'OTHR' , 'R' , '111101' , '0' , '0' , '0' , '0'")},
      {43, MenuInsert("'5702' , '客户回访' , 'w_wm_cus_visit' , 'EDIT' , 'R' , '111101' , '0' , '0' , '0' , '0'")},
      {44, MenuInsert("'5703' , '客户回访分析' , 'w_wm_cus_analyze_visit' , 'BROW' , 'S' , '111101' , '0' , '0' , '0' , '0'")},
      {45, MenuInsert("'5704' , '客户回访查询' , 'w_wm_cus_visit_query' , 'BROW' , 'S' , '111101' , '0' , '0' , '0' , '0'")},
      {46, "CREATE TABLE [dbo].[t_wm_vip_visit] (\r\n"
           "\t[visit_id] [numeric](10, 0) IDENTITY (1, 1) NOT NULL ,\r\n"
           "\t[card_id] [varchar] (20) COLLATE Chinese_PRC_CI_AS NOT NULL ,\r\n"
           "\t[visit_typeno] [char] (2) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
           "\t[visit_type] [char] (20) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
           "\t[visit_way] [char] (10) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
           "\t[item_name] [char] (40) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
           "\t[buy_emporium] [varchar] (60) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
           "\t[buy_date] [datetime] NULL ,\r\n"
           "\t[satisfaction_degree] [char] (10) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
           "\t[advice_type] [char] (1) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
           "\t[visit_content] [varchar] (512) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
           "\t[visit_oper_id] [char] (4) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
           "\t[visit_date] [datetime] NULL ,\r\n"
           "\t[com_flag] [char] (1) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
           "\t[branch_no] [u_branch_no] NULL ,\r\n"
           "\t[flow_no] [u_sheet_no] NULL ,\r\n"
           "\t[visit_subjectno] [char] (2) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
           "\t[visit_subject] [varchar] (255) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
           "\t[visit_status] [varchar] (1) COLLATE Chinese_PRC_CI_AS NULL \r\n"
           ") ON [PRIMARY]"},
      {47, "ALTER TABLE [dbo].[t_wm_vip_visit] WITH NOCHECK ADD \r\n\tCONSTRAINT [PK_t_wm_vip_visit] PRIMARY KEY  "
           "CLUSTERED \r\n\t(\r\n\t\t[visit_id]\r\n\t)  ON [PRIMARY] "},
      {48, "ALTER TABLE [dbo].[t_wm_vip_visit] ADD \r\n"
           "\tCONSTRAINT [DF__t_wm_cus___visit__2BD9307E] DEFAULT ('1') FOR [visit_status]"},
      {49, "alter table t_sys_operator add area_manager char(1) default(0)  null"},
      {50, "alter table t_im_sheet_master add valid_date datetime null"},
      {51, "alter table t_im_sheet_master add order_status char(1)  null"},
      {52, "alter table t_im_sheet_master add modified_id varchar(4)  null"},
      {53, "alter table t_im_sheet_master add modified_date datetime  null"},
      {54, "alter table t_im_sheet_master add md_flag varchar(1)default('0')  null"},
      {55, "alter table t_cm_im_sheet_master add valid_date datetime null"},
      {56, "alter table t_cm_im_sheet_master add order_status char(1)  null"},
      {57, "alter table t_cm_im_sheet_master add modified_id varchar(4)  null"},
      {58, "alter table t_cm_im_sheet_master add modified_date datetime  null"},
      {59, "alter table t_cm_im_sheet_master add md_flag varchar(1)default('0')  null"},
      {60, "CREATE TABLE [dbo].[t_rm_vip_saveset] (\r\n"
           "\t[flow_id] [numeric](14, 0) IDENTITY (1, 1) NOT NULL ,\r\n"
           "\t[start_amt] [numeric](16, 4) NULL ,\r\n"
           "\t[end_amt] [numeric](16, 4) NULL ,\r\n"
           "\t[begin_date] [datetime] NOT NULL ,\r\n"
           "\t[end_date] [datetime] NOT NULL ,\r\n"
           "\t[send_amt] [numeric](16, 4) NULL ,\r\n"
           "\t[branch_no] [u_branch_no] NULL ,\r\n"
           "\t[set_type] [char] (1) default('0') not null ,\r\n"
           "\t[item_clsno] [u_item_clsno] null \r\n"
           ") ON [PRIMARY]"},
      {61, "ALTER TABLE [dbo].[t_rm_vip_saveset] WITH NOCHECK ADD \r\n\tCONSTRAINT [PK_T_RM_VIP_SAVESET] PRIMARY KEY  "
           "CLUSTERED \r\n\t(\r\n\t\t[flow_id],\r\n\t\t[begin_date],\r\n\t\t[end_date]\r\n\t)  ON [PRIMARY] "},
      {62, "insert into t_sys_menu values ( '6123' , '全场储值充值方案' , 'w_vip_saving_favor' , 'EDIT' , 'S' , '' , "
           "'110000' , '0' , '0' , '0' , '0' , NULL )"},
      {63, "alter table t_bd_item_info add init_stock numeric(16,4) default(0) null"},
      {64, "insert into t_sys_menu values ( '6124' , '批量积分冲减' , 'w_vip_consume_batch' , 'OTHR' , 'R' , '' , "
           "'110000' , '0' , '0' , '0' , '0' , NULL )"},
      {65, "alter table t_rm_protion_flow add giftcert_no varchar(20) null"},
      {66, "update t_sys_system set sys_var_value ='V8 20190110' where sys_var_id ='DataBase_Version'"},
      {68, "insert t_sys_oper_grant select distinct oper_id , t_sys_menu.menu_id , '1' , '0' , '0' , '0' , '0' , "
           "'0' , '0' , '0' , '0' , '0' , '' from t_sys_operator , t_sys_menu where t_sys_menu.menu_id not in ( "
           "select func_id from t_sys_oper_grant )"},
  };
  return items;
}

}  // namespace storesim_test
