if exists (select 1 from sysobjects where name = 'pr_rm_market_sum_MS' and type = 'P')
	drop procedure pr_rm_market_sum_MS
go
create procedure pr_rm_market_sum_MS
	@branch_no varchar(6),
	@date1 datetime,
	@date2 datetime
as
begin
	-- 市调汇总：按门店、商品统计调查次数和平均价格
	set nocount on

	select m.branch_no,
		m.item_no,
		count(*) as survey_count,
		avg(m.price) as avg_price,
		avg(m.vip_price) as avg_vip_price,
		sum(m.sale_qty) as sale_qty,
		min(d.opp_price) as lowest_opp_price
	from t_rm_market m
		left join t_rm_market_detail d on d.com_no = m.com_no
	where m.oper_date >= @date1
		and m.oper_date < dateadd(day, 1, @date2)
		and (@branch_no = '' or m.branch_no = @branch_no)
	group by m.branch_no, m.item_no
	order by m.branch_no, m.item_no
end
