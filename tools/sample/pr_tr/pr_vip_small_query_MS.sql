if exists (select 1 from sysobjects where name = 'pr_vip_small_query_MS' and type = 'P')
	drop procedure pr_vip_small_query_MS
go
create procedure pr_vip_small_query_MS
	@card_id varchar(20)
as
begin
	-- 会员零钱包：当前余额和最近的流水
	set nocount on

	select card_id, isnull(small_amt, 0) as small_amt, oper_id, oper_date, branch_no
	from t_rm_vip_small
	where card_id = @card_id

	select top 50 flow_id, small_amt, oper_id, oper_date, branch_no, flow_no, memo
	from t_rm_vip_small_log
	where card_id = @card_id
	order by flow_id desc
end
