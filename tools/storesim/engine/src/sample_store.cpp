// The sample store database, built with the engine's own SQL.
#include "storesim/sample_store.h"

#include <vector>

namespace storesim {

namespace {

const char* kTypes = R"(
create type u_amount from numeric(16,4) null
create type u_oper_id from varchar(4) null
create type u_date from datetime null
create type u_branch_no from varchar(6) null
create type u_sheet_no from varchar(20) null
create type u_item_clsno from varchar(10) null
)";

const char* kTables = R"(
CREATE TABLE [dbo].[t_sys_menu] (
  [menu_id] varchar(10) COLLATE Chinese_PRC_CI_AS NOT NULL,
  [menu_name] varchar(60) COLLATE Chinese_PRC_CI_AS NULL,
  [menu_code] varchar(60) COLLATE Chinese_PRC_CI_AS NULL,
  [menu_type] varchar(4) COLLATE Chinese_PRC_CI_AS NULL,
  [open_type] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  [menu_param] varchar(60) COLLATE Chinese_PRC_CI_AS NULL,
  [branch_flag] varchar(10) COLLATE Chinese_PRC_CI_AS NULL,
  [normal_flag] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  [flag1] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  [flag2] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  [flag3] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  [menu_memo] varchar(100) COLLATE Chinese_PRC_CI_AS NULL,
  CONSTRAINT [PK_t_sys_menu] PRIMARY KEY CLUSTERED ([menu_id]) ON [PRIMARY]
) ON [PRIMARY]

CREATE TABLE [dbo].[t_sys_operator] (
  [oper_id] u_oper_id NOT NULL,
  [oper_name] varchar(20) COLLATE Chinese_PRC_CI_AS NULL,
  [oper_pw] varchar(40) COLLATE Chinese_PRC_CI_AS NULL,
  [branch_no] u_branch_no NULL,
  [oper_type] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  [oper_status] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  [cash_grant] varchar(10) COLLATE Chinese_PRC_CI_AS NULL,
  [memo] varchar(60) COLLATE Chinese_PRC_CI_AS NULL,
  CONSTRAINT [PK_t_sys_operator] PRIMARY KEY CLUSTERED ([oper_id]) ON [PRIMARY]
) ON [PRIMARY]

CREATE TABLE [dbo].[t_sys_oper_grant] (
  [oper_id] u_oper_id NOT NULL,
  [func_id] varchar(10) COLLATE Chinese_PRC_CI_AS NOT NULL,
  [grant_flag] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  [add_flag] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  [edit_flag] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  [del_flag] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  [check_flag] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  [print_flag] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  [export_flag] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  [price_flag] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  [cost_flag] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  [amt_flag] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  [memo] varchar(60) COLLATE Chinese_PRC_CI_AS NULL,
  CONSTRAINT [PK_t_sys_oper_grant] PRIMARY KEY CLUSTERED ([oper_id], [func_id]) ON [PRIMARY]
) ON [PRIMARY]

CREATE TABLE [dbo].[t_sys_pos_status_history] (
  [branch_no] u_branch_no NOT NULL,
  [pos_id] varchar(8) COLLATE Chinese_PRC_CI_AS NOT NULL,
  [oper_id] u_oper_id NULL,
  [oper_date] u_date NULL,
  [pos_status] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  [memo] varchar(60) COLLATE Chinese_PRC_CI_AS NULL
) ON [PRIMARY]
CREATE INDEX [Index_1] ON [dbo].[t_sys_pos_status_history]([branch_no], [pos_id], [oper_date]) ON [PRIMARY]

CREATE TABLE [dbo].[t_rm_vip_motherhood_identity] (
  [card_id] varchar(20) COLLATE Chinese_PRC_CI_AS NOT NULL,
  [mother_name] varchar(20) COLLATE Chinese_PRC_CI_AS NULL,
  [baby_name] varchar(20) COLLATE Chinese_PRC_CI_AS NULL,
  [baby_rem] varchar(20) COLLATE Chinese_PRC_CI_AS NULL,
  [baby_sex] varchar(2) COLLATE Chinese_PRC_CI_AS NULL,
  [baby_birthday_date] datetime NULL,
  [oper_id] u_oper_id NULL,
  [oper_date] u_date NULL,
  CONSTRAINT [PK_t_rm_vip_motherhood_identity] PRIMARY KEY CLUSTERED ([card_id]) ON [PRIMARY]
) ON [PRIMARY]

CREATE TABLE [dbo].[t_bd_appitem_info] (
  [item_no] varchar(20) COLLATE Chinese_PRC_CI_AS NOT NULL,
  [item_name] varchar(40) COLLATE Chinese_PRC_CI_AS NULL,
  [item_subno] varchar(20) COLLATE Chinese_PRC_CI_AS NULL,
  [price] u_amount NULL,
  [app_flag] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  CONSTRAINT [PK_t_bd_appitem_info] PRIMARY KEY CLUSTERED ([item_no]) ON [PRIMARY]
) ON [PRIMARY]

CREATE TABLE [dbo].[t_bd_supcust_item] (
  [supcust_no] varchar(8) COLLATE Chinese_PRC_CI_AS NOT NULL,
  [item_no] varchar(20) COLLATE Chinese_PRC_CI_AS NOT NULL,
  [price] u_amount NULL,
  [oper_date] u_date NULL,
  CONSTRAINT [PK_t_bd_supcust_item] PRIMARY KEY CLUSTERED ([supcust_no], [item_no]) ON [PRIMARY]
) ON [PRIMARY]

CREATE TABLE [dbo].[t_im_sheet_master] (
  [sheet_no] u_sheet_no NOT NULL,
  [trans_no] char(2) COLLATE Chinese_PRC_CI_AS NULL,
  [branch_no] u_branch_no NULL,
  [d_branch_no] u_branch_no NULL,
  [supcust_no] varchar(8) COLLATE Chinese_PRC_CI_AS NULL,
  [sheet_amt] u_amount NULL,
  [oper_id] u_oper_id NULL,
  [oper_date] u_date NULL,
  [approve_flag] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  [memo] varchar(100) COLLATE Chinese_PRC_CI_AS NULL,
  CONSTRAINT [PK_t_im_sheet_master] PRIMARY KEY CLUSTERED ([sheet_no]) ON [PRIMARY]
) ON [PRIMARY]

CREATE TABLE [dbo].[t_cm_im_sheet_master] (
  [sheet_no] u_sheet_no NOT NULL,
  [trans_no] char(2) COLLATE Chinese_PRC_CI_AS NULL,
  [branch_no] u_branch_no NULL,
  [d_branch_no] u_branch_no NULL,
  [supcust_no] varchar(8) COLLATE Chinese_PRC_CI_AS NULL,
  [sheet_amt] u_amount NULL,
  [oper_id] u_oper_id NULL,
  [oper_date] u_date NULL,
  [approve_flag] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  [memo] varchar(100) COLLATE Chinese_PRC_CI_AS NULL,
  CONSTRAINT [PK_t_cm_im_sheet_master] PRIMARY KEY CLUSTERED ([sheet_no]) ON [PRIMARY]
) ON [PRIMARY]

CREATE TABLE [dbo].[t_bd_item_info] (
  [item_no] varchar(20) COLLATE Chinese_PRC_CI_AS NOT NULL,
  [item_subno] varchar(20) COLLATE Chinese_PRC_CI_AS NULL,
  [item_name] varchar(40) COLLATE Chinese_PRC_CI_AS NULL,
  [item_clsno] u_item_clsno NULL,
  [unit_no] varchar(6) COLLATE Chinese_PRC_CI_AS NULL,
  [price] u_amount NULL,
  [sale_price] u_amount NULL,
  [status] char(1) COLLATE Chinese_PRC_CI_AS NULL,
  CONSTRAINT [PK_t_bd_item_info] PRIMARY KEY CLUSTERED ([item_no]) ON [PRIMARY]
) ON [PRIMARY]

CREATE TABLE [dbo].[t_rm_protion_flow] (
  [flow_id] numeric(18, 0) IDENTITY (1, 1) NOT NULL,
  [branch_no] u_branch_no NULL,
  [card_id] varchar(20) COLLATE Chinese_PRC_CI_AS NULL,
  [item_no] varchar(20) COLLATE Chinese_PRC_CI_AS NULL,
  [sale_qty] u_amount NULL,
  [sale_amt] u_amount NULL,
  [oper_id] u_oper_id NULL,
  [oper_date] u_date NULL,
  CONSTRAINT [PK_t_rm_protion_flow] PRIMARY KEY CLUSTERED ([flow_id]) ON [PRIMARY]
) ON [PRIMARY]
)";

