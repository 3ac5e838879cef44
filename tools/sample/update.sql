-- 门店参数：小票打印份数（已有则不再插入，可重复执行）
if not exists (select 1 from t_sys_system where sys_var_id = 'PRINT_COPIES')
	insert t_sys_system values ( 'PRINT_COPIES' , 'PRINT_COPIES' , '1' , '是' , '' , null , null , null )
GO
update t_sys_menu set normal_flag = '0' where menu_id like '67%' and normal_flag <> '0'
GO
if not exists (select 1 from sysindexes where name = 'i_vip_visit_card')
	create index i_vip_visit_card on t_wm_vip_visit (card_id)
go
