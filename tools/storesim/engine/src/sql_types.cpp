#include "sql_types.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>

namespace storesim::sql {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool IEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// --- types -------------------------------------------------------------------

bool SqlType::IsString() const {
  switch (base) {
    case Base::Char: case Base::VarChar: case Base::NChar: case Base::NVarChar:
    case Base::Text: case Base::NText: case Base::SysName: case Base::UniqueIdentifier:
      return true;
    default:
      return false;
  }
}

bool SqlType::IsInteger() const {
  return base == Base::Bit || base == Base::TinyInt || base == Base::SmallInt || base == Base::Int ||
         base == Base::BigInt;
}

bool SqlType::IsExactNumeric() const {
  return base == Base::Decimal || base == Base::Numeric || base == Base::Money || base == Base::SmallMoney;
}

bool SqlType::IsFloat() const { return base == Base::Float || base == Base::Real; }

bool SqlType::IsDate() const {
  return base == Base::DateTime || base == Base::SmallDateTime || base == Base::Date;
}

namespace {

struct TypeName {
  const char* name;
  Base base;
};

constexpr TypeName kTypeNames[] = {
    {"char", Base::Char},         {"varchar", Base::VarChar},
    {"nchar", Base::NChar},       {"nvarchar", Base::NVarChar},
    {"text", Base::Text},         {"ntext", Base::NText},
    {"sysname", Base::SysName},   {"bit", Base::Bit},
    {"tinyint", Base::TinyInt},   {"smallint", Base::SmallInt},
    {"int", Base::Int},           {"integer", Base::Int},
    {"bigint", Base::BigInt},     {"decimal", Base::Decimal},
    {"dec", Base::Decimal},       {"numeric", Base::Numeric},
    {"money", Base::Money},       {"smallmoney", Base::SmallMoney},
    {"float", Base::Float},       {"real", Base::Real},
    {"datetime", Base::DateTime}, {"smalldatetime", Base::SmallDateTime},
    {"date", Base::Date},         {"uniqueidentifier", Base::UniqueIdentifier},
    {"character", Base::Char},
};

const char* BaseName(Base b) {
  for (const auto& t : kTypeNames) {
    if (t.base == b) return t.name;
  }
  return "?";
}

}  // namespace

bool IsBuiltinTypeName(std::string_view name) {
  for (const auto& t : kTypeNames) {
    if (IEquals(name, t.name)) return true;
  }
  return false;
}

std::optional<SqlType> BuiltinType(std::string_view name, const std::vector<int>& args, bool* bad_args) {
  *bad_args = false;
  const TypeName* found = nullptr;
  for (const auto& t : kTypeNames) {
    if (IEquals(name, t.name)) {
      found = &t;
      break;
    }
  }
  if (!found) return std::nullopt;
  SqlType t;
  t.base = found->base;
  switch (t.base) {
    case Base::Char: case Base::VarChar: case Base::NChar: case Base::NVarChar:
      if (args.size() > 1) *bad_args = true;
      t.length = args.empty() ? 1 : args[0];
      if (t.length == 0 || t.length < -1) *bad_args = true;
      if (t.length > ((t.base == Base::NChar || t.base == Base::NVarChar) ? 4000 : 8000)) *bad_args = true;
      if (t.length == -1 && (t.base == Base::Char || t.base == Base::NChar)) *bad_args = true;
      break;
    case Base::SysName:
      t.base = Base::NVarChar;
      t.length = 128;
      if (!args.empty()) *bad_args = true;
      break;
    case Base::Decimal: case Base::Numeric:
      if (args.size() > 2) *bad_args = true;
      t.precision = args.empty() ? 18 : args[0];
      t.scale = args.size() < 2 ? 0 : args[1];
      if (t.precision < 1 || t.precision > 38 || t.scale < 0 || t.scale > t.precision) *bad_args = true;
      break;
    case Base::Money:
      t.precision = 19;
      t.scale = 4;
      if (!args.empty()) *bad_args = true;
      break;
    case Base::SmallMoney:
      t.precision = 10;
      t.scale = 4;
      if (!args.empty()) *bad_args = true;
      break;
    case Base::Float:
      if (args.size() > 1) *bad_args = true;
      if (!args.empty() && (args[0] < 1 || args[0] > 53)) *bad_args = true;
      if (!args.empty() && args[0] <= 24) t.base = Base::Real;
      break;
    default:
      if (!args.empty()) *bad_args = true;
      break;
  }
  return t;
}

std::string SqlType::ToString() const {
  std::string n = BaseName(base);
  switch (base) {
    case Base::Char: case Base::VarChar: case Base::NChar: case Base::NVarChar:
      return n + "(" + (length == -1 ? std::string("max") : std::to_string(length)) + ")";
    case Base::Decimal: case Base::Numeric:
      return n + "(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
    default:
      return n;
  }
}

Kind KindOf(const SqlType& t) {
  if (t.IsString()) return Kind::Str;
  if (t.IsInteger()) return Kind::Int;
  if (t.IsExactNumeric()) return Kind::Dec;
  if (t.IsFloat()) return Kind::Float;
  return Kind::Date;
}

ColumnType WireType(const SqlType& t) {
  if (t.IsString()) return ColumnType::VarChar;
  if (t.IsInteger()) return ColumnType::Int;
  if (t.IsDate()) return ColumnType::DateTime;
  return ColumnType::Decimal;
}

std::uint16_t WireLength(const SqlType& t) {
  if (!t.IsString() || t.length < 0) return 8000;
  if (t.base == Base::Text || t.base == Base::NText) return 8000;
  int n = (t.base == Base::NChar || t.base == Base::NVarChar) ? t.length * 2 : t.length;
  return static_cast<std::uint16_t>(std::min(n, 8000));
}

// --- messages ------------------------------------------------------------------

Message MakeMessage(std::int32_t number, std::uint8_t cls, std::string text, std::uint8_t state) {
  Message m;
  m.number = number;
  m.cls = cls;
  m.state = state;
  m.text = std::move(text);
  return m;
}

void Fail(std::vector<Message> messages, bool abort_batch) { throw SqlError{std::move(messages), abort_batch}; }

std::string_view TrimWhitespace(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

// --- numbers -------------------------------------------------------------------------

bool ParseDecimalText(std::string_view s, bool* neg, std::string* int_digits, std::string* frac_digits) {
  s = TrimWhitespace(s);
  *neg = false;
  int_digits->clear();
  frac_digits->clear();
  if (s.empty()) return false;
  std::size_t i = 0;
  if (s[0] == '+' || s[0] == '-') {
    *neg = s[0] == '-';
    ++i;
  }
  bool any = false;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
    int_digits->push_back(s[i++]);
    any = true;
  }
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
      frac_digits->push_back(s[i++]);
      any = true;
    }
  }
  if (!any || i != s.size()) return false;
  std::size_t nz = int_digits->find_first_not_of('0');
  *int_digits = nz == std::string::npos ? std::string() : int_digits->substr(nz);
  return true;
}

