// Dates and times of the object runtime.
//
// A date is a calendar day, a time a time of day with microseconds, a
// datetime both. Like every runtime value they may be NULL; an operation on
// NULL gives NULL. A fresh variable holds 1900-01-01 and 00:00:00.
//
// Text conversions:
// - to_date reads "year-month-day" (or with "/" between the fields), each
//   field one or more digits without sign, blanks around the whole text
//   allowed: "2019-1-5" and "2019-01-05" are the same day. A year of one or
//   two digits is taken as 1950 to 2049. A text that is not a valid day
//   gives 1900-01-01.
// - to_time reads "hour:minute", "hour:minute:second",
//   "hour:minute:second.fraction" (up to six fraction digits, a decimal
//   fraction of a second) or "hour:minute:second:milliseconds" (a fourth
//   field of 0 to 999, a count of milliseconds: "9:5:7:30" is 09:05:07.030).
//   A text that is not a valid time of day gives 00:00:00.
#pragma once

#include <compare>
#include <cstdint>

#include "rt/export.h"
#include "rt/text.h"
#include "rt/value.h"

namespace rt {

// The value types have constructors (not aggregate initialisation) so that a
// plain number never converts into a date or a time.
struct DateValue {
  constexpr DateValue() = default;
  constexpr DateValue(int y, int m, int d)
      : year(static_cast<std::int16_t>(y)), month(static_cast<std::uint8_t>(m)), day(static_cast<std::uint8_t>(d)) {}
  std::int16_t year = 1900;
  std::uint8_t month = 1;  // 1 to 12
  std::uint8_t day = 1;    // 1 to 31
  friend constexpr auto operator<=>(const DateValue&, const DateValue&) = default;
};

struct TimeValue {
  constexpr TimeValue() = default;
  constexpr TimeValue(int h, int m, int s, int us = 0)
      : hour(static_cast<std::uint8_t>(h)),
        minute(static_cast<std::uint8_t>(m)),
        second(static_cast<std::uint8_t>(s)),
        microsecond(us) {}
  std::uint8_t hour = 0;
  std::uint8_t minute = 0;
  std::uint8_t second = 0;
  std::int32_t microsecond = 0;  // 0 to 999,999
  friend constexpr auto operator<=>(const TimeValue&, const TimeValue&) = default;
};

struct DateTimeValue {
  constexpr DateTimeValue() = default;
  constexpr DateTimeValue(DateValue d, TimeValue t) : date(d), time(t) {}
  DateValue date;
  TimeValue time;
  friend constexpr auto operator<=>(const DateTimeValue&, const DateTimeValue&) = default;
};

using Date = Nullable<DateValue>;
using Time = Nullable<TimeValue>;
using DateTime = Nullable<DateTimeValue>;

// True for a day that exists in the (proleptic Gregorian) calendar, years 1 to 9999.
RT_API bool valid_date(int year, int month, int day);

// Text to date, text to time (see above); NULL gives NULL.
RT_API Date to_date(const String& text);
RT_API Time to_time(const String& text);
// The datetime of a date and a time; NULL when either is NULL.
RT_API DateTime to_datetime(const Date& date, const Time& time = Time(TimeValue{}));

// The parts of a datetime.
RT_API Date date_part(const DateTime& dt);
RT_API Time time_part(const DateTime& dt);

// The parts of a date: year, month (1 to 12), day of the month.
RT_API Int year(const Date& d);
RT_API Int month(const Date& d);
RT_API Int day(const Date& d);
// The day of the week: 1 is Sunday, 7 Saturday.
RT_API Int daynumber(const Date& d);

// The parts of a time.
RT_API Int hour(const Time& t);
RT_API Int minute(const Time& t);
RT_API Int second(const Time& t);
RT_API Long microsecond(const Time& t);

// Display texts: "2019-01-05", "09:05:07" (".030000" added when there is a
// fraction), and both joined by a blank.
RT_API String string_of(const Date& d);
RT_API String string_of(const Time& t);
RT_API String string_of(const DateTime& dt);

}  // namespace rt