const char* kRows = R"(
insert into t_sys_operator values ('1001', '系统管理员', '', '000', '1', '1', '111111', '')
insert into t_sys_operator values ('1002', '收银员甲', '', '001', '2', '1', '110000', '')
insert into t_sys_operator values ('1003', '收银员乙', '', '001', '2', '1', '110000', null)

insert into t_sys_menu values ('0101', '商品档案', 'w_bd_item_info', 'EDIT', 'S', '', '111111', '1', '0', '0', '0', null)
insert into t_sys_menu values ('0102', '供应商档案', 'w_bd_supcust', 'EDIT', 'S', '', '111111', '1', '0', '0', '0', null)
insert into t_sys_menu values ('1101', '采购订单', 'w_im_sheet_po', 'EDIT', 'S', '', '110000', '1', '0', '0', '0', null)
insert into t_sys_menu values ('2101', '门店配送', 'w_im_sheet_do', 'EDIT', 'S', '', '110000', '1', '0', '0', '0', null)
insert into t_sys_menu values ('3101', '前台销售查询', 'w_rm_sale_query', 'BROW', 'S', '', '111100', '1', '0', '0', '0', null)
insert into t_sys_menu values ('3102', '收银对账', 'w_rm_casher_check', 'BROW', 'S', '', '111100', '1', '0', '0', '0', null)
insert into t_sys_menu values ('4101', '库存查询', 'w_im_stock_query', 'BROW', 'S', '', '111111', '1', '0', '0', '0', null)
insert into t_sys_menu values ('6101', '会员档案', 'w_rm_vip_info', 'EDIT', 'S', '', '111111', '1', '0', '0', '0', null)
insert into t_sys_menu values ('6401', '会员消费查询', 'w_rm_vip_sale_query', 'BROW', 'S', '', '111100', '1', '0', '0', '0', null)
insert into t_sys_menu values ('B401', '操作员管理', 'w_sys_operator', 'OTHR', 'R', '', '110000', '1', '0', '0', '0', null)
insert into t_sys_menu values ('F101', '母婴会员登记', 'w_rm_vip_motherhood', 'EDIT', 'S', '', '111100', '1', '0', '0', '0', null)
insert into t_sys_menu values ('F102', '母婴会员查询', 'w_rm_vip_motherhood_query', 'BROW', 'S', '', '111100', '1', '0', '0', '0', null)
insert into t_sys_menu values ('F103', '母婴积分规则', 'w_rm_vip_motherhood_rule', 'EDIT', 'S', '', '110000', '1', '0', '0', '0', null)
insert into t_sys_menu values ('F104', '母婴回访', 'w_rm_vip_motherhood_visit', 'EDIT', 'S', '', '111100', '1', '0', '0', '0', null)
insert into t_sys_menu values ('F105', '母婴统计', 'w_rm_vip_motherhood_stat', 'BROW', 'S', '', '110000', '1', '0', '0', '0', null)
insert into t_sys_menu values ('F106', '母婴报表', 'w_rm_vip_motherhood_report', 'BROW', 'S', '', '110000', '1', '0', '0', '0', null)

