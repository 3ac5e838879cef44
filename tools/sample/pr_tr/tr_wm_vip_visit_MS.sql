if exists (select 1 from sysobjects where name = 'tr_wm_vip_visit_MS' and type = 'TR')
	drop trigger tr_wm_vip_visit_MS
go
create trigger tr_wm_vip_visit_MS on t_wm_vip_visit
for insert, update
as
begin
	-- 回访记录：没有填回访日期的，取当前时间；状态为空的记为未完成
	set nocount on

	update v
	set visit_date = isnull(v.visit_date, getdate()),
		visit_status = isnull(v.visit_status, '1')
	from t_wm_vip_visit v
		join inserted i on i.visit_id = v.visit_id
	where v.visit_date is null or v.visit_status is null
end
