// Column types, values and the server's conversion and comparison rules.
//
// A value is kept as text plus a kind tag: strings as they are (UTF-8),
// integers and decimals as their decimal text (decimals with the scale of
// their type), date-times as "yyyy-mm-dd hh:mm:ss.mmm".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "errors.h"
#include "storesim/engine.h"

namespace storesim::sql {

enum class Base : std::uint8_t {
  Char, VarChar, NChar, NVarChar, Text, NText, SysName,
  Bit, TinyInt, SmallInt, Int, BigInt,
  Decimal, Numeric, Money, SmallMoney, Float, Real,
  DateTime, SmallDateTime, Date,
  UniqueIdentifier,
};

struct SqlType {
  Base base = Base::VarChar;
  int length = 1;      // bytes (char/varchar) or characters (nchar/nvarchar); -1 = max
  int precision = 18;  // decimal/numeric
  int scale = 0;

  bool IsString() const;
  bool IsInteger() const;
  bool IsExactNumeric() const;  // decimal, numeric, money
  bool IsFloat() const;
  bool IsDate() const;
  bool IsFixedLength() const { return base == Base::Char || base == Base::NChar; }
  // "varchar(20)", "decimal(16,4)", "datetime"...
  std::string ToString() const;
  bool operator==(const SqlType&) const = default;
};

// The built-in type of a name ("varchar", "numeric"...), with the
// arguments given in the declaration (none, one or two numbers; -1 for
// max). nullopt when the name is not a built-in type; `bad_args` is set
// when the arguments do not suit the type.
std::optional<SqlType> BuiltinType(std::string_view name, const std::vector<int>& args, bool* bad_args);
bool IsBuiltinTypeName(std::string_view name);

enum class Kind : std::uint8_t { Null, Str, Int, Dec, Float, Date };

struct Value {
  Kind kind = Kind::Null;
  std::string text;

  bool IsNull() const { return kind == Kind::Null; }
  static Value Null() { return {}; }
  static Value Str(std::string s) { return {Kind::Str, std::move(s)}; }
  static Value Int(std::int64_t v) { return {Kind::Int, std::to_string(v)}; }
  static Value Dec(std::string s) { return {Kind::Dec, std::move(s)}; }
  static Value Date(std::string s) { return {Kind::Date, std::move(s)}; }
  bool operator==(const Value&) const = default;
};

Kind KindOf(const SqlType& t);

// A failure of a conversion or an operation: the server's message and
// whether it ends the whole batch.
struct SqlError {
  std::vector<Message> messages;
  bool abort_batch = false;
};

Message MakeMessage(std::int32_t number, std::uint8_t cls, std::string text, std::uint8_t state = 1);
[[noreturn]] void Fail(std::vector<Message> messages, bool abort_batch = false);

// Converts a value to a column's type as an INSERT or UPDATE stores it:
// length checks (8152), char padding, decimal rounding and range, date
// parsing. Throws SqlError.
Value ConvertForStore(const Value& v, const SqlType& to);
// Converts for an expression (CAST, comparisons): like ConvertForStore,
// but a string longer than the target is cut instead of refused.
Value ConvertValue(const Value& v, const SqlType& to);

// The text of a value as a varchar shows it, and a value as a bigint.
std::string TextOfValue(const Value& v);
std::int64_t IntOf(const Value& v);

// Three-way comparison under the database collation (ASCII case folded,
// trailing blanks ignored) and the type precedence rules; both values
// non-NULL. Throws SqlError when a string does not convert to a number
// or date.
int Compare(const Value& a, const Value& b);
int CollateCompare(std::string_view a, std::string_view b);

// LIKE with %, _, [set], [^set] and an optional escape character; ASCII
// case folded.
bool Like(std::string_view value, std::string_view pattern, std::optional<char32_t> escape);

// Length of a text in the database code page (GBK), in bytes.
std::size_t GbkLength(std::string_view utf8);
std::size_t CharCount(std::string_view utf8);

// Decimal helpers.
bool ParseDecimalText(std::string_view s, bool* neg, std::string* int_digits, std::string* frac_digits);
std::string FormatDecimal(bool neg, std::string int_digits, std::string frac_digits, int scale);
std::optional<std::int64_t> ParseInt(std::string_view s);
long double ToLongDouble(const Value& v);
std::string FormatFloat(long double d);

// Date-times: parse a text the way the server's implicit conversion reads
// it; nullopt when it cannot.
std::optional<std::string> ParseDateTime(std::string_view s);
std::string DateFromDays(std::int64_t days_since_1900);
std::int64_t DaysFrom1900(const std::string& date);
std::string NowDateTime();

// The ColumnMeta type that the wire sends for a column type.
ColumnType WireType(const SqlType& t);
std::uint16_t WireLength(const SqlType& t);

// Without blanks, tabs and line ends at either end.
std::string_view TrimWhitespace(std::string_view s);

std::string Lower(std::string_view s);
bool IEquals(std::string_view a, std::string_view b);

}  // namespace storesim::sql
