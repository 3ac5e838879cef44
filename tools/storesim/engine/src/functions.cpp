#include "functions.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "lexer.h"

namespace storesim::sql {

namespace {

Value Bool01(bool b) { return Value::Int(b ? 1 : 0); }

std::string UpperAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

// Positions of code points in a UTF-8 text.
std::vector<std::size_t> CharStarts(const std::string& s) {
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) out.push_back(i);
  }
  return out;
}

std::string SubChars(const std::string& s, std::int64_t start, std::int64_t len) {
  // start is 1-based and may be below 1, as SUBSTRING allows.
  std::vector<std::size_t> st = CharStarts(s);
  if (len < 0) Fail(537);
  auto count = static_cast<std::int64_t>(st.size());
  if (start > count) return {};
  std::int64_t from = start, to = len > count + 1 ? count + 1 : start + len;  // [from, to)
  from = std::max<std::int64_t>(from, 1);
  to = std::min<std::int64_t>(to, static_cast<std::int64_t>(st.size()) + 1);
  if (to <= from) return {};
  std::size_t b = st[from - 1];
  std::size_t e = to - 1 < static_cast<std::int64_t>(st.size()) ? st[to - 1] : s.size();
  return s.substr(b, e - b);
}

// The name may be written with brackets and qualifiers: "[dbo].[t_x]",
// "store.dbo.t_x".
std::optional<std::int64_t> ObjectId(const CallContext& cx, const std::string& text) {
  std::string name = text;
  const Database* db = &cx.st.ExistingDatabase(cx.database);
  try {
    auto toks = Tokenize(text);
    std::vector<std::string> parts;
    for (const auto& t : toks) {
      if (t.type == Tok::Word || t.type == Tok::Quoted) parts.push_back(t.text);
    }
    if (!parts.empty()) name = parts.back();
    if (parts.size() >= 3) {
      db = cx.st.FindDatabase(parts[parts.size() - 3]);
      if (!db) return std::nullopt;
    }
  } catch (const SqlError&) {
  }
  if (const Table* t = db->FindTable(name)) return t->object_id;
  auto it = db->modules.find(Lower(name));
  if (it != db->modules.end()) return it->second.object_id;
  for (const auto& [_, t] : db->tables) {
    for (const auto& ix : t.indexes) {
      if (ix.constraint && IEquals(ix.name, name)) return ix.object_id;
    }
    for (const auto& c : t.columns) {
      if (!c.default_name.empty() && IEquals(c.default_name, name)) return c.default_id;
    }
  }
  return std::nullopt;
}

// --- result types ---------------------------------------------------------------------------

SqlType ArgType(const Expr& e, std::size_t i) { return e.args.size() > i ? e.args[i]->type : SqlType{Base::Int}; }
SqlType IntType(const Expr&) { return SqlType{Base::Int}; }
SqlType BigIntType(const Expr&) { return SqlType{Base::BigInt}; }
SqlType DateTimeType(const Expr&) { return SqlType{Base::DateTime}; }
SqlType NameType(const Expr&) { return SqlType{Base::NVarChar, 128}; }
SqlType TextType(const Expr&) { return SqlType{Base::VarChar, 8000}; }
SqlType FirstArgType(const Expr& e) { return ArgType(e, 0); }
SqlType IsNullType(const Expr& e) { return e.args[0]->typed ? ArgType(e, 0) : ArgType(e, 1); }

SqlType Variable(SqlType t) {
  if (t.IsFixedLength()) t.base = t.base == Base::NChar ? Base::NVarChar : Base::VarChar;
  return t;
}
SqlType TextOr8000(SqlType t) { return t.IsString() ? t : SqlType{Base::VarChar, 8000}; }

SqlType TrimmedType(const Expr& e) { return Variable(ArgType(e, 0)); }
SqlType CaseMappedType(const Expr& e) { return TextOr8000(ArgType(e, 0)); }
SqlType CutType(const Expr& e) { return TextOr8000(Variable(ArgType(e, 0))); }
SqlType SumType(const Expr& e) {
  SqlType t = ArgType(e, 0);
  if (t.IsExactNumeric()) t = SqlType{Base::Numeric, 0, 38, t.scale};
  if (t.IsInteger() && t.base != Base::BigInt) t = SqlType{Base::Int};
  return t;
}

// --- NULL handling and system functions ----------------------------------------------------

Value IsNull(Call& c) {
  Value v = c.arg(0);
  if (!v.IsNull()) return v;
  Value alt = c.arg(1);
  if (alt.IsNull() || !c.expr.args[0]->typed) return alt;
  return ConvertValue(alt, c.expr.args[0]->type);
}