insert into t_sys_oper_grant select oper_id, menu_id, '1', '1', '1', '1', '1', '1', '1', '1', '1', '1', ''
  from t_sys_operator, t_sys_menu where oper_id = '1001' and menu_id not in ('F105', 'F106', '3102')
insert into t_sys_oper_grant select oper_id, menu_id, '1', '0', '0', '0', '0', '1', '0', '0', '0', '0', ''
  from t_sys_operator, t_sys_menu where oper_id <> '1001' and menu_id in ('3101', '6101', '6401', 'F101')

insert into t_sys_system values ('BRANCH_NO', '本店编号', '000', '否', '', null, null, null)
insert into t_sys_system values ('STORE_NAME', '门店名称', '岚舟示范店', '是', '', null, null, null)

insert into t_sys_pos_status_history values ('001', '0101', '1002', '2015-06-01 08:30:00', '1', '')
insert into t_sys_pos_status_history values ('001', '0102', '1003', '2015-06-01 08:35:00', '1', '')

insert into t_rm_vip_motherhood_identity values ('V0000001', '林晓', '林小雨', '', '女', '2014-03-08', '1002', '2015-04-01')
insert into t_rm_vip_motherhood_identity values ('V0000002', '王芳', '王乐', '', '男', '2015-01-20', '1003', '2015-05-12')

