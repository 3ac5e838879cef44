if exists (select 1 from sysobjects where name = 'tr_rm_vip_small_log_MS' and type = 'TR')
	drop trigger tr_rm_vip_small_log_MS
go
create trigger tr_rm_vip_small_log_MS on t_rm_vip_small_log
for insert
as
begin
	set nocount on

	update s
	set small_amt = isnull(s.small_amt, 0) + i.small_amt,
		oper_id = i.oper_id,
		oper_date = i.oper_date,
		branch_no = i.branch_no
	from t_rm_vip_small s
		join (select card_id, sum(isnull(small_amt, 0)) as small_amt,
				max(oper_id) as oper_id, max(oper_date) as oper_date, max(branch_no) as branch_no
			from inserted group by card_id) i on i.card_id = s.card_id

	insert t_rm_vip_small (card_id, small_amt, oper_id, oper_date, branch_no)
	select card_id, sum(isnull(small_amt, 0)), max(oper_id), max(oper_date), max(branch_no)
	from inserted i
	where not exists (select 1 from t_rm_vip_small s where s.card_id = i.card_id)
	group by card_id
end