Value Coalesce(Call& c) {
  for (std::size_t i = 0; i < c.expr.args.size(); ++i) {
    Value v = c.arg(i);
    if (!v.IsNull()) return v;
  }
  return Value();
}

Value NullIf(Call& c) {
  auto& a = c.args;
  if (a[0].IsNull()) return a[0];
  if (!a[1].IsNull() && Compare(a[0], a[1]) == 0) return Value();
  return a[0];
}

Value GetDate(Call&) { return Value::Date(NowDateTime()); }
Value UserName(Call&) { return Value::Str("dbo"); }
Value LoginName(Call& c) { return Value::Str(c.cx.login); }
// The keyword DEFAULT in VALUES and SET.
Value DefaultMarker(Call&) { return Value(); }

Value DbName(Call& c) {
  if (c.args.empty()) return Value::Str(c.cx.database);
  if (c.args[0].IsNull()) return Value();
  std::int64_t id = IntOf(c.args[0]);
  std::int64_t n = 1;
  for (const auto& [_, db] : c.cx.st.databases) {
    if (n++ == id) return Value::Str(db.name);
  }
  return Value();
}

Value DbId(Call& c) {
  std::string name = c.args.empty() ? c.cx.database : (c.args[0].IsNull() ? "" : c.args[0].text);
  std::int64_t n = 1;
  for (const auto& [k, db] : c.cx.st.databases) {
    if (IEquals(db.name, name)) return Value::Int(n);
    ++n;
  }
  return Value();
}

Value ObjectIdOf(Call& c) {
  if (c.args[0].IsNull()) return Value();
  auto id = ObjectId(c.cx, TextOfValue(c.args[0]));
  return id ? Value::Int(*id) : Value();
}

Value ObjectProperty(Call& c) {
  std::int64_t id = IntOf(c.args[0]);
  std::string prop = Lower(TextOfValue(c.args[1]));
  const Database& db = c.cx.st.ExistingDatabase(c.cx.database);
  for (const auto& [_, t] : db.tables) {
    if (t.object_id == id) {
      if (prop == "isusertable" || prop == "istable") return Bool01(true);
      return Bool01(false);
    }
  }
  for (const auto& [_, m] : db.modules) {
    if (m.object_id == id) {
      if (prop == "isprocedure") return Bool01(m.what == Module::What::Procedure);
      if (prop == "istrigger") return Bool01(m.what == Module::What::Trigger);
      if (prop == "isview") return Bool01(m.what == Module::What::View);
      if (prop == "isscalarfunction") return Bool01(m.what == Module::What::Function);
      if (prop == "isencrypted") return Bool01(m.encrypted);
      return Bool01(false);
    }
  }
  return Value();
}

Value ColLength(Call& c) {
  const Database& db = c.cx.st.ExistingDatabase(c.cx.database);
  auto id = ObjectId(c.cx, TextOfValue(c.args[0]));
  for (const auto& [_, t] : db.tables) {
    if (id && t.object_id == *id) {
      int i = t.ColumnIndex(TextOfValue(c.args[1]));
      if (i < 0) return Value();
      const SqlType& ty = t.columns[i].type;
      if (ty.IsString()) {
        int n = ty.length < 0 ? -1 : (ty.base == Base::NChar || ty.base == Base::NVarChar ? ty.length * 2 : ty.length);
        return Value::Int(n);
      }
      if (ty.IsDate()) return Value::Int(8);
      if (ty.base == Base::Int) return Value::Int(4);
      if (ty.base == Base::SmallInt) return Value::Int(2);
      if (ty.base == Base::TinyInt || ty.base == Base::Bit) return Value::Int(1);
      if (ty.IsExactNumeric()) return Value::Int(ty.precision <= 9 ? 5 : ty.precision <= 19 ? 9 : ty.precision <= 28 ? 13 : 17);
      return Value::Int(8);
    }
  }
  return Value();
}

// --- strings --------------------------------------------------------------------------------

Value Upper(Call& c) { return Value::Str(UpperAscii(TextOfValue(c.args[0]))); }
Value LowerOf(Call& c) { return Value::Str(Lower(TextOfValue(c.args[0]))); }