std::string FormatDecimal(bool neg, std::string int_digits, std::string frac_digits, int scale) {
  // Round half away from zero to `scale` digits.
  bool round_up = false;
  if (static_cast<int>(frac_digits.size()) > scale) {
    round_up = frac_digits[scale] >= '5';
    frac_digits.resize(scale);
  }
  while (static_cast<int>(frac_digits.size()) < scale) frac_digits.push_back('0');
  std::string digits = int_digits + frac_digits;
  if (digits.empty()) digits = "0";
  if (round_up) {
    int k = static_cast<int>(digits.size()) - 1;
    while (k >= 0) {
      if (digits[k] == '9') {
        digits[k] = '0';
        --k;
      } else {
        ++digits[k];
        break;
      }
    }
    if (k < 0) digits.insert(digits.begin(), '1');
  }
  std::string ip = digits.substr(0, digits.size() - scale);
  std::string fp = digits.substr(digits.size() - scale);
  std::size_t nz = ip.find_first_not_of('0');
  ip = nz == std::string::npos ? "0" : ip.substr(nz);
  bool zero = ip == "0" && fp.find_first_not_of('0') == std::string::npos;
  std::string out = (neg && !zero) ? "-" : "";
  out += ip;
  if (scale > 0) out += "." + fp;
  return out;
}

