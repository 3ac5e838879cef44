select isnull ( max ( sys_var_value ) , '00000000' ) from t_sys_system where sys_var_id ='UPGRADE_DATE'
--@ select
insert t_sys_system values ( 'UPGRADE_DATE' , 'UPGRADE_DATE' , '00000000' , '是' , '' , null , null , null )
--@ exec
--@ commit
select isnull ( max ( sys_var_value ) , '00000000' ) from t_sys_system where sys_var_id ='UPGRADE_DATE'
--@ select
insert into t_sys_menu values ( 'B404' , '系统重新建账' , 'w_sys_system_reset' , 'OTHR' , 'R' , 'NULL' , '110000' , '0' , '0' , '0' , '0' , NULL )
--@ exec item 1
--@ commit item 1
insert into t_sys_menu values ( '3307' , '市调管理' , 'w_market' , 'OTHR' , 'R' , null , '111111' , '0' , '0' , '0' , '0' , null )
--@ exec item 2
--@ commit item 2
CREATE TABLE [dbo].[t_rm_market] ([com_no] [decimal](16, 0) IDENTITY (1, 1) NOT NULL, [branch_no] [varchar](6) COLLATE Chinese_PRC_CI_AS NULL, [item_no] [varchar](20) COLLATE Chinese_PRC_CI_AS NULL, [price] [decimal](16, 4) NULL, [vip_price] [decimal](16, 4) NULL, [sale_price] [decimal](16, 4) NULL, [sale_qty] [decimal](16, 4) NULL, [oper_id] [varchar](4) COLLATE Chinese_PRC_CI_AS NULL, [oper_date] [datetime] NULL, [other1] [varchar](100) COLLATE Chinese_PRC_CI_AS NULL, [other2] [varchar](100) COLLATE Chinese_PRC_CI_AS NULL) ON [PRIMARY]
--@ exec item 3 layout
--@ commit item 3
ALTER TABLE [dbo].[t_rm_market] WITH NOCHECK ADD CONSTRAINT [PK_t_rm_market] PRIMARY KEY CLUSTERED ([com_no]) ON [PRIMARY]
--@ exec item 4 layout
--@ commit item 4
ALTER TABLE [dbo].[t_rm_market] ADD CONSTRAINT [DF__t_rm_mark__price__2D288360] DEFAULT (0) FOR [price], CONSTRAINT [DF__t_rm_mark__vip_p__2E1CA799] DEFAULT (0) FOR [vip_price], CONSTRAINT [DF__t_rm_mark__sale___2F10CBD2] DEFAULT (0) FOR [sale_price], CONSTRAINT [DF__t_rm_mark__sale___3004F00B] DEFAULT (0) FOR [sale_qty]
--@ exec item 5 layout
--@ commit item 5
CREATE TABLE [dbo].[t_rm_market_detail] ([com_no] [decimal](16, 0) NOT NULL, [opponent] [varchar](40) COLLATE Chinese_PRC_CI_AS NULL, [opp_price] [decimal](16, 4) NULL, [opp_vipprice] [decimal](16, 4) NULL, [other1] [varchar](100) COLLATE Chinese_PRC_CI_AS NULL, [other2] [varchar](100) COLLATE Chinese_PRC_CI_AS NULL) ON [PRIMARY]
--@ exec item 6 layout
--@ commit item 6
ALTER TABLE [dbo].[t_rm_market_detail] ADD CONSTRAINT [DF__t_rm_mark__opp_p__412F7C0D] DEFAULT (0) FOR [opp_price], CONSTRAINT [DF__t_rm_mark__opp_v__4223A046] DEFAULT (0) FOR [opp_vipprice]
--@ exec item 7 layout
--@ commit item 7
drop   INDEX t_sys_pos_status_history.Index_1
--@ exec item 8
--@ commit item 8
CREATE TABLE [dbo].[t_rm_casher_daysum_giv] ([oper_date] [char](10) COLLATE Chinese_PRC_CI_AS NOT NULL, [oper_id] [varchar](6) COLLATE Chinese_PRC_CI_AS NOT NULL, [branch_no] [char](6) COLLATE Chinese_PRC_CI_AS NOT NULL, [giv_amt] [numeric](16, 4) NULL, [com_flag] [char](1) COLLATE Chinese_PRC_CI_AS NULL) ON [PRIMARY]
--@ exec item 9 layout
--@ commit item 9
ALTER TABLE [dbo].[t_rm_casher_daysum_giv] WITH NOCHECK ADD PRIMARY KEY CLUSTERED ([oper_date], [oper_id], [branch_no]) ON [PRIMARY]
--@ exec item 10 layout
--@ commit item 10
ALTER TABLE [dbo].[t_rm_casher_daysum_giv] ADD CONSTRAINT [DF__t_rm_cash__giv_a__06C7A760] DEFAULT (0) FOR [giv_amt]
--@ exec item 11 layout
--@ commit item 11
CREATE INDEX [i_daysum_giv_oper_date] ON [dbo].[t_rm_casher_daysum_giv]([oper_date]) ON [PRIMARY]
--@ exec item 12 layout
--@ commit item 12
CREATE INDEX [i_daysum_giv_oper_id] ON [dbo].[t_rm_casher_daysum_giv]([oper_id]) ON [PRIMARY]
--@ exec item 13 layout
--@ commit item 13
CREATE INDEX [i_daysum_giv_branch] ON [dbo].[t_rm_casher_daysum_giv]([branch_no]) ON [PRIMARY]
--@ exec item 14 layout
--@ commit item 14
CREATE INDEX [i_daysum_giv_com_flag] ON [dbo].[t_rm_casher_daysum_giv]([com_flag]) ON [PRIMARY]
--@ exec item 15 layout
--@ commit item 15
update t_sys_system set sys_var_value ='20151227' where sys_var_id ='UPGRADE_DATE'
--@ exec item 16
--@ commit item 16
update t_sys_menu set menu_id ='6701' where menu_id ='F101'
--@ exec item 17
update t_sys_menu set menu_id ='6702' where menu_id ='F102'
--@ exec item 18
update t_sys_menu set menu_id ='6703' where menu_id ='F103'
--@ exec item 19
update t_sys_menu set menu_id ='6704' where menu_id ='F104'
--@ exec item 20
update t_sys_menu set menu_id ='6705' where menu_id ='F105'
--@ exec item 21
update t_sys_menu set menu_id ='6706' where menu_id ='F106'
--@ exec item 22
update t_sys_menu set normal_flag ='0' where menu_id like '67%'
--@ exec item 23
--@ commit item 23
alter table t_rm_vip_motherhood_identity add baby_name1 varchar(20) default('') null
--@ exec item 24
--@ commit item 24
alter table t_rm_vip_motherhood_identity add baby_rem1 varchar(20) default('') null
--@ exec item 25
--@ commit item 25
alter table t_rm_vip_motherhood_identity add baby_sex1 varchar(2) default('') null
--@ exec item 26
--@ commit item 26
alter table t_rm_vip_motherhood_identity add baby_birthday_date1 datetime  null
--@ exec item 27
--@ commit item 27
alter table t_bd_appitem_info add measure_flag char(1) default('0') null
--@ exec item 28
--@ commit item 28
alter table t_bd_supcust_item add num numeric(16,4) default(0) null
--@ exec item 29
--@ commit item 29
update t_sys_system set sys_var_value ='20170521' where sys_var_id ='UPGRADE_DATE'
--@ exec item 30
--@ commit item 30
insert into t_sys_menu values ( '6407' , '储值卡余额查询' , 'w_rm_vip_savingamt_query' , 'BROW' , 'S' , '' , '111100' , '0' , '0' , '0' , '0' , NULL )
--@ exec item 31
--@ commit item 31
insert into t_sys_menu values ( '6408' , '会员积分查询' , 'w_vip_query_acclist' , 'BROW' , 'S' , '' , '111101' , '0' , '0' , '0' , '0' , NULL )
--@ exec item 32
--@ commit item 32
CREATE TABLE [dbo].[t_vipday_item] ([item_no] [varchar](20) NOT NULL, [dis] [numeric](10, 2) NOT NULL) ON [PRIMARY]
--@ exec item 33 layout
--@ commit item 33
ALTER TABLE [dbo].[t_vipday_item] WITH NOCHECK ADD CONSTRAINT [pk_vipday_item] PRIMARY KEY CLUSTERED ([item_no]) ON [PRIMARY]
--@ exec item 34 layout
--@ commit item 34
alter table t_sys_operator alter column cash_grant varchar(30) null
--@ exec item 35
--@ commit item 35
update t_sys_menu set branch_flag ='111101' where menu_id ='3101'
--@ exec item 36
--@ commit item 36
create table t_rm_vip_small(card_id varchar(20) not null,small_amt u_amount  null,oper_id u_oper_id null,oper_date u_date null,branch_no u_branch_no null,)ON [PRIMARY]
--@ exec item 37
--@ commit item 37
ALTER TABLE [dbo].[t_rm_vip_small] WITH NOCHECK ADD CONSTRAINT [PK_t_rm_vip_small] PRIMARY KEY CLUSTERED ([card_id]) ON [PRIMARY]
--@ exec item 38 layout
--@ commit item 38
CREATE TABLE [dbo].[t_rm_vip_small_log] ([flow_id] [decimal](18, 0) IDENTITY (1, 1) NOT NULL, [card_id] [varchar](20) NOT NULL, [small_amt] [u_amount] NULL, [oper_id] [u_oper_id] NULL, [oper_date] [u_date] NULL, [branch_no] [u_branch_no] NULL, [db_no] [char](1) NULL, [flow_no] [varchar](18) NULL, [memo] [varchar](50) NULL) ON [PRIMARY]
--@ exec item 39 layout
--@ commit item 39
ALTER TABLE [dbo].[t_rm_vip_small_log] WITH NOCHECK ADD CONSTRAINT [PK_t_rm_vip_small_log] PRIMARY KEY CLUSTERED ([flow_id]) ON [PRIMARY]
--@ exec item 40 layout
--@ commit item 40
insert into t_sys_menu values ( '6409' , '会员零钱包查询' , 'w_vip_small_query' , 'BROW' , 'S' , '' , '111100' , '0' , '0' , '0' , '0' , NULL )
--@ exec item 41
--@ commit item 41
insert into t_sys_menu ( menu_id , menu_name , menu_code , menu_type , open_type , branch_flag , normal_flag , flag1 , flag2 , flag3 ) values ( '5701' , '客户新增回访' , 'w_wm_cus_visit_new' , 'OTHR' , 'R' , '111101' , '0' , '0' , '0' , '0' )
--@ exec item 42 layout
--@ commit item 42
insert into t_sys_menu ( menu_id , menu_name , menu_code , menu_type , open_type , branch_flag , normal_flag , flag1 , flag2 , flag3 ) values ( '5702' , '客户回访' , 'w_wm_cus_visit' , 'EDIT' , 'R' , '111101' , '0' , '0' , '0' , '0' )
--@ exec item 43 layout
--@ commit item 43
insert into t_sys_menu ( menu_id , menu_name , menu_code , menu_type , open_type , branch_flag , normal_flag , flag1 , flag2 , flag3 ) values ( '5703' , '客户回访分析' , 'w_wm_cus_analyze_visit' , 'BROW' , 'S' , '111101' , '0' , '0' , '0' , '0' )
--@ exec item 44 layout
--@ commit item 44
insert into t_sys_menu ( menu_id , menu_name , menu_code , menu_type , open_type , branch_flag , normal_flag , flag1 , flag2 , flag3 ) values ( '5704' , '客户回访查询' , 'w_wm_cus_visit_query' , 'BROW' , 'S' , '111101' , '0' , '0' , '0' , '0' )
--@ exec item 45 layout
--@ commit item 45
CREATE TABLE [dbo].[t_wm_vip_visit] ([visit_id] [numeric](10, 0) IDENTITY (1, 1) NOT NULL, [card_id] [varchar](20) COLLATE Chinese_PRC_CI_AS NOT NULL, [visit_typeno] [char](2) COLLATE Chinese_PRC_CI_AS NULL, [visit_type] [char](20) COLLATE Chinese_PRC_CI_AS NULL, [visit_way] [char](10) COLLATE Chinese_PRC_CI_AS NULL, [item_name] [char](40) COLLATE Chinese_PRC_CI_AS NULL, [buy_emporium] [varchar](60) COLLATE Chinese_PRC_CI_AS NULL, [buy_date] [datetime] NULL, [satisfaction_degree] [char](10) COLLATE Chinese_PRC_CI_AS NULL, [advice_type] [char](1) COLLATE Chinese_PRC_CI_AS NULL, [visit_content] [varchar](512) COLLATE Chinese_PRC_CI_AS NULL, [visit_oper_id] [char](4) COLLATE Chinese_PRC_CI_AS NULL, [visit_date] [datetime] NULL, [com_flag] [char](1) COLLATE Chinese_PRC_CI_AS NULL, [branch_no] [u_branch_no] NULL, [flow_no] [u_sheet_no] NULL, [visit_subjectno] [char](2) COLLATE Chinese_PRC_CI_AS NULL, [visit_subject] [varchar](255) COLLATE Chinese_PRC_CI_AS NULL, [visit_status] [varchar](1) COLLATE Chinese_PRC_CI_AS NULL) ON [PRIMARY]
--@ exec item 46 layout
--@ commit item 46
ALTER TABLE [dbo].[t_wm_vip_visit] WITH NOCHECK ADD CONSTRAINT [PK_t_wm_vip_visit] PRIMARY KEY CLUSTERED ([visit_id]) ON [PRIMARY]
--@ exec item 47 layout
--@ commit item 47
ALTER TABLE [dbo].[t_wm_vip_visit] ADD CONSTRAINT [DF__t_wm_cus___visit__2BD9307E] DEFAULT ('1') FOR [visit_status]
--@ exec item 48 layout
--@ commit item 48
alter table t_sys_operator add area_manager char(1) default(0)  null
--@ exec item 49
--@ commit item 49
alter table t_im_sheet_master add valid_date datetime null
--@ exec item 50
--@ commit item 50
alter table t_im_sheet_master add order_status char(1)  null
--@ exec item 51
--@ commit item 51
alter table t_im_sheet_master add modified_id varchar(4)  null
--@ exec item 52
--@ commit item 52
alter table t_im_sheet_master add modified_date datetime  null
--@ exec item 53
--@ commit item 53
alter table t_im_sheet_master add md_flag varchar(1)default('0')  null
--@ exec item 54
--@ commit item 54
alter table t_cm_im_sheet_master add valid_date datetime null
--@ exec item 55
--@ commit item 55
alter table t_cm_im_sheet_master add order_status char(1)  null
--@ exec item 56
--@ commit item 56
alter table t_cm_im_sheet_master add modified_id varchar(4)  null
--@ exec item 57
--@ commit item 57
alter table t_cm_im_sheet_master add modified_date datetime  null
--@ exec item 58
--@ commit item 58
alter table t_cm_im_sheet_master add md_flag varchar(1)default('0')  null
--@ exec item 59
--@ commit item 59
CREATE TABLE [dbo].[t_rm_vip_saveset] ([flow_id] [numeric](14, 0) IDENTITY (1, 1) NOT NULL, [start_amt] [numeric](16, 4) NULL, [end_amt] [numeric](16, 4) NULL, [begin_date] [datetime] NOT NULL, [end_date] [datetime] NOT NULL, [send_amt] [numeric](16, 4) NULL, [branch_no] [u_branch_no] NULL, set_type char(1) default('0') not null, item_clsno u_item_clsno null) ON [PRIMARY]
--@ exec item 60 layout
--@ commit item 60
ALTER TABLE [dbo].[t_rm_vip_saveset] WITH NOCHECK ADD CONSTRAINT [PK_T_RM_VIP_SAVESET] PRIMARY KEY CLUSTERED ([flow_id], [begin_date], [end_date]) ON [PRIMARY]
--@ exec item 61 layout
--@ commit item 61
insert into t_sys_menu values ( '6123' , '全场储值充值方案' , 'w_vip_saving_favor' , 'EDIT' , 'S' , '' , '110000' , '0' , '0' , '0' , '0' , NULL )
--@ exec item 62
--@ commit item 62
alter table t_bd_item_info add init_stock numeric(16,4) default(0) null
--@ exec item 63
--@ commit item 63
insert into t_sys_menu values ( '6124' , '批量积分冲减' , 'w_vip_consume_batch' , 'OTHR' , 'R' , '' , '110000' , '0' , '0' , '0' , '0' , NULL )
--@ exec item 64
--@ commit item 64
alter table t_rm_protion_flow add giftcert_no varchar(20) null
--@ exec item 65
--@ commit item 65
update t_sys_system set sys_var_value ='V8 20190110' where sys_var_id ='DataBase_Version'
--@ exec item 66
--@ commit item 66
--@ update-script item 67
insert t_sys_oper_grant select distinct oper_id , t_sys_menu.menu_id , '1' , '0' , '0' , '0' , '0' , '0' , '0' , '0' , '0' , '0' , '' from t_sys_operator , t_sys_menu where t_sys_menu.menu_id not in ( select func_id from t_sys_oper_grant )
--@ exec item 68
--@ commit item 68