Value TrimLeft(std::string s) {
  s.erase(0, s.find_first_not_of(' ') == std::string::npos ? s.size() : s.find_first_not_of(' '));
  return Value::Str(s);
}
std::string TrimRight(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}
Value LTrim(Call& c) { return TrimLeft(TextOfValue(c.args[0])); }
Value RTrim(Call& c) { return Value::Str(TrimRight(TextOfValue(c.args[0]))); }
Value Trim(Call& c) { return TrimLeft(TrimRight(TextOfValue(c.args[0]))); }

Value Len(Call& c) { return Value::Int(static_cast<std::int64_t>(CharCount(TrimRight(TextOfValue(c.args[0]))))); }

Value DataLength(Call& c) {
  if (c.args[0].kind == Kind::Str) return Value::Int(static_cast<std::int64_t>(GbkLength(c.args[0].text)));
  return Value::Int(c.expr.args[0]->type.IsDate() ? 8 : 4);
}

Value Substring(Call& c) { return Value::Str(SubChars(TextOfValue(c.args[0]), IntOf(c.args[1]), IntOf(c.args[2]))); }

Value Left(Call& c) {
  std::int64_t n = IntOf(c.args[1]);
  if (n < 0) Fail(536, {"left"});
  return Value::Str(SubChars(TextOfValue(c.args[0]), 1, n));
}

Value Right(Call& c) {
  std::int64_t n = IntOf(c.args[1]);
  if (n < 0) Fail(536, {"right"});
  std::string s = TextOfValue(c.args[0]);
  auto len = static_cast<std::int64_t>(CharCount(s));
  return Value::Str(SubChars(s, std::max<std::int64_t>(1, len - n + 1), n));
}

Value Replace(Call& c) {
  std::string s = TextOfValue(c.args[0]), from = TextOfValue(c.args[1]), to = TextOfValue(c.args[2]);
  if (from.empty()) return Value::Str(s);
  std::string ls = Lower(s), lf = Lower(from), out;
  std::size_t i = 0;
  while (i < s.size()) {
    if (ls.compare(i, lf.size(), lf) == 0) {
      out += to;
      i += lf.size();
    } else {
      out += s[i++];
    }
  }
  return Value::Str(out);
}

Value CharIndex(Call& c) {
  std::string needle = Lower(TextOfValue(c.args[0])), hay = Lower(TextOfValue(c.args[1]));
  std::int64_t start = c.args.size() > 2 ? std::max<std::int64_t>(1, IntOf(c.args[2])) : 1;
  std::vector<std::size_t> st = CharStarts(hay);
  if (needle.empty() || start > static_cast<std::int64_t>(st.size())) return Value::Int(0);
  std::size_t pos = hay.find(needle, st[start - 1]);
  if (pos == std::string::npos) return Value::Int(0);
  return Value::Int(static_cast<std::int64_t>(CharCount(hay.substr(0, pos))) + 1);
}

// Results of SPACE and REPLICATE stop at 8000 bytes, as for a varchar.
Value Space(Call& c) {
  std::int64_t n = IntOf(c.args[0]);
  if (n < 0) return Value();
  return Value::Str(std::string(static_cast<std::size_t>(std::min<std::int64_t>(n, 8000)), ' '));
}

Value Replicate(Call& c) {
  std::string out, s = TextOfValue(c.args[0]);
  std::int64_t n = IntOf(c.args[1]);
  if (n < 0) return Value();
  for (std::int64_t i = 0; i < n && out.size() + s.size() <= 8000; ++i) out += s;
  return Value::Str(out);
}

Value Ascii(Call& c) {
  std::string s = TextOfValue(c.args[0]);
  return s.empty() ? Value() : Value::Int(static_cast<unsigned char>(s[0]));
}

Value Char(Call& c) {
  std::int64_t n = IntOf(c.args[0]);
  if (n < 0 || n > 127) return Value();
  return Value::Str(std::string(1, static_cast<char>(n)));
}

Value Str(Call& c) { return Value::Str(TextOfValue(ConvertValue(c.args[0], SqlType{Base::Float}))); }

// --- numbers and dates ----------------------------------------------------------------------

Value Numeric(Value v) { return v.kind == Kind::Str ? ConvertValue(v, SqlType{Base::Float}) : v; }

Value Abs(Call& c) {
  Value v = Numeric(c.args[0]);
  if (!v.text.empty() && v.text[0] == '-') v.text.erase(0, 1);
  return v;
}