std::optional<std::int64_t> ParseInt(std::string_view s) {
  s = TrimWhitespace(s);
  if (s.empty()) return std::nullopt;
  std::size_t i = 0;
  bool neg = false;
  if (s[0] == '+' || s[0] == '-') {
    neg = s[0] == '-';
    ++i;
  }
  if (i == s.size()) return std::nullopt;
  // Accumulate negatively so that the smallest value fits.
  std::int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return std::nullopt;
    if (__builtin_mul_overflow(v, 10, &v) || __builtin_sub_overflow(v, s[i] - '0', &v)) return std::nullopt;
  }
  if (!neg) {
    if (v == INT64_MIN) return std::nullopt;
    v = -v;
  }
  return v;
}

long double ToLongDouble(const Value& v) { return std::strtold(v.text.c_str(), nullptr); }

std::string FormatFloat(long double d) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15Lg", d);
  return buf;
}

namespace {

const char* KindTypeName(Kind k) {
  switch (k) {
    case Kind::Str: return "varchar";
    case Kind::Int: return "int";
    case Kind::Dec: return "numeric";
    case Kind::Float: return "float";
    case Kind::Date: return "datetime";
    default: return "varchar";
  }
}

// --- dates ---------------------------------------------------------------------------

bool Leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int d[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && Leap(y) ? 29 : d[m - 1];
}

std::int64_t DaysFromCivil(int y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<std::int64_t>(era) * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int* y, int* m, int* d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int yy = static_cast<int>(yoe) + static_cast<int>(era) * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = yy + (*m <= 2);
}

std::string FormatDate(int y, int mo, int d, int h, int mi, int s, int ms) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, mo, d, h, mi, s, ms);
  return buf;
}

bool ReadNumber(std::string_view s, std::size_t* i, int max_digits, int* out, int* ndigits = nullptr) {
  int v = 0, n = 0;
  while (*i < s.size() && n < max_digits && std::isdigit(static_cast<unsigned char>(s[*i]))) {
    v = v * 10 + (s[*i] - '0');
    ++*i;
    ++n;
  }
  if (ndigits) *ndigits = n;
  *out = v;
  return n > 0;
}

bool ParseTime(std::string_view s, std::size_t* i, int* h, int* mi, int* sec, int* ms) {
  *sec = 0;
  *ms = 0;
  if (!ReadNumber(s, i, 2, h)) return false;
  if (*i >= s.size() || s[*i] != ':') return false;
  ++*i;
  if (!ReadNumber(s, i, 2, mi)) return false;
  if (*i < s.size() && s[*i] == ':') {
    ++*i;
    if (!ReadNumber(s, i, 2, sec)) return false;
    if (*i < s.size() && s[*i] == '.') {
      ++*i;
      int frac = 0, n = 0;
      if (!ReadNumber(s, i, 7, &frac, &n)) return false;
      while (n > 3) {
        frac /= 10;
        --n;
      }
      while (n < 3) {
        frac *= 10;
        ++n;
      }
      *ms = frac;
    }
  }
  std::size_t j = *i;
  while (j < s.size() && s[j] == ' ') ++j;
  if (j + 2 <= s.size() && (IEquals(s.substr(j, 2), "am") || IEquals(s.substr(j, 2), "pm"))) {
    if (*h > 12) return false;
    bool pm = IEquals(s.substr(j, 2), "pm");
    if (*h == 12) *h = 0;
    if (pm) *h += 12;
    *i = j + 2;
  }
  return *h < 24 && *mi < 60 && *sec < 60;
}

}  // namespace

