#include <gtest/gtest.h>

#include "rt/datetime.h"
#include "rt/reflect.h"

using namespace rt;

namespace {

std::string show(const DateTime& v) { return v.is_null() ? "NULL" : *string_of(v); }
std::string show(const Date& v) { return v.is_null() ? "NULL" : *string_of(v); }
std::string show(const Time& v) { return v.is_null() ? "NULL" : *string_of(v); }

TEST(Dates, TextToDateAcceptsFieldsWithoutLeadingZeros) {
  EXPECT_EQ(show(to_date(std::string("2019-1-5"))), "2019-01-05");
  EXPECT_EQ(show(to_date(std::string(" 2019/01/05 "))), "2019-01-05");
  EXPECT_EQ(show(to_date(std::string("2024-2-29"))), "2024-02-29");
  EXPECT_EQ(show(to_date(std::string("49-3-1"))), "2049-03-01");
  EXPECT_EQ(show(to_date(std::string("50-3-1"))), "1950-03-01");
  // Not a day: the runtime's initial date.
  for (const char* bad : {"2023-2-29", "2019-13-1", "2019-0-1", "2019-1", "x", "", "2019-1-5x", "-2019-1-5"})
    EXPECT_EQ(show(to_date(std::string(bad))), "1900-01-01") << bad;
  EXPECT_TRUE(to_date(String(null)).is_null());
}

TEST(Dates, TextToTimeTakesAMillisecondFourthField) {
  EXPECT_EQ(show(to_time(std::string("9:5:7:30"))), "09:05:07.030000");
  EXPECT_EQ(show(to_time(std::string("0:0:0:0"))), "00:00:00");
  EXPECT_EQ(show(to_time(std::string("23:59:59:999"))), "23:59:59.999000");
  EXPECT_EQ(show(to_time(std::string("10:20:30.75"))), "10:20:30.750000");
  EXPECT_EQ(show(to_time(std::string("10:20"))), "10:20:00");
  for (const char* bad : {"24:0:0", "1:60:0", "1:1:60", "1:1:1:1000", "1:1:1.5:3", "1", "a:b", ""})
    EXPECT_EQ(show(to_time(std::string(bad))), "00:00:00") << bad;
  EXPECT_TRUE(to_time(String(null)).is_null());
}

TEST(Dates, PartsAndDayNumbers) {
  DateTime dt = to_datetime(to_date(std::string("2019-1-5")), to_time(std::string("9:5:7:30")));
  EXPECT_EQ(show(dt), "2019-01-05 09:05:07.030000");
  Date d = date_part(dt);
  Time t = time_part(dt);
  EXPECT_EQ(*year(d), 2019);
  EXPECT_EQ(*month(d), 1);
  EXPECT_EQ(*day(d), 5);
  EXPECT_EQ(*hour(t), 9);
  EXPECT_EQ(*minute(t), 5);
  EXPECT_EQ(*second(t), 7);
  EXPECT_EQ(*microsecond(t), 30000);
  EXPECT_EQ(*daynumber(d), 7);                                  // Saturday
  EXPECT_EQ(*daynumber(to_date(std::string("2019-1-6"))), 1);   // Sunday
  EXPECT_EQ(*daynumber(to_date(std::string("2000-2-29"))), 3);  // Tuesday
  EXPECT_EQ(*daynumber(to_date(std::string("1601-1-1"))), 2);   // Monday
  EXPECT_TRUE(to_datetime(Date(null), Time(TimeValue())).is_null());
  EXPECT_TRUE(year(date_part(DateTime(null))).is_null());
  EXPECT_TRUE(daynumber(Date(null)).is_null());
}

TEST(Reflection, VariableListsLeadWithTheClassDefinitionEntry) {
  auto inner = define_structure("s_inner", {member("v", types::ulong())});
  auto def = define_structure("s_outer", {member("c", types::character(), {260}), member("in", inner),
                                          unbounded_member("open", types::long_())});
  EXPECT_EQ(def->name(), "s_outer");
  EXPECT_EQ(def->data_type_of(), "structure");
  const auto& vars = def->variable_list();
  ASSERT_EQ(vars.size(), 4u);
  EXPECT_EQ(vars[0].name, "classdefinition");
  EXPECT_EQ(vars[1].name, "c");
  ASSERT_EQ(vars[1].cardinality.array_definition.size(), 1u);
  EXPECT_EQ(*vars[1].cardinality.array_definition[0].lower_bound, 1);
  EXPECT_EQ(*vars[1].cardinality.array_definition[0].upper_bound, 260);
  EXPECT_EQ(vars[2].type_info, inner);
  EXPECT_EQ(vars[3].cardinality.cardinality, VariableCardinalityDefinition::Cardinality::UnboundedArray);
  EXPECT_EQ(define_class("n_obj", {})->data_type_of(), "n_obj");
}

TEST(Reflection, ClassNamesOfValues) {
  EXPECT_EQ(*class_name(Any(Long(1))), "long");
  EXPECT_EQ(*class_name(Any(ULong(null))), "unsignedlong");
  EXPECT_EQ(*class_name(Any(Int(null))), "integer");
  EXPECT_EQ(*class_name(Any(UInt(null))), "unsignedinteger");
  EXPECT_EQ(*class_name(Any(Char('a'))), "character");
  EXPECT_EQ(*class_name(Any(String(null))), "string");
  EXPECT_EQ(*class_name(Any(Bool(true))), "boolean");
  EXPECT_EQ(*class_name(Any(Double(1.0))), "double");
  EXPECT_EQ(*class_name(Any(DateTime(null))), "datetime");
  EXPECT_TRUE(class_name(Any()).is_null());
  EXPECT_TRUE(class_name(Any(static_cast<const Object*>(nullptr))).is_null());
}

}  // namespace