// ROUND keeps the scale of a decimal; FLOOR and CEILING give scale 0.
Value Rounded(const Value& arg, long double (*op)(long double, const Call&), const Call& c, bool keep_scale) {
  Value v = Numeric(arg);
  if (v.kind == Kind::Int) return v;
  long double r = op(ToLongDouble(v), c);
  if (v.kind == Kind::Float) return Value{Kind::Float, FormatFloat(r)};
  auto dot = v.text.find('.');
  int scale = dot == std::string::npos || !keep_scale ? 0 : static_cast<int>(v.text.size() - dot - 1);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%.*Lf", scale, r);
  return Value::Dec(buf);
}

Value Round(Call& c) {
  return Rounded(c.args[0], [](long double d, const Call& call) {
    long double p = std::pow(10.0L, static_cast<long double>(IntOf(call.args[1])));
    return std::round(d * p) / p;
  }, c, true);
}
Value Floor(Call& c) { return Rounded(c.args[0], [](long double d, const Call&) { return std::floor(d); }, c, false); }
Value Ceiling(Call& c) { return Rounded(c.args[0], [](long double d, const Call&) { return std::ceil(d); }, c, false); }

// Part of a date: the text from `pos`, `len` characters long.
template <std::size_t pos, std::size_t len>
Value DatePart(Call& c) {
  Value d = ConvertValue(c.args[0], SqlType{Base::DateTime});
  return Value::Int(std::stoll(d.text.substr(pos, len)));
}

constexpr unsigned kAgg = Function::kAggregate, kLazy = Function::kLazy, kStrict = Function::kStrict;

const Function kFunctions[] = {
    {"count", 1, 1, kAgg, IntType, nullptr},
    {"count_big", 1, 1, kAgg, BigIntType, nullptr},
    {"max", 1, 1, kAgg, FirstArgType, nullptr},
    {"min", 1, 1, kAgg, FirstArgType, nullptr},
    {"sum", 1, 1, kAgg, SumType, nullptr},
    {"avg", 1, 1, kAgg, SumType, nullptr},
    {"isnull", 2, 2, kLazy, IsNullType, IsNull},
    {"coalesce", 1, 99, kLazy, FirstArgType, Coalesce},
    {"nullif", 2, 2, 0, FirstArgType, NullIf},
    {"getdate", 0, 0, 0, DateTimeType, GetDate},
    {"db_name", 0, 1, 0, NameType, DbName},
    {"db_id", 0, 1, 0, IntType, DbId},
    {"user_name", 0, 1, 0, NameType, UserName},
    {"suser_sname", 0, 1, 0, NameType, LoginName},
    {"$default", 0, 0, 0, TextType, DefaultMarker},
    {"object_id", 1, 2, 0, IntType, ObjectIdOf},
    {"objectproperty", 2, 2, kStrict, IntType, ObjectProperty},
    {"col_length", 2, 2, kStrict, IntType, ColLength},
    {"upper", 1, 1, kStrict, CaseMappedType, Upper},
    {"lower", 1, 1, kStrict, CaseMappedType, LowerOf},
    {"ltrim", 1, 1, kStrict, TrimmedType, LTrim},
    {"rtrim", 1, 1, kStrict, TrimmedType, RTrim},
    {"trim", 1, 1, kStrict, TrimmedType, Trim},
    {"len", 1, 1, kStrict, IntType, Len},
    {"datalength", 1, 1, kStrict, IntType, DataLength},
    {"substring", 3, 3, kStrict, CutType, Substring},
    {"left", 2, 2, kStrict, CutType, Left},
    {"right", 2, 2, kStrict, CutType, Right},
    {"replace", 3, 3, kStrict, TextType, Replace},
    {"charindex", 2, 3, kStrict, IntType, CharIndex},
    {"space", 1, 1, kStrict, TextType, Space},
    {"replicate", 2, 2, kStrict, TextType, Replicate},
    {"ascii", 1, 1, kStrict, IntType, Ascii},
    {"char", 1, 1, kStrict, TextType, Char},
    {"str", 1, 3, kStrict, TextType, Str},
    {"abs", 1, 1, kStrict, FirstArgType, Abs},
    {"round", 2, 3, kStrict, FirstArgType, Round},
    {"floor", 1, 1, kStrict, FirstArgType, Floor},
    {"ceiling", 1, 1, kStrict, FirstArgType, Ceiling},
    {"year", 1, 1, kStrict, IntType, DatePart<0, 4>},
    {"month", 1, 1, kStrict, IntType, DatePart<5, 2>},
    {"day", 1, 1, kStrict, IntType, DatePart<8, 2>},
};

}  // namespace

const Function* FindFunction(std::string_view name) {
  for (const auto& f : kFunctions) {
    if (name == f.name) return &f;
  }
  return nullptr;
}

}  // namespace storesim::sql