std::optional<std::string> ParseDateTime(std::string_view s) {
  s = TrimWhitespace(s);
  if (s.empty()) return FormatDate(1900, 1, 1, 0, 0, 0, 0);
  std::size_t i = 0;
  int y = 1900, mo = 1, d = 1, h = 0, mi = 0, sec = 0, ms = 0;
  // Time alone.
  if (s.size() >= 3 && (s[1] == ':' || s[2] == ':')) {
    if (!ParseTime(s, &i, &h, &mi, &sec, &ms) || i != s.size()) return std::nullopt;
    return FormatDate(y, mo, d, h, mi, sec, ms);
  }
  int n = 0;
  if (!ReadNumber(s, &i, 8, &y, &n)) return std::nullopt;
  if (n == 8) {
    d = y % 100;
    mo = (y / 100) % 100;
    y /= 10000;
  } else if (n == 4 && i < s.size() && (s[i] == '-' || s[i] == '/' || s[i] == '.')) {
    char sep = s[i++];
    if (!ReadNumber(s, &i, 2, &mo)) return std::nullopt;
    if (i >= s.size() || s[i] != sep) return std::nullopt;
    ++i;
    if (!ReadNumber(s, &i, 2, &d)) return std::nullopt;
  } else {
    return std::nullopt;
  }
  if (y < 1753 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo)) return std::nullopt;
  if (i < s.size()) {
    if (s[i] != ' ' && s[i] != 'T') return std::nullopt;
    while (i < s.size() && (s[i] == ' ' || s[i] == 'T')) ++i;
    if (!ParseTime(s, &i, &h, &mi, &sec, &ms)) return std::nullopt;
    if (i != s.size()) return std::nullopt;
  }
  return FormatDate(y, mo, d, h, mi, sec, ms);
}

std::string DateFromDays(std::int64_t days) {
  int y, m, d;
  CivilFromDays(DaysFromCivil(1900, 1, 1) + days, &y, &m, &d);
  return FormatDate(y, m, d, 0, 0, 0, 0);
}

std::int64_t DaysFrom1900(const std::string& date) {
  int y = 1900, m = 1, d = 1;
  std::sscanf(date.c_str(), "%d-%d-%d", &y, &m, &d);
  return DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) - DaysFromCivil(1900, 1, 1);
}

std::string NowDateTime() {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  return FormatDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                    static_cast<int>(ms));
}

namespace {

// The server's default text of a date-time: "Dec 27 2015 12:00AM".
std::string DateToText(const std::string& d) {
  static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int y = 0, mo = 1, day = 1, h = 0, mi = 0;
  std::sscanf(d.c_str(), "%d-%d-%d %d:%d", &y, &mo, &day, &h, &mi);
  int h12 = h % 12 == 0 ? 12 : h % 12;
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d%s", months[(mo + 11) % 12], day, y, h12, mi,
                h < 12 ? "AM" : "PM");
  return buf;
}

std::string TextOf(const Value& v) { return v.kind == Kind::Date ? DateToText(v.text) : v.text; }

[[noreturn]] void FailTruncated() {
  Fail({Error(8152),
        Error(3621)});
}

Value ToString(const Value& v, const SqlType& to, bool strict) {
  std::string s = TextOf(v);
  if (to.length >= 0 && to.base != Base::Text && to.base != Base::NText) {
    bool wide = to.base == Base::NChar || to.base == Base::NVarChar;
    auto measure = [&](std::string_view x) { return wide ? CharCount(x) : GbkLength(x); };
    auto limit = static_cast<std::size_t>(to.length);
    if (measure(s) > limit) {
      // Cut to the limit, a whole character at a time.
      std::string cut;
      for (std::size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        std::string next = cut + s.substr(i, n);
        if (measure(next) > limit) break;
        cut = std::move(next);
        i += n;
      }
      bool only_blanks = s.substr(cut.size()).find_first_not_of(' ') == std::string::npos;
      if (strict && !only_blanks) FailTruncated();
      s = std::move(cut);
    }
    if (to.IsFixedLength()) {
      std::size_t have = measure(s);
      if (have < limit) s.append(limit - have, ' ');
    }
  }
  return Value::Str(std::move(s));
}

[[noreturn]] void FailConvert(const Value& v, const SqlType& to) {
  if (to.IsDate()) Fail(241, {}, true);
  if (to.IsInteger()) {
    Fail(245, {std::string(KindTypeName(v.kind)), v.text, BaseName(to.base)}, true);
  }
  Fail(8114, {KindTypeName(v.kind), "numeric"}, true);
}

