// Conversions, arithmetic and built-in functions, as single values.
#include <gtest/gtest.h>

#include "support/engine_helpers.h"

using storesim_test::Errors;
using storesim_test::Numbers;
using storesim_test::SampleEngine;
using storesim_test::Scalar;

namespace {

class Values : public ::testing::Test {
 protected:
  std::unique_ptr<storesim::MemoryEngine> engine = SampleEngine();
  std::optional<std::string> Eval(const std::string& expr) { return Scalar(engine->Execute("store", "select " + expr)); }
  std::vector<int> Refusal(const std::string& expr) { return Errors(engine->Execute("store", "select " + expr)); }
};

TEST_F(Values, DecimalsRoundAndCheckTheirRange) {
  EXPECT_EQ(Eval("cast(2.345 as numeric(10,2))"), "2.35");
  EXPECT_EQ(Eval("cast(-2.345 as numeric(10,2))"), "-2.35");
  EXPECT_EQ(Eval("cast(9.995 as decimal(4,2))"), "10.00");
  EXPECT_EQ(Eval("cast('  7 ' as numeric(5,1))"), "7.0");
  EXPECT_EQ(Eval("cast(-0.001 as numeric(5,2))"), "0.00");
  EXPECT_EQ(Eval("cast(0.5 as int)"), "0");
  EXPECT_EQ(Refusal("cast(99.995 as decimal(4,2))"), std::vector<int>{8115});
  EXPECT_EQ(Refusal("cast('1,5' as numeric(5,1))"), std::vector<int>{8114});
  EXPECT_EQ(Refusal("cast('1.5' as int)"), std::vector<int>{245});
  EXPECT_EQ(Refusal("cast(300 as tinyint)"), std::vector<int>{8115});
  EXPECT_EQ(Eval("cast(5 as bit)"), "1");
}

TEST_F(Values, ArithmeticFollowsTheOperandTypes) {
  EXPECT_EQ(Eval("7 / 2"), "3");
  EXPECT_EQ(Eval("7 % 3"), "1");
  EXPECT_EQ(Eval("7.0 / 2"), "3.500000");
  EXPECT_EQ(Eval("1.25 + 1.5"), "2.75");
  EXPECT_EQ(Eval("-(3 - 5)"), "2");
  EXPECT_EQ(Eval("'1' + 2"), "3");
  EXPECT_EQ(Eval("6 & 3"), "2");
  EXPECT_EQ(Eval("null + 1"), std::nullopt);
  EXPECT_EQ(Refusal("1 / 0"), std::vector<int>{8134});
  EXPECT_EQ(Refusal("2147483647 + 1"), std::vector<int>{8115});
  EXPECT_EQ(Eval("cast('2015-12-27' as datetime) + 5"), "2016-01-01 00:00:00.000");
}

TEST_F(Values, DateTimesFromTheirTexts) {
  EXPECT_EQ(Eval("cast('20151227' as datetime)"), "2015-12-27 00:00:00.000");
  EXPECT_EQ(Eval("cast('2015/12/27 23:59:58.5' as datetime)"), "2015-12-27 23:59:58.500");
  EXPECT_EQ(Eval("cast('2016-02-29T08:00' as datetime)"), "2016-02-29 08:00:00.000");
  EXPECT_EQ(Eval("cast('' as datetime)"), "1900-01-01 00:00:00.000");
  EXPECT_EQ(Eval("cast('10:30' as datetime)"), "1900-01-01 10:30:00.000");
  EXPECT_EQ(Eval("cast('2015-12-27 01:02:03 PM' as datetime)"), "2015-12-27 13:02:03.000");
  EXPECT_EQ(Refusal("cast('2015-02-29' as datetime)"), std::vector<int>{241});
  EXPECT_EQ(Refusal("cast('1700-01-01' as datetime)"), std::vector<int>{241});
  EXPECT_EQ(Refusal("cast('2015-13-01' as datetime)"), std::vector<int>{241});
  EXPECT_EQ(Eval("convert(varchar(10), cast('20190110' as datetime), 120)"), "2019-01-10");
  EXPECT_EQ(Eval("convert(varchar(30), cast('20190110 14:05' as datetime))"), "Jan 10 2019  2:05PM");
}

TEST_F(Values, CaseExpressionsAndFunctionArguments) {
  EXPECT_EQ(Eval("case when 1 = 2 then 'a' when 2 = 2 then 'b' else 'c' end"), "b");
  EXPECT_EQ(Eval("case 'x' when 'X' then 'same' else 'other' end"), "same");
  EXPECT_EQ(Numbers(engine->Execute("store", "select isnull(1)")), std::vector<int>{174});
}

}  // namespace
