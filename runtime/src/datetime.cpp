#include "rt/datetime.h"

#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

namespace rt {

namespace {

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : kDays[m - 1];
}

// Splits s at every `sep`; each field must be 1 to `max_digits` digits.
std::optional<std::vector<int>> digit_fields(std::string_view s, char sep, std::size_t max_digits) {
  std::vector<int> fields;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = s.find(sep, start);
    std::string_view f = s.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (f.empty() || f.size() > max_digits) return std::nullopt;
    int v = 0;
    for (char c : f) {
      if (c < '0' || c > '9') return std::nullopt;
      v = v * 10 + (c - '0');
    }
    fields.push_back(v);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return fields;
}

std::optional<DateValue> parse_date(std::string_view s) {
  char sep = s.find('/') != std::string_view::npos ? '/' : '-';
  auto f = digit_fields(s, sep, 4);
  if (!f || f->size() != 3) return std::nullopt;
  int y = (*f)[0];
  std::size_t year_digits = s.find(sep);
  if (year_digits <= 2) y += y < 50 ? 2000 : 1900;
  if (!valid_date(y, (*f)[1], (*f)[2])) return std::nullopt;
  return DateValue(y, (*f)[1], (*f)[2]);
}

std::optional<TimeValue> parse_time(std::string_view s) {
  int us = 0;
  std::size_t dot = s.find('.');
  if (dot != std::string_view::npos) {
    // A decimal fraction of a second after the seconds.
    std::string_view frac = s.substr(dot + 1);
    if (frac.empty() || frac.size() > 6) return std::nullopt;
    int scale = 100000;
    for (char c : frac) {
      if (c < '0' || c > '9') return std::nullopt;
      us += (c - '0') * scale;
      scale /= 10;
    }
    s = s.substr(0, dot);
  }
  auto f = digit_fields(s, ':', 2);
  if (!f) {
    // The fourth field (milliseconds) may have three digits.
    std::size_t last = s.rfind(':');
    if (last == std::string_view::npos) return std::nullopt;
    auto head = digit_fields(s.substr(0, last), ':', 2);
    auto tail = digit_fields(s.substr(last + 1), ':', 3);
    if (!head || !tail || head->size() != 3) return std::nullopt;
    head->push_back((*tail)[0]);
    f = head;
  }
  if (f->size() < 2 || f->size() > 4) return std::nullopt;
  if (f->size() == 4 && dot != std::string_view::npos) return std::nullopt;
  if (f->size() < 3 && dot != std::string_view::npos) return std::nullopt;
  int h = (*f)[0], m = (*f)[1], sec = f->size() > 2 ? (*f)[2] : 0;
  if (f->size() == 4) {
    if ((*f)[3] > 999) return std::nullopt;
    us = (*f)[3] * 1000;
  }
  if (h > 23 || m > 59 || sec > 59) return std::nullopt;
  return TimeValue(h, m, sec, us);
}

}  // namespace

bool valid_date(int y, int m, int d) {
  return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= days_in_month(y, m);
}

Date to_date(const String& text) {
  if (text.is_null()) return null;
  return parse_date(*trim(text)).value_or(DateValue());
}

Time to_time(const String& text) {
  if (text.is_null()) return null;
  return parse_time(*trim(text)).value_or(TimeValue());
}

DateTime to_datetime(const Date& date, const Time& time) {
  if (date.is_null() || time.is_null()) return null;
  return DateTimeValue(*date, *time);
}

Date date_part(const DateTime& dt) {
  if (dt.is_null()) return null;
  return dt->date;
}

Time time_part(const DateTime& dt) {
  if (dt.is_null()) return null;
  return dt->time;
}

Int year(const Date& d) { return d.is_null() ? Int(null) : Int(d->year); }
Int month(const Date& d) { return d.is_null() ? Int(null) : Int(static_cast<std::int16_t>(d->month)); }
Int day(const Date& d) { return d.is_null() ? Int(null) : Int(static_cast<std::int16_t>(d->day)); }

Int daynumber(const Date& d) {
  if (d.is_null()) return null;
  // Sakamoto's method: 0 is Sunday.
  static const int kOffset[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  int y = d->year, m = d->month;
  if (m < 3) y -= 1;
  int w = (y + y / 4 - y / 100 + y / 400 + kOffset[m - 1] + d->day) % 7;
  return static_cast<std::int16_t>(w + 1);
}

Int hour(const Time& t) { return t.is_null() ? Int(null) : Int(static_cast<std::int16_t>(t->hour)); }
Int minute(const Time& t) { return t.is_null() ? Int(null) : Int(static_cast<std::int16_t>(t->minute)); }
Int second(const Time& t) { return t.is_null() ? Int(null) : Int(static_cast<std::int16_t>(t->second)); }
Long microsecond(const Time& t) { return t.is_null() ? Long(null) : Long(t->microsecond); }

String string_of(const Date& d) {
  if (d.is_null()) return null;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d->year, d->month, d->day);
  return std::string(buf);
}

String string_of(const Time& t) {
  if (t.is_null()) return null;
  char buf[32];
  if (t->microsecond != 0)
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%06d", t->hour, t->minute, t->second,
                  static_cast<int>(t->microsecond));
  else
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t->hour, t->minute, t->second);
  return std::string(buf);
}

String string_of(const DateTime& dt) {
  if (dt.is_null()) return null;
  return string_of(date_part(dt)) + " " + string_of(time_part(dt));
}

}  // namespace rt
