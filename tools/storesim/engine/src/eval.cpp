// Expression evaluation: values, conditions in three-valued logic,
// aggregates over a group, and subqueries.
#include <algorithm>
#include <cmath>
#include <set>

#include "executor.h"
#include "functions.h"

namespace storesim::sql {

namespace {

Value Bool01(bool b) { return Value::Int(b ? 1 : 0); }

// One step of an arithmetic chain on two values that are not NULL; `type`
// is the type of its result.
Value Arithmetic(const std::string& op, Value a, Value b, const SqlType& type) {
  if (op == "+" && a.kind == Kind::Str && b.kind == Kind::Str) return Value::Str(a.text + b.text);
  if (a.kind == Kind::Date || b.kind == Kind::Date) {
    if (op != "+" && op != "-") Fail(8117, {op});
    const Value& d = a.kind == Kind::Date ? a : b;
    const Value& n = a.kind == Kind::Date ? b : a;
    long double days = ToLongDouble(ConvertValue(n, SqlType{Base::Float}));
    if (op == "-") days = -days;
    const std::string& base = d.text;
    // Whole days only; a fraction of a day is dropped.
    std::string nd = DateFromDays(DaysFrom1900(base) + static_cast<std::int64_t>(std::floor(days)));
    return Value::Date(nd.substr(0, 11) + base.substr(11));
  }
  auto numeric = [](const Value& v) {
    if (v.kind != Kind::Str) return v;
    if (auto i = ParseInt(v.text)) return Value::Int(*i);
    return ConvertValue(v, SqlType{Base::Float});
  };
  if (a.kind == Kind::Str) a = a.kind == b.kind ? a : numeric(a);
  if (b.kind == Kind::Str) b = numeric(b);
  if (a.kind == Kind::Str || b.kind == Kind::Str) {
    Fail(402, {"varchar", "varchar", op});
  }
  if (a.kind == Kind::Int && b.kind == Kind::Int) {
    std::int64_t x = std::stoll(a.text), y = std::stoll(b.text), r = 0;
    if ((op == "/" || op == "%") && y == 0) Fail(8134);
    bool overflow = false;
    if (op == "+") overflow = __builtin_add_overflow(x, y, &r);
    else if (op == "-") overflow = __builtin_sub_overflow(x, y, &r);
    else if (op == "*") overflow = __builtin_mul_overflow(x, y, &r);
    else if (op == "/") overflow = (x == INT64_MIN && y == -1) || ((r = x / y), false);
    else if (op == "%") r = y == -1 ? 0 : x % y;
    else if (op == "&") r = x & y;
    else if (op == "|") r = x | y;
    else r = x ^ y;
    bool wide = type.base == Base::BigInt;
    if (overflow || (!wide && (r > INT32_MAX || r < INT32_MIN))) {
      Fail(8115, {"expression", wide ? "bigint" : "int"});
    }
    return Value::Int(r);
  }
  if (op == "&" || op == "|" || op == "^" || op == "%") {
    Fail(402, {"numeric", "numeric", op});
  }
  long double x = ToLongDouble(a), y = ToLongDouble(b), r;
  if (op == "/" && y == 0) Fail(8134);
  r = op == "+" ? x + y : op == "-" ? x - y : op == "*" ? x * y : x / y;
  if (a.kind == Kind::Float || b.kind == Kind::Float) return Value{Kind::Float, FormatFloat(r)};
  auto scale_of = [](const Value& v) {
    auto dot = v.text.find('.');
    return dot == std::string::npos ? 0 : static_cast<int>(v.text.size() - dot - 1);
  };
  int scale = op == "*" ? scale_of(a) + scale_of(b) : op == "/" ? std::max(6, scale_of(a)) : std::max(scale_of(a), scale_of(b));
  scale = std::min(scale, 12);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%.*Lf", scale, r);
  return Value::Dec(buf);
}

}  // namespace

Executor::SubCache& Executor::SubqueryValues(const Expr& e, const Frame& f, SubCache* scratch) {
  SubCache* c = e.correlated ? scratch : &cache_[&e];
  if (c->done) return *c;
  QueryResult q = RunQuery(*e.sub, &f);
  for (auto& row : q.rows) {
    Value v = row.empty() ? Value() : row[0];
    if (v.IsNull()) {
      c->has_null = true;
    } else {
      if (v.kind != Kind::Str) c->all_strings = false;
      c->keys.insert(NormKey(v));
    }
    c->values.push_back(std::move(v));
  }
  c->done = true;
  return *c;
}

Tri Executor::Cond(const Expr& e, const Frame& f) {
  switch (e.k) {
    case Expr::K::And:
    case Expr::K::Or: {
      // The first operand that decides ends the chain: FALSE for AND, TRUE
      // for OR; otherwise UNKNOWN if any operand was.
      const Tri decides = e.k == Expr::K::And ? Tri::False : Tri::True;
      bool unknown = false;
      for (const auto& a : e.args) {
        Tri t = Cond(*a, f);
        if (t == decides) return decides;
        if (t == Tri::Unknown) unknown = true;
      }
      if (unknown) return Tri::Unknown;
      return decides == Tri::False ? Tri::True : Tri::False;
    }
    case Expr::K::Not: {
      Tri a = Cond(*e.args[0], f);
      return a == Tri::Unknown ? a : (a == Tri::True ? Tri::False : Tri::True);
    }
    case Expr::K::Compare: {
      Value a = Eval(*e.args[0], f), b = Eval(*e.args[1], f);
      if (a.IsNull() || b.IsNull()) return Tri::Unknown;
      int c = Compare(a, b);
      bool r = e.op == "=" ? c == 0 : e.op == "<>" ? c != 0 : e.op == "<" ? c < 0 : e.op == ">" ? c > 0
             : e.op == "<=" ? c <= 0 : c >= 0;
      return r ? Tri::True : Tri::False;
    }
    case Expr::K::IsNull: {
      bool n = Eval(*e.args[0], f).IsNull();
      return (n != e.negated) ? Tri::True : Tri::False;
    }
    case Expr::K::Like: {
      Value v = Eval(*e.args[0], f), p = Eval(*e.args[1], f);
      std::optional<char32_t> esc;
      if (e.args.size() > 2) {
        Value x = Eval(*e.args[2], f);
        if (!x.IsNull() && !x.text.empty()) esc = static_cast<unsigned char>(x.text[0]);
      }
      if (v.IsNull() || p.IsNull()) return Tri::Unknown;
      // Trailing blanks of the value (not of the pattern) are ignored.
      std::string text = TextOfValue(v);
      while (!text.empty() && text.back() == ' ') text.pop_back();
      bool m = Like(text, TextOfValue(p), esc);
      return (m != e.negated) ? Tri::True : Tri::False;
    }
    case Expr::K::Between: {
      Value v = Eval(*e.args[0], f), lo = Eval(*e.args[1], f), hi = Eval(*e.args[2], f);
      Tri a = (v.IsNull() || lo.IsNull()) ? Tri::Unknown : (Compare(v, lo) >= 0 ? Tri::True : Tri::False);
      Tri b = (v.IsNull() || hi.IsNull()) ? Tri::Unknown : (Compare(v, hi) <= 0 ? Tri::True : Tri::False);
      Tri r = (a == Tri::False || b == Tri::False) ? Tri::False
            : (a == Tri::True && b == Tri::True) ? Tri::True : Tri::Unknown;
      if (e.negated && r != Tri::Unknown) r = r == Tri::True ? Tri::False : Tri::True;
      return r;
    }
    case Expr::K::InList:
    case Expr::K::InSelect: {
      Value v = Eval(*e.args[0], f);
      Tri r = Tri::False;
      if (v.IsNull()) {
        r = Tri::Unknown;
      } else if (e.k == Expr::K::InList) {
        for (std::size_t i = 1; i < e.args.size() && r != Tri::True; ++i) {
          Value x = Eval(*e.args[i], f);
          if (x.IsNull()) {
            r = Tri::Unknown;
          } else if (Compare(v, x) == 0) {
            r = Tri::True;
          }
        }
      } else {
        SubCache scratch;
        SubCache& c = SubqueryValues(e, f, &scratch);
        if (v.kind == Kind::Str && c.all_strings) {
          if (c.keys.count(NormKey(v))) r = Tri::True;
        } else {
          for (const auto& x : c.values) {
            if (!x.IsNull() && Compare(v, x) == 0) {
              r = Tri::True;
              break;
            }
          }
        }
        if (r != Tri::True && c.has_null) r = Tri::Unknown;
      }
      if (e.negated && r != Tri::Unknown) r = r == Tri::True ? Tri::False : Tri::True;
      return r;
    }
    case Expr::K::Exists: {
      SubCache scratch;
      SubCache& c = SubqueryValues(e, f, &scratch);
      bool any = !c.values.empty();
      return (any != e.negated) ? Tri::True : Tri::False;
    }
    default:
      Fail(4145, {}, true);
  }
}

Value Executor::Eval(const Expr& e, const Frame& f) {
  switch (e.k) {
    case Expr::K::Literal:
      return e.literal;
    case Expr::K::Column: {
      const Frame* fr = &f;
      for (int d = 0; d < e.depth && fr; ++d) fr = fr->parent;
      if (!fr || e.source < 0 || static_cast<std::size_t>(e.source) >= fr->row.size() || !fr->row[e.source]) {
        return Value();
      }
      return (*fr->row[e.source])[e.column];
    }
    case Expr::K::Unary: {
      Value v = Eval(*e.args[0], f);
      if (v.IsNull() || e.op == "+") return v;
      if (e.op == "~") return Value::Int(~IntOf(v));
      if (v.kind == Kind::Str) v = ConvertValue(v, SqlType{Base::Float});
      if (v.kind == Kind::Date) Fail(8117, {"minus"});
      std::string t = v.text;
      if (!t.empty() && t[0] == '-') {
        t.erase(0, 1);
      } else {
        t = "-" + t;
      }
      return Value{v.kind, t};
    }
    case Expr::K::Binary: {
      Value acc = Eval(*e.args[0], f);
      for (std::size_t i = 0; i < e.steps.size(); ++i) {
        Value b = Eval(*e.args[i + 1], f);
        acc = acc.IsNull() || b.IsNull() ? Value() : Arithmetic(e.steps[i].op, std::move(acc), std::move(b),
                                                                 e.steps[i].type);
      }
      return acc;
    }
    case Expr::K::Func:
      if (e.function->Aggregate()) return EvalAggregate(e, f);
      return EvalFunction(e, f);
    case Expr::K::Case: {
      Value operand;
      if (e.operand) operand = Eval(*e.operand, f);
      for (std::size_t i = 0; i + 1 < e.args.size(); i += 2) {
        bool hit;
        if (e.operand) {
          Value w = Eval(*e.args[i], f);
          hit = !operand.IsNull() && !w.IsNull() && Compare(operand, w) == 0;
        } else {
          hit = Cond(*e.args[i], f) == Tri::True;
        }
        if (hit) return Eval(*e.args[i + 1], f);
      }
      return e.else_expr ? Eval(*e.else_expr, f) : Value();
    }
    case Expr::K::Cast: {
      Value v = Eval(*e.args[0], f);
      if (v.IsNull()) return v;
      if (e.args.size() > 1 && v.kind == Kind::Date && e.cast_type.IsString()) {
        Value st = Eval(*e.args[1], f);
        int style = st.IsNull() ? 0 : static_cast<int>(IntOf(st));
        const std::string& d = v.text;  // yyyy-mm-dd hh:mm:ss.mmm
        std::string out;
        switch (style) {
          case 112: out = d.substr(0, 4) + d.substr(5, 2) + d.substr(8, 2); break;
          case 23: out = d.substr(0, 10); break;
          case 120: out = d.substr(0, 19); break;
          case 121: out = d; break;
          case 102: out = d.substr(0, 4) + "." + d.substr(5, 2) + "." + d.substr(8, 2); break;
          case 111: out = d.substr(0, 4) + "/" + d.substr(5, 2) + "/" + d.substr(8, 2); break;
          case 101: out = d.substr(5, 2) + "/" + d.substr(8, 2) + "/" + d.substr(0, 4); break;
          case 108: out = d.substr(11, 8); break;
          default: return ConvertValue(v, e.cast_type);
        }
        return ConvertValue(Value::Str(out), e.cast_type);
      }
      return ConvertValue(v, e.cast_type);
    }
    case Expr::K::Subquery: {
      SubCache scratch;
      SubCache& c = SubqueryValues(e, f, &scratch);
      if (c.values.size() > 1) {
        Fail({Error(512),
              Error(3621)});
      }
      return c.values.empty() ? Value() : c.values[0];
    }
    case Expr::K::GlobalVar: {
      const std::string& n = e.op;
      if (n == "trancount") return Value::Int(ss_.trancount);
      if (n == "rowcount") return Value::Int(ss_.rowcount);
      if (n == "error") return Value::Int(ss_.last_error);
      if (n == "identity") return ss_.identity ? Value::Dec(std::to_string(*ss_.identity)) : Value();
      if (n == "version") return Value::Str("Microsoft SQL Server (store database simulator)");
      if (n == "servername") return Value::Str("STORESIM");
      if (n == "language") return Value::Str("us_english");
      if (n == "spid") return Value::Int(51);
      return Value::Int(0);
    }
    default: {
      Tri t = Cond(e, f);
      if (t == Tri::Unknown) return Value();
      return Bool01(t == Tri::True);
    }
  }
}

// COUNT and MAX over the rows of the group; NULLs are left out, with the
// server's warning.
Value Executor::EvalAggregate(const Expr& e, const Frame& f) {
  if (!f.group) {
    Fail(147, {}, true);
  }
  std::int64_t count = 0;
  std::optional<Value> best;
  std::set<std::string> distinct;
  for (const auto& combo : *f.group) {
    if (e.star) {
      ++count;
      continue;
    }
    Frame cf{f.parent, combo, nullptr};
    Value v = Eval(*e.args[0], cf);
    if (v.IsNull()) {
      null_eliminated_ = true;
      continue;
    }
    if (e.distinct && !distinct.insert(NormKey(v)).second) continue;
    ++count;
    if (!best || Compare(v, *best) > 0) best = v;
  }
  if (e.op == "count") return Value::Int(count);
  return best ? *best : Value();
}

Value Executor::EvalFunction(const Expr& e, const Frame& f) {
  const Function& fn = *e.function;
  CallContext cx{st_, ss_.database};
  Call call{e, {}, {}, cx};
  if (fn.flags & Function::kLazy) {
    call.arg = [&](std::size_t i) { return Eval(*e.args[i], f); };
  } else {
    for (const auto& x : e.args) call.args.push_back(Eval(*x, f));
    if ((fn.flags & Function::kStrict) &&
        std::any_of(call.args.begin(), call.args.end(), [](const Value& v) { return v.IsNull(); })) {
      return Value();
    }
  }
  return fn.eval(call);
}

}  // namespace storesim::sql
