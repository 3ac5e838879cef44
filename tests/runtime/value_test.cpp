#include <gtest/gtest.h>

#include "rt/value.h"

using namespace rt;

TEST(Values, NullPropagatesThroughArithmeticAndComparison) {
  Long a = 5;
  Long n = null;
  EXPECT_TRUE(isnull(a + n));
  EXPECT_TRUE(isnull(n * a));
  EXPECT_TRUE(isnull(a == n));
  // A test on NULL is false, and so is its negation.
  EXPECT_FALSE(test(a == n));
  EXPECT_FALSE(test(!(a == n)));
  EXPECT_TRUE(test(a == Long(5)));
  EXPECT_TRUE(test(a != 4));
}

TEST(Values, LongAndIntegerArithmeticWraps) {
  Long max = 2147483647;
  EXPECT_EQ(*(max + Long(1)), -2147483647 - 1);
  EXPECT_EQ(*(Long(-2147483647 - 1) - Long(1)), 2147483647);
  EXPECT_EQ(*(Long(65536) * Long(65536)), 0);
  Int i = 32767;
  EXPECT_EQ(*(i + Int(1)), -32768);
  EXPECT_EQ(*convert<std::int16_t>(Long(32766 + 4)), -32766);
  EXPECT_EQ(*convert<std::int32_t>(ULong(4294967295u)), -1);
}

TEST(Values, DivisionByZeroRaisesRuntimeError) {
  try {
    (void)(Long(1) / Long(0));
    FAIL() << "no error raised";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), kErrDivideByZero);
  }
  EXPECT_EQ(*(Long(-7) / Long(2)), -3);
  EXPECT_EQ(*mod(Long(-7), Long(2)), -1);
}

TEST(Values, ThreeValuedLogic) {
  Bool t = true, f = false, n = null;
  EXPECT_TRUE(isnull(land(t, n)));
  EXPECT_FALSE(*land(f, n));
  EXPECT_TRUE(*lor(t, n));
  EXPECT_TRUE(isnull(lor(f, n)));
  EXPECT_TRUE(isnull(!n));
}

TEST(Values, TruncationKeepsThe32BitPattern) {
  EXPECT_EQ(*truncate_to_long(Double(3.9)), 3);
  EXPECT_EQ(*truncate_to_long(Double(-3.9)), -3);
  EXPECT_EQ(*truncate_to_long(Double(4294967295.0)), -1);
  EXPECT_EQ(*truncate_to_long(Double(2147483648.0)), -2147483647 - 1);
  EXPECT_TRUE(isnull(truncate_to_long(Double(null))));
  EXPECT_THROW(truncate_to_long(Double(1e12)), RuntimeError);
}

TEST(Errors, RunEventStopsTheHandlerAndReportsTheNumber) {
  std::vector<int> steps;
  auto inner = [&] {
    steps.push_back(2);
    raise_error(kErrNullObject);
  };
  auto outer = [&] {
    steps.push_back(1);
    inner();
    steps.push_back(3);  // never reached
  };
  ErrorReport report;
  set_error_hook([](const RuntimeError&) {});
  EXPECT_FALSE(run_event(outer, &report));
  set_error_hook(nullptr);
  EXPECT_EQ(steps, (std::vector<int>{1, 2}));
  EXPECT_EQ(report.number, kErrNullObject);
  EXPECT_TRUE(run_event([] {}));
}