Value ToInteger(const Value& v, const SqlType& to) {
  std::int64_t n = 0;
  if (v.kind == Kind::Str) {
    auto p = ParseInt(v.text);
    if (!p) FailConvert(v, to);
    n = *p;
  } else if (v.kind == Kind::Int) {
    n = std::stoll(v.text);
  } else if (v.kind == Kind::Dec || v.kind == Kind::Float) {
    long double d = ToLongDouble(v);
    if (d >= 9.3e18L || d <= -9.3e18L) Fail(8115, {"expression", BaseName(to.base)});
    n = static_cast<std::int64_t>(d);
  } else {
    FailConvert(v, to);
  }
  std::int64_t lo = INT64_MIN, hi = INT64_MAX;
  switch (to.base) {
    case Base::Bit: return Value::Int(n != 0 ? 1 : 0);
    case Base::TinyInt: lo = 0; hi = 255; break;
    case Base::SmallInt: lo = -32768; hi = 32767; break;
    case Base::Int: lo = INT32_MIN; hi = INT32_MAX; break;
    default: break;
  }
  if (n < lo || n > hi) {
    Fail(8115, {"expression", BaseName(to.base)});
  }
  return Value::Int(n);
}

Value ToExact(const Value& v, const SqlType& to) {
  bool neg;
  std::string ip, fp;
  std::string text = v.text;
  if (v.kind == Kind::Float) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "%.*Lf", to.scale + 1, ToLongDouble(v));
    text = buf;
  } else if (v.kind == Kind::Date) {
    FailConvert(v, to);
  }
  if (!ParseDecimalText(text, &neg, &ip, &fp)) FailConvert(v, to);
  std::string out = FormatDecimal(neg, ip, fp, to.scale);
  std::string digits = out.substr(out[0] == '-' ? 1 : 0);
  std::size_t int_len = digits.find('.') == std::string::npos ? digits.size() : digits.find('.');
  std::size_t allowed = static_cast<std::size_t>(to.precision - to.scale);
  bool int_zero = digits.substr(0, int_len) == "0";
  if (!int_zero && int_len > allowed) {
    Fail(8115, {KindTypeName(v.kind), "numeric"});
  }
  return Value::Dec(out);
}

Value ToDate(const Value& v, const SqlType& to) {
  std::string d;
  if (v.kind == Kind::Date) {
    d = v.text;
  } else if (v.kind == Kind::Str) {
    auto p = ParseDateTime(v.text);
    if (!p) FailConvert(v, to);
    d = *p;
  } else if (v.kind == Kind::Int) {
    d = DateFromDays(std::stoll(v.text));
  } else {
    d = DateFromDays(static_cast<std::int64_t>(std::floor(ToLongDouble(v))));
  }
  if (to.base == Base::Date) d = d.substr(0, 10) + " 00:00:00.000";
  if (to.base == Base::SmallDateTime) d = d.substr(0, 16) + ":00.000";
  return Value::Date(d);
}

Value Convert(const Value& v, const SqlType& to, bool strict) {
  if (v.IsNull()) return v;
  if (to.IsString()) return ToString(v, to, strict);
  if (to.IsInteger()) return ToInteger(v, to);
  if (to.IsExactNumeric()) return ToExact(v, to);
  if (to.IsFloat()) {
    if (v.kind == Kind::Str) {
      bool neg;
      std::string ip, fp;
      std::string t(TrimWhitespace(v.text));
      char* end = nullptr;
      long double d = std::strtold(t.c_str(), &end);
      if (t.empty() || *end != '\0') {
        if (!ParseDecimalText(t, &neg, &ip, &fp)) Fail(8114, {"varchar", "float"}, true);
      }
      return {Kind::Float, FormatFloat(d)};
    }
    if (v.kind == Kind::Date) FailConvert(v, to);
    return {Kind::Float, FormatFloat(ToLongDouble(v))};
  }
  return ToDate(v, to);
}

}  // namespace

Value ConvertForStore(const Value& v, const SqlType& to) { return Convert(v, to, true); }
Value ConvertValue(const Value& v, const SqlType& to) { return Convert(v, to, false); }

std::string TextOfValue(const Value& v) {
  if (v.kind == Kind::Str) return v.text;
  return ConvertValue(v, SqlType{Base::VarChar, 8000}).text;
}

std::int64_t IntOf(const Value& v) { return std::stoll(ConvertValue(v, SqlType{Base::BigInt}).text); }

}  // namespace storesim::sql