insert into t_bd_item_info values ('6901234567890', '0001', '婴儿奶粉900g', '0101', '罐', 180, 198, '1')
insert into t_bd_item_info values ('6901234567891', '0002', '纸尿裤L码', '0102', '包', 65.5, 79, '1')
insert into t_bd_appitem_info values ('6901234567890', '婴儿奶粉900g', '0001', 198, '1')
insert into t_bd_supcust_item values ('S001', '6901234567890', 180, '2015-03-01')
insert into t_bd_supcust_item values ('S001', '6901234567891', 65.5, '2015-03-01')

insert into t_im_sheet_master values ('PO000150601001', 'PO', '000', '001', 'S001', 4550, '1001', '2015-06-01', '1', '')
insert into t_cm_im_sheet_master values ('PO000150501001', 'PO', '000', '001', 'S001', 1800, '1001', '2015-05-01', '1', '')

insert into t_rm_protion_flow (branch_no, card_id, item_no, sale_qty, sale_amt, oper_id, oper_date)
  values ('001', 'V0000001', '6901234567890', 1, 198, '1002', '2015-06-02 10:15:00')
)";

bool Run(MemoryEngine& engine, const std::string& db, const std::string& sql, std::string* error) {
  BatchResult r = engine.Execute(db, sql);
  if (auto e = FirstError(r)) {
    if (error) *error = std::to_string(e->number) + ": " + e->text;
    return false;
  }
  return true;
}

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

}  // namespace

bool CreateSampleStore(MemoryEngine& engine, const SampleOptions& options, std::string* error) {
  const std::string& db = options.database;
  if (!engine.CreateDatabase(db)) {
    if (error) *error = "database " + db + " exists already";
    return false;
  }
  std::string system = R"(
CREATE TABLE [dbo].[t_sys_system] (
  [sys_var_id] varchar(30) COLLATE Chinese_PRC_CI_AS NOT NULL,
  [sys_var_name] varchar(60) COLLATE Chinese_PRC_CI_AS NULL,
  [sys_var_value] varchar(100) COLLATE Chinese_PRC_CI_AS NULL,
  [sys_ischange] varchar(2) COLLATE Chinese_PRC_CI_AS NULL,
  [sys_var_memo] varchar(100) COLLATE Chinese_PRC_CI_AS NULL,
  [sys_var_type] varchar(10) COLLATE Chinese_PRC_CI_AS NULL,
  [sys_var_default] varchar(100) COLLATE Chinese_PRC_CI_AS NULL,
  [sys_var_range] varchar(100) COLLATE Chinese_PRC_CI_AS NULL)";
  if (options.system_primary_key) {
    system += ",\n  CONSTRAINT [PK_t_sys_system] PRIMARY KEY CLUSTERED ([sys_var_id]) ON [PRIMARY]";
  }
  system += "\n) ON [PRIMARY]\n";

  std::vector<std::string> batches{kTypes, system, kTables, kRows};
  batches.insert(batches.end(), options.earlier_stages.begin(), options.earlier_stages.end());
  std::string marks;
  if (options.version_row) {
    marks += "insert into t_sys_system values ('DataBase_Version', '数据库版本', 'V8 20150601', '否', '', null, null, null)\n";
  }
  if (options.null_upgrade_date) {
    marks += "insert into t_sys_system values ('UPGRADE_DATE', 'UPGRADE_DATE', null, '是', '', null, null, null)\n";
  } else if (options.upgrade_date) {
    marks += "insert into t_sys_system values ('UPGRADE_DATE', 'UPGRADE_DATE', " + Quote(*options.upgrade_date) +
             ", '是', '', null, null, null)\n";
  }
  if (!marks.empty()) batches.push_back(marks);
  for (const auto& b : batches) {
    if (!Run(engine, db, b, error)) return false;
  }
  return true;
}

}  // namespace storesim
