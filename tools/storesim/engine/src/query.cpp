// SELECT: name binding, expression evaluation, joins, grouping, ordering,
// and the system views that scripts query before they drop or create.
#include <algorithm>
#include <cmath>
#include <set>

#include "executor.h"
#include "lexer.h"

namespace storesim::sql {

namespace {

bool IsAggregate(const std::string& name) {
  return name == "count" || name == "max" || name == "min" || name == "sum" || name == "avg" ||
         name == "count_big";
}

// True when the expression holds an aggregate outside any subquery.
bool ContainsAggregate(const ExprPtr& e) {
  if (!e) return false;
  if (e->k == Expr::K::Func && IsAggregate(e->op)) return true;
  if (e->k == Expr::K::Subquery || e->k == Expr::K::Exists) return false;
  for (const auto& a : e->args) {
    if (ContainsAggregate(a)) return true;
  }
  return ContainsAggregate(e->operand) || ContainsAggregate(e->else_expr);
}

SqlType LiteralType(const Value& v) {
  switch (v.kind) {
    case Kind::Str: return SqlType{Base::VarChar, std::max<int>(1, static_cast<int>(GbkLength(v.text)))};
    case Kind::Int: {
      std::int64_t n = std::stoll(v.text);
      return SqlType{n >= INT32_MIN && n <= INT32_MAX ? Base::Int : Base::BigInt};
    }
    case Kind::Dec: {
      auto dot = v.text.find('.');
      int scale = dot == std::string::npos ? 0 : static_cast<int>(v.text.size() - dot - 1);
      int digits = static_cast<int>(std::count_if(v.text.begin(), v.text.end(), ::isdigit));
      return SqlType{Base::Numeric, 0, std::max(1, std::min(38, digits)), scale};
    }
    case Kind::Float: return SqlType{Base::Float};
    case Kind::Date: return SqlType{Base::DateTime};
    default: return SqlType{Base::Int};
  }
}

int TypeRank(const SqlType& t) {
  if (t.IsDate()) return 5;
  if (t.IsFloat()) return 4;
  if (t.IsExactNumeric()) return 3;
  if (t.base == Base::BigInt) return 2;
  if (t.IsInteger()) return 1;
  return 0;
}

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
  if (len < 0) Fail(537, 16, "Invalid length parameter passed to the LEFT or SUBSTRING function.");
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

std::string TextOfValue(const Value& v) {
  if (v.kind == Kind::Str) return v.text;
  return ConvertValue(v, SqlType{Base::VarChar, 8000}).text;
}

std::int64_t IntOf(const Value& v) { return std::stoll(ConvertValue(v, SqlType{Base::BigInt}).text); }

void SetType(Expr& e, SqlType t) {
  e.type = t;
  e.typed = true;
}

}  // namespace

void Executor::ResetQueryState() {
  bound_.clear();
  cache_.clear();
}

// --- sources -------------------------------------------------------------------------

Source Executor::TableSource(Table& t, const std::string& exposed) {
  Source s;
  s.exposed = exposed;
  for (const auto& c : t.columns) {
    s.names.push_back(c.name);
    s.types.push_back(c.type);
  }
  if (!compiling_) {
    for (std::uint64_t id : t.OrderedRowIds()) s.rows.push_back(&t.rows.at(id));
  }
  return s;
}

Source Executor::MakeSource(const TableRef& ref) {
  Source s;
  bool found = false;
  std::vector<RowValues> own = SystemView(ref.name, &s.names, &s.types, &found);
  if (found) {
    s.own = std::move(own);
    for (const auto& r : s.own) s.rows.push_back(&r);
  } else {
    Database& db = DbFor(ref.name);
    Table* t = db.FindTable(ref.name.Name());
    if (!t) Fail(208, 16, "Invalid object name '" + ref.name.Display() + "'.", true);
    s = TableSource(*t, ref.name.Name());
  }
  s.exposed = ref.alias.empty() ? ref.name.Name() : ref.alias;
  return s;
}

// --- binding -----------------------------------------------------------------------------

const BoundSelect& Executor::BindSelect(const Select& s, const Scope* parent, int* escape) {
  BoundSelect b;
  int esc = 0;
  auto note = [&](int e) { esc = std::max(esc, e); };
  for (const auto& ref : s.from) {
    Source src = MakeSource(ref);
    for (const auto& other : b.sources) {
      if (IEquals(other.exposed, src.exposed)) {
        Fail(1013, 16,
             "The objects \"" + other.exposed + "\" and \"" + src.exposed +
                 "\" in the FROM clause have the same exposed names. Use correlation names to distinguish them.",
             true);
      }
    }
    b.sources.push_back(std::move(src));
  }
  // Binding refers to the sources through the scope; keep them at their
  // final place before binding anything.
  BoundSelect& out = bound_[&s];
  out = std::move(b);
  Scope scope{&out.sources, parent};
  for (const auto& ref : s.from) {
    if (ref.on) note(BindExpr(ref.on, scope, false));
  }
  bool any_aggregate = false;
  for (const auto& it : s.items) {
    if (it.star) {
      if (out.sources.empty()) Fail(263, 16, "Must specify table to select from.", true);
      bool matched = false;
      for (std::size_t i = 0; i < out.sources.size(); ++i) {
        const Source& src = out.sources[i];
        if (!it.star_qualifier.empty() && !IEquals(src.exposed, it.star_qualifier.back())) continue;
        matched = true;
        for (std::size_t j = 0; j < src.names.size(); ++j) {
          auto e = std::make_shared<Expr>();
          e->k = Expr::K::Column;
          e->name = {src.exposed, src.names[j]};
          e->depth = 0;
          e->source = static_cast<int>(i);
          e->column = static_cast<int>(j);
          SetType(*e, src.types[j]);
          out.items.push_back(e);
          out.names.push_back(src.names[j]);
          out.types.push_back(src.types[j]);
        }
      }
      if (!matched) {
        std::string q;
        for (const auto& p : it.star_qualifier) q += (q.empty() ? "" : ".") + p;
        Fail(4104, 16, "The multi-part identifier \"" + q + "\" could not be bound.", true);
      }
      continue;
    }
    note(BindExpr(it.expr, scope, true));
    if (ContainsAggregate(it.expr)) any_aggregate = true;
    out.items.push_back(it.expr);
    std::string name = it.alias;
    if (name.empty() && it.expr->k == Expr::K::Column) name = it.expr->name.back();
    out.names.push_back(name);
    out.types.push_back(it.expr->type);
  }
  if (s.where) note(BindExpr(s.where, scope, false));
  for (const auto& g : s.group_by) note(BindExpr(g, scope, false));
  if (s.having) {
    note(BindExpr(s.having, scope, true));
    any_aggregate = true;
  }
  if (s.top) BindExpr(s.top, Scope{}, false);
  out.grouped = any_aggregate || !s.group_by.empty();
  for (const auto& o : s.order_by) {
    BoundSelect::Order ord;
    ord.desc = o.desc;
    if (o.expr->k == Expr::K::Literal && o.expr->literal.kind == Kind::Int) {
      std::int64_t n = std::stoll(o.expr->literal.text);
      if (n < 1 || n > static_cast<std::int64_t>(out.items.size())) {
        Fail(108, 16, "The ORDER BY position number " + o.expr->literal.text +
                          " is out of range of the number of items in the select list.", true);
      }
      ord.item = static_cast<int>(n - 1);
    } else if (o.expr->k == Expr::K::Column && o.expr->name.size() == 1) {
      for (std::size_t i = 0; i < out.names.size(); ++i) {
        if (IEquals(out.names[i], o.expr->name[0])) {
          ord.item = static_cast<int>(i);
          break;
        }
      }
    }
    if (ord.item < 0) {
      if (s.union_next) {
        Fail(104, 16, "ORDER BY items must appear in the select list if the statement contains a UNION, INTERSECT or EXCEPT operator.", true);
      }
      note(BindExpr(o.expr, scope, out.grouped));
      ord.expr = o.expr;
    }
    out.order.push_back(std::move(ord));
  }
  if (s.union_next) {
    int e = 0;
    const BoundSelect& next = BindSelect(*s.union_next, parent, &e);
    note(e);
    if (next.items.size() != bound_[&s].items.size()) {
      Fail(205, 16, "All queries combined using a UNION, INTERSECT or EXCEPT operator must have an equal number of expressions in their target lists.", true);
    }
  }
  if (escape) *escape = esc;
  return bound_[&s];
}

int Executor::BindExpr(const ExprPtr& ep, const Scope& scope, bool allow_aggregate) {
  Expr& e = *ep;
  int esc = 0;
  auto child = [&](const ExprPtr& c, bool agg) {
    if (c) esc = std::max(esc, BindExpr(c, scope, agg));
  };
  switch (e.k) {
    case Expr::K::Literal:
      SetType(e, LiteralType(e.literal));
      return 0;
    case Expr::K::Column: {
      const std::string& col = e.name.back();
      bool qualified = e.name.size() > 1;
      std::string qual = qualified ? e.name[e.name.size() - 2] : std::string();
      int depth = 0;
      for (const Scope* sc = &scope; sc; sc = sc->parent, ++depth) {
        if (!sc->sources) continue;
        int found_src = -1, found_col = -1, matches = 0;
        bool qual_found = false;
        for (std::size_t i = 0; i < sc->sources->size(); ++i) {
          const Source& src = (*sc->sources)[i];
          if (qualified && !IEquals(src.exposed, qual)) continue;
          qual_found = true;
          for (std::size_t j = 0; j < src.names.size(); ++j) {
            if (IEquals(src.names[j], col)) {
              if (found_src < 0) {
                found_src = static_cast<int>(i);
                found_col = static_cast<int>(j);
              }
              ++matches;
            }
          }
        }
        if (matches > 1) Fail(209, 16, "Ambiguous column name '" + col + "'.", true);
        if (matches == 1) {
          e.depth = depth;
          e.source = found_src;
          e.column = found_col;
          SetType(e, (*sc->sources)[found_src].types[found_col]);
          return depth;
        }
        if (qualified && qual_found) Fail(207, 16, "Invalid column name '" + col + "'.", true);
      }
      if (qualified) {
        std::string full;
        for (const auto& p : e.name) full += (full.empty() ? "" : ".") + p;
        Fail(4104, 16, "The multi-part identifier \"" + full + "\" could not be bound.", true);
      }
      Fail(207, 16, "Invalid column name '" + col + "'.", true);
    }
    case Expr::K::Variable:
      Fail(137, 15, "Must declare the scalar variable \"" + e.op + "\".", true);
    case Expr::K::GlobalVar: {
      static const char* known[] = {"trancount", "rowcount", "error", "identity", "version", "servername",
                                    "spid", "language", "fetch_status", "nestlevel"};
      bool ok = false;
      for (const char* k : known) ok = ok || e.op == k;
      if (!ok) Fail(137, 15, "Must declare the scalar variable \"@@" + e.op + "\".", true);
      bool text = e.op == "version" || e.op == "servername" || e.op == "language";
      SetType(e, text ? SqlType{Base::NVarChar, 256} : SqlType{Base::Int});
      return 0;
    }
    case Expr::K::Subquery:
    case Expr::K::InSelect:
    case Expr::K::Exists: {
      for (const auto& a : e.args) child(a, allow_aggregate);
      int sub_esc = 0;
      const BoundSelect& b = BindSelect(*e.sub, &scope, &sub_esc);
      e.correlated = sub_esc >= 1;
      esc = std::max(esc, sub_esc - 1);
      if (e.k != Expr::K::Exists && b.items.size() != 1) {
        Fail(116, 16, "Only one expression can be specified in the select list when the subquery is not introduced with EXISTS.", true);
      }
      SetType(e, e.k == Expr::K::Subquery ? b.types[0] : SqlType{Base::Int});
      return esc;
    }
    case Expr::K::Func: {
      bool agg = IsAggregate(e.op);
      if (agg && !allow_aggregate) {
        Fail(147, 15, "An aggregate may not appear in the WHERE clause unless it is in a subquery contained in a HAVING clause or a select list, and the column being aggregated is an outer reference.", true);
      }
      for (const auto& a : e.args) {
        child(a, agg ? false : allow_aggregate);
        if (agg && ContainsAggregate(a)) {
          Fail(130, 16, "Cannot perform an aggregate function on an expression containing an aggregate or a subquery.", true);
        }
      }
      struct Sig {
        const char* name;
        int min, max;
      };
      static const Sig sigs[] = {
          {"count", 1, 1}, {"count_big", 1, 1}, {"max", 1, 1}, {"min", 1, 1}, {"sum", 1, 1}, {"avg", 1, 1},
          {"isnull", 2, 2}, {"coalesce", 1, 99}, {"nullif", 2, 2}, {"upper", 1, 1}, {"lower", 1, 1},
          {"ltrim", 1, 1}, {"rtrim", 1, 1}, {"trim", 1, 1}, {"len", 1, 1}, {"datalength", 1, 1},
          {"substring", 3, 3}, {"left", 2, 2}, {"right", 2, 2}, {"replace", 3, 3}, {"charindex", 2, 3},
          {"getdate", 0, 0}, {"db_name", 0, 1}, {"db_id", 0, 1}, {"object_id", 1, 2},
          {"objectproperty", 2, 2}, {"col_length", 2, 2}, {"user_name", 0, 1}, {"suser_sname", 0, 1},
          {"abs", 1, 1}, {"round", 2, 3}, {"floor", 1, 1}, {"ceiling", 1, 1}, {"space", 1, 1},
          {"replicate", 2, 2}, {"year", 1, 1}, {"month", 1, 1}, {"day", 1, 1}, {"$default", 0, 0},
          {"str", 1, 3}, {"ascii", 1, 1}, {"char", 1, 1},
      };
      const Sig* sig = nullptr;
      for (const auto& sg : sigs) {
        if (e.op == sg.name) sig = &sg;
      }
      if (!sig) Fail(195, 15, "'" + e.op + "' is not a recognized built-in function name.", true);
      int n = e.star ? 1 : static_cast<int>(e.args.size());
      if (e.star && e.op != "count" && e.op != "count_big") {
        Fail(102, 15, "Incorrect syntax near '*'.", true);
      }
      if (n < sig->min || n > sig->max) {
        Fail(174, 15, "The " + e.op + " function requires " + std::to_string(sig->min) + " argument(s).", true);
      }
      const std::string& f = e.op;
      SqlType t{Base::VarChar, 8000};
      auto arg_type = [&](std::size_t i) { return e.args.size() > i ? e.args[i]->type : SqlType{Base::Int}; };
      if (f == "count" || f == "len" || f == "datalength" || f == "charindex" || f == "object_id" ||
          f == "objectproperty" || f == "col_length" || f == "db_id" || f == "year" || f == "month" ||
          f == "day" || f == "ascii") {
        t = SqlType{Base::Int};
      } else if (f == "count_big") {
        t = SqlType{Base::BigInt};
      } else if (f == "max" || f == "min" || f == "isnull" || f == "coalesce" || f == "nullif" ||
                 f == "upper" || f == "lower" || f == "ltrim" || f == "rtrim" || f == "trim" || f == "abs" ||
                 f == "round" || f == "floor" || f == "ceiling" || f == "left" || f == "right" ||
                 f == "substring") {
        t = arg_type(0);
        if (f == "isnull" && !e.args[0]->typed) t = arg_type(1);
        if ((f == "ltrim" || f == "rtrim" || f == "trim" || f == "left" || f == "right" || f == "substring") &&
            t.IsFixedLength()) {
          t.base = t.base == Base::NChar ? Base::NVarChar : Base::VarChar;
        }
        if (f == "upper" || f == "lower" || f == "left" || f == "right" || f == "substring") {
          if (!t.IsString()) t = SqlType{Base::VarChar, 8000};
        }
      } else if (f == "sum" || f == "avg") {
        t = arg_type(0);
        if (t.IsExactNumeric()) t = SqlType{Base::Numeric, 0, 38, t.scale};
        if (t.IsInteger() && t.base != Base::BigInt) t = SqlType{Base::Int};
      } else if (f == "getdate") {
        t = SqlType{Base::DateTime};
      } else if (f == "db_name" || f == "user_name" || f == "suser_sname") {
        t = SqlType{Base::NVarChar, 128};
      }
      SetType(e, t);
      return esc;
    }
    case Expr::K::Cast: {
      child(e.args[0], allow_aggregate);
      if (e.args.size() > 1) child(e.args[1], false);
      bool bad = false;
      std::optional<SqlType> t;
      if (e.type_name.parts.size() == 1) t = BuiltinType(e.type_name.Name(), e.type_args, &bad);
      if (!t) {
        const Database& db = CurrentDb();
        auto it = db.types.find(Lower(e.type_name.Name()));
        if (it == db.types.end()) {
          Fail(243, 16, "Type " + e.type_name.Name() + " is not a defined system type.", true);
        }
        t = it->second.base;
      }
      if (bad) Fail(102, 15, "Incorrect syntax near '" + e.type_name.Name() + "'.", true);
      e.cast_type = *t;
      SetType(e, *t);
      return esc;
    }
    default:
      break;
  }
  for (const auto& a : e.args) child(a, allow_aggregate);
  child(e.operand, allow_aggregate);
  child(e.else_expr, allow_aggregate);
  switch (e.k) {
    case Expr::K::Unary:
      SetType(e, e.args[0]->type);
      break;
    case Expr::K::Binary: {
      const SqlType& a = e.args[0]->type;
      const SqlType& b = e.args[1]->type;
      if (e.op == "+" && a.IsString() && b.IsString()) {
        int len = (a.length < 0 || b.length < 0) ? -1 : std::min(8000, a.length + b.length);
        SetType(e, SqlType{Base::VarChar, len});
      } else {
        SetType(e, TypeRank(a) >= TypeRank(b) ? (TypeRank(a) == 0 ? b : a) : b);
      }
      break;
    }
    case Expr::K::Case: {
      SqlType t = e.else_expr ? e.else_expr->type : SqlType{Base::VarChar, 1};
      for (std::size_t i = 1; i < e.args.size(); i += 2) {
        if (TypeRank(e.args[i]->type) > TypeRank(t) || (i == 1 && !e.else_expr)) t = e.args[i]->type;
        if (t.IsString() && e.args[i]->type.IsString()) t.length = std::max(t.length, e.args[i]->type.length);
      }
      SetType(e, t);
      break;
    }
    default:
      SetType(e, SqlType{Base::Int});
      break;
  }
  return esc;
}

// --- running a query -----------------------------------------------------------------------

QueryResult Executor::RunQuery(const Select& s, const Frame* outer) {
  QueryResult res = RunSelect(s, outer);
  if (!s.union_next) return res;
  bool distinct = false;
  for (const Select* p = &s; p->union_next; p = p->union_next.get()) {
    if (!p->union_all) distinct = true;
    QueryResult part = RunSelect(*p->union_next, outer);
    for (auto& r : part.rows) res.rows.push_back(std::move(r));
  }
  if (distinct) {
    std::set<std::string> seen;
    std::vector<RowValues> kept;
    for (auto& r : res.rows) {
      if (seen.insert(RowKey(r)).second) kept.push_back(std::move(r));
    }
    res.rows = std::move(kept);
  }
  const BoundSelect& b = bound_.at(&s);
  if (!b.order.empty()) {
    std::stable_sort(res.rows.begin(), res.rows.end(), [&](const RowValues& x, const RowValues& y) {
      for (const auto& o : b.order) {
        int r = OrderCompare(x[o.item], y[o.item]);
        if (r != 0) return o.desc ? r > 0 : r < 0;
      }
      return false;
    });
  }
  return res;
}

QueryResult Executor::RunSelect(const Select& s, const Frame* outer) {
  const BoundSelect& b = bound_.at(&s);
  QueryResult res;
  res.names = b.names;
  res.types = b.types;

  using Combo = std::vector<const RowValues*>;
  std::vector<Combo> combos(1);
  for (std::size_t i = 0; i < s.from.size(); ++i) {
    const TableRef& ref = s.from[i];
    const Source& src = b.sources[i];
    std::vector<Combo> next;
    for (const Combo& c : combos) {
      bool any = false;
      for (const RowValues* row : src.rows) {
        Combo n = c;
        n.push_back(row);
        if (ref.on) {
          Frame f{outer, n, nullptr};
          if (Cond(*ref.on, f) != Tri::True) continue;
        }
        any = true;
        next.push_back(std::move(n));
      }
      if (!any && ref.join == TableRef::Join::Left) {
        Combo n = c;
        n.push_back(nullptr);
        next.push_back(std::move(n));
      }
    }
    combos = std::move(next);
  }
  if (s.where) {
    std::vector<Combo> kept;
    for (auto& c : combos) {
      Frame f{outer, c, nullptr};
      if (Cond(*s.where, f) == Tri::True) kept.push_back(std::move(c));
    }
    combos = std::move(kept);
  }

  struct OutRow {
    RowValues values;
    RowValues keys;
  };
  std::vector<OutRow> out;
  auto project = [&](const Frame& f) {
    OutRow r;
    for (const auto& it : b.items) r.values.push_back(Eval(*it, f));
    for (const auto& o : b.order) r.keys.push_back(o.item >= 0 ? r.values[o.item] : Eval(*o.expr, f));
    out.push_back(std::move(r));
  };
  if (b.grouped) {
    std::vector<std::vector<Combo>> groups;
    if (s.group_by.empty()) {
      groups.push_back(std::move(combos));
    } else {
      std::map<std::string, std::size_t> index;
      for (auto& c : combos) {
        Frame f{outer, c, nullptr};
        std::string key;
        for (const auto& g : s.group_by) key += NormKey(Eval(*g, f)) + '\x1f';
        auto [it, fresh] = index.emplace(key, groups.size());
        if (fresh) groups.emplace_back();
        groups[it->second].push_back(std::move(c));
      }
    }
    for (const auto& g : groups) {
      Combo first = g.empty() ? Combo(s.from.size(), nullptr) : g.front();
      Frame f{outer, first, &g};
      if (s.having && Cond(*s.having, f) != Tri::True) continue;
      project(f);
    }
  } else {
    for (const auto& c : combos) {
      Frame f{outer, c, nullptr};
      project(f);
    }
  }
  if (s.distinct) {
    std::set<std::string> seen;
    std::vector<OutRow> kept;
    for (auto& r : out) {
      if (seen.insert(RowKey(r.values)).second) kept.push_back(std::move(r));
    }
    out = std::move(kept);
  }
  if (!b.order.empty() && !s.union_next) {
    std::stable_sort(out.begin(), out.end(), [&](const OutRow& x, const OutRow& y) {
      for (std::size_t k = 0; k < b.order.size(); ++k) {
        int r = OrderCompare(x.keys[k], y.keys[k]);
        if (r != 0) return b.order[k].desc ? r > 0 : r < 0;
      }
      return false;
    });
  }
  if (s.top) {
    Frame f;
    Value n = Eval(*s.top, f);
    std::int64_t limit = n.IsNull() ? 0 : IntOf(n);
    if (limit < 0) Fail(1060, 16, "The number of rows in the TOP clause must be an integer.");
    if (static_cast<std::int64_t>(out.size()) > limit) out.resize(static_cast<std::size_t>(limit));
  }
  for (auto& r : out) res.rows.push_back(std::move(r.values));
  return res;
}

void Executor::SelectStatement(const SelectStmt& s, StatementResult* r) {
  const BoundSelect& b = BindSelect(*s.select, nullptr);
  if (compiling_) return;
  QueryResult q = RunQuery(*s.select, nullptr);
  ResultSet rs;
  for (std::size_t i = 0; i < b.names.size(); ++i) {
    ColumnMeta m;
    m.name = b.names[i];
    m.type = WireType(b.types[i]);
    m.max_length = WireLength(b.types[i]);
    rs.columns.push_back(std::move(m));
  }
  for (const auto& row : q.rows) {
    std::vector<std::optional<std::string>> out;
    for (const auto& v : row) {
      if (v.IsNull()) {
        out.emplace_back(std::nullopt);
      } else {
        out.emplace_back(v.text);
      }
    }
    rs.rows.push_back(std::move(out));
  }
  SetRowCount(r, static_cast<std::int64_t>(rs.rows.size()));
  r->result = std::move(rs);
}

// --- evaluation -------------------------------------------------------------------------------

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
    case Expr::K::And: {
      Tri a = Cond(*e.args[0], f);
      if (a == Tri::False) return Tri::False;
      Tri b = Cond(*e.args[1], f);
      if (b == Tri::False) return Tri::False;
      return (a == Tri::True && b == Tri::True) ? Tri::True : Tri::Unknown;
    }
    case Expr::K::Or: {
      Tri a = Cond(*e.args[0], f);
      if (a == Tri::True) return Tri::True;
      Tri b = Cond(*e.args[1], f);
      if (b == Tri::True) return Tri::True;
      return (a == Tri::False && b == Tri::False) ? Tri::False : Tri::Unknown;
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
      Fail(4145, 15, "An expression of non-boolean type specified in a context where a condition is expected.", true);
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
      if (v.kind == Kind::Date) Fail(8117, 16, "Operand data type datetime is invalid for minus operator.");
      std::string t = v.text;
      if (!t.empty() && t[0] == '-') {
        t.erase(0, 1);
      } else {
        t = "-" + t;
      }
      return Value{v.kind, t};
    }
    case Expr::K::Binary: {
      Value a = Eval(*e.args[0], f), b = Eval(*e.args[1], f);
      if (a.IsNull() || b.IsNull()) return Value();
      const std::string& op = e.op;
      if (op == "+" && a.kind == Kind::Str && b.kind == Kind::Str) return Value::Str(a.text + b.text);
      if (a.kind == Kind::Date || b.kind == Kind::Date) {
        if (op != "+" && op != "-") Fail(8117, 16, "Operand data type datetime is invalid for " + op + " operator.");
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
        Fail(402, 16, "The data types varchar and varchar are incompatible in the " + op + " operator.");
      }
      if (a.kind == Kind::Int && b.kind == Kind::Int) {
        std::int64_t x = std::stoll(a.text), y = std::stoll(b.text), r = 0;
        if ((op == "/" || op == "%") && y == 0) Fail(8134, 16, "Divide by zero error encountered.");
        bool overflow = false;
        if (op == "+") overflow = __builtin_add_overflow(x, y, &r);
        else if (op == "-") overflow = __builtin_sub_overflow(x, y, &r);
        else if (op == "*") overflow = __builtin_mul_overflow(x, y, &r);
        else if (op == "/") overflow = (x == INT64_MIN && y == -1) || ((r = x / y), false);
        else if (op == "%") r = y == -1 ? 0 : x % y;
        else if (op == "&") r = x & y;
        else if (op == "|") r = x | y;
        else r = x ^ y;
        bool wide = e.type.base == Base::BigInt;
        if (overflow || (!wide && (r > INT32_MAX || r < INT32_MIN))) {
          Fail(8115, 16, std::string("Arithmetic overflow error converting expression to data type ") +
                             (wide ? "bigint." : "int."));
        }
        return Value::Int(r);
      }
      if (op == "&" || op == "|" || op == "^" || op == "%") {
        Fail(402, 16, "The data types numeric and numeric are incompatible in the " + op + " operator.");
      }
      long double x = ToLongDouble(a), y = ToLongDouble(b), r;
      if (op == "/" && y == 0) Fail(8134, 16, "Divide by zero error encountered.");
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
    case Expr::K::Func:
      if (IsAggregate(e.op)) return EvalAggregate(e, f);
      return EvalFunc(e, f);
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
        Fail({MakeMessage(512, 16, "Subquery returned more than 1 value. This is not permitted when the subquery follows =, !=, <, <= , >, >= or when the subquery is used as an expression."),
              MakeMessage(3621, 0, "The statement has been terminated.", 0)});
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

Value Executor::EvalAggregate(const Expr& e, const Frame& f) {
  if (!f.group) {
    Fail(147, 15, "An aggregate may not appear in the WHERE clause unless it is in a subquery contained in a HAVING clause or a select list, and the column being aggregated is an outer reference.", true);
  }
  const std::string& fn = e.op;
  std::int64_t count = 0;
  std::optional<Value> best;
  std::set<std::string> distinct;
  long double sum = 0;
  std::int64_t isum = 0;
  bool integral = true;
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
    if (fn == "max" || fn == "min") {
      if (!best) {
        best = v;
      } else {
        int c = Compare(v, *best);
        if ((fn == "max" && c > 0) || (fn == "min" && c < 0)) best = v;
      }
    } else if (fn == "sum" || fn == "avg") {
      if (v.kind == Kind::Str) v = ConvertValue(v, SqlType{Base::Float});
      if (v.kind == Kind::Int) {
        if (__builtin_add_overflow(isum, std::stoll(v.text), &isum)) {
          Fail(8115, 16, "Arithmetic overflow error converting expression to data type int.");
        }
      } else {
        integral = false;
      }
      sum += ToLongDouble(v);
    }
  }
  if (fn == "count" || fn == "count_big") return Value::Int(count);
  if (fn == "max" || fn == "min") return best ? *best : Value();
  if (count == 0) return Value();
  if (integral) {
    return Value::Int(fn == "sum" ? isum : isum / count);
  }
  long double r = fn == "sum" ? sum : sum / count;
  if (e.type.IsFloat()) return Value{Kind::Float, FormatFloat(r)};
  char buf[96];
  int scale = fn == "avg" ? std::max(6, e.type.scale) : e.type.scale;
  std::snprintf(buf, sizeof buf, "%.*Lf", scale, r);
  return Value::Dec(buf);
}

std::optional<std::int64_t> Executor::ObjectId(const std::string& text) {
  // The name may be written with brackets and qualifiers: "[dbo].[t_x]",
  // "store.dbo.t_x".
  std::string name = text;
  const Database* db = &CurrentDb();
  try {
    auto toks = Tokenize(text);
    std::vector<std::string> parts;
    for (const auto& t : toks) {
      if (t.type == Tok::Word || t.type == Tok::Quoted) parts.push_back(t.text);
    }
    if (!parts.empty()) name = parts.back();
    if (parts.size() >= 3) {
      db = st_.FindDatabase(parts[parts.size() - 3]);
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

Value Executor::EvalFunc(const Expr& e, const Frame& f) {
  const std::string& fn = e.op;
  std::vector<Value> a;
  if (fn != "isnull" && fn != "coalesce") {
    for (const auto& x : e.args) a.push_back(Eval(*x, f));
  }
  auto any_null = [&] {
    return std::any_of(a.begin(), a.end(), [](const Value& v) { return v.IsNull(); });
  };
  if (fn == "isnull") {
    Value v = Eval(*e.args[0], f);
    if (!v.IsNull()) return v;
    Value alt = Eval(*e.args[1], f);
    if (alt.IsNull() || !e.args[0]->typed) return alt;
    return ConvertValue(alt, e.args[0]->type);
  }
  if (fn == "coalesce") {
    for (const auto& x : e.args) {
      Value v = Eval(*x, f);
      if (!v.IsNull()) return v;
    }
    return Value();
  }
  if (fn == "nullif") {
    if (a[0].IsNull()) return a[0];
    if (!a[1].IsNull() && Compare(a[0], a[1]) == 0) return Value();
    return a[0];
  }
  if (fn == "getdate") return Value::Date(NowDateTime());
  if (fn == "db_name") {
    if (a.empty()) return Value::Str(ss_.database);
    if (a[0].IsNull()) return Value();
    std::int64_t id = IntOf(a[0]);
    std::int64_t n = 1;
    for (const auto& [_, db] : st_.databases) {
      if (n++ == id) return Value::Str(db.name);
    }
    return Value();
  }
  if (fn == "db_id") {
    std::string name = a.empty() ? ss_.database : (a[0].IsNull() ? "" : a[0].text);
    std::int64_t n = 1;
    for (const auto& [k, db] : st_.databases) {
      if (IEquals(db.name, name)) return Value::Int(n);
      ++n;
    }
    return Value();
  }
  if (fn == "user_name") return Value::Str("dbo");
  if (fn == "suser_sname") return Value::Str(core_.options.login);
  if (fn == "$default") return Value();
  if (fn == "object_id") {
    if (a[0].IsNull()) return Value();
    auto id = ObjectId(TextOfValue(a[0]));
    return id ? Value::Int(*id) : Value();
  }
  if (fn == "objectproperty") {
    if (any_null()) return Value();
    std::int64_t id = IntOf(a[0]);
    std::string prop = Lower(TextOfValue(a[1]));
    const Database& db = CurrentDb();
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
  if (fn == "col_length") {
    if (any_null()) return Value();
    const Database& db = CurrentDb();
    auto id = ObjectId(TextOfValue(a[0]));
    for (const auto& [_, t] : db.tables) {
      if (id && t.object_id == *id) {
        int c = t.ColumnIndex(TextOfValue(a[1]));
        if (c < 0) return Value();
        const SqlType& ty = t.columns[c].type;
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
  if (any_null()) return Value();
  if (fn == "upper") return Value::Str(UpperAscii(TextOfValue(a[0])));
  if (fn == "lower") return Value::Str(Lower(TextOfValue(a[0])));
  if (fn == "ltrim" || fn == "rtrim" || fn == "trim") {
    std::string s = TextOfValue(a[0]);
    if (fn != "rtrim") s.erase(0, s.find_first_not_of(' ') == std::string::npos ? s.size() : s.find_first_not_of(' '));
    if (fn != "ltrim") {
      while (!s.empty() && s.back() == ' ') s.pop_back();
    }
    return Value::Str(s);
  }
  if (fn == "len") {
    std::string s = TextOfValue(a[0]);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return Value::Int(static_cast<std::int64_t>(CharCount(s)));
  }
  if (fn == "datalength") {
    if (a[0].kind == Kind::Str) return Value::Int(static_cast<std::int64_t>(GbkLength(a[0].text)));
    return Value::Int(e.args[0]->type.IsDate() ? 8 : 4);
  }
  if (fn == "substring") return Value::Str(SubChars(TextOfValue(a[0]), IntOf(a[1]), IntOf(a[2])));
  if (fn == "left") {
    std::int64_t n = IntOf(a[1]);
    if (n < 0) Fail(536, 16, "Invalid length parameter passed to the left function.");
    return Value::Str(SubChars(TextOfValue(a[0]), 1, n));
  }
  if (fn == "right") {
    std::int64_t n = IntOf(a[1]);
    if (n < 0) Fail(536, 16, "Invalid length parameter passed to the right function.");
    std::string s = TextOfValue(a[0]);
    auto len = static_cast<std::int64_t>(CharCount(s));
    return Value::Str(SubChars(s, std::max<std::int64_t>(1, len - n + 1), n));
  }
  if (fn == "replace") {
    std::string s = TextOfValue(a[0]), from = TextOfValue(a[1]), to = TextOfValue(a[2]);
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
  if (fn == "charindex") {
    std::string needle = Lower(TextOfValue(a[0])), hay = Lower(TextOfValue(a[1]));
    std::int64_t start = a.size() > 2 ? std::max<std::int64_t>(1, IntOf(a[2])) : 1;
    std::vector<std::size_t> st = CharStarts(hay);
    if (needle.empty() || start > static_cast<std::int64_t>(st.size())) return Value::Int(0);
    std::size_t pos = hay.find(needle, st[start - 1]);
    if (pos == std::string::npos) return Value::Int(0);
    return Value::Int(static_cast<std::int64_t>(CharCount(hay.substr(0, pos))) + 1);
  }
  // Results of SPACE and REPLICATE stop at 8000 bytes, as for a varchar.
  if (fn == "space") {
    std::int64_t n = IntOf(a[0]);
    if (n < 0) return Value();
    return Value::Str(std::string(static_cast<std::size_t>(std::min<std::int64_t>(n, 8000)), ' '));
  }
  if (fn == "replicate") {
    std::string out, s = TextOfValue(a[0]);
    std::int64_t n = IntOf(a[1]);
    if (n < 0) return Value();
    for (std::int64_t i = 0; i < n && out.size() + s.size() <= 8000; ++i) out += s;
    return Value::Str(out);
  }
  if (fn == "ascii") {
    std::string s = TextOfValue(a[0]);
    return s.empty() ? Value() : Value::Int(static_cast<unsigned char>(s[0]));
  }
  if (fn == "char") {
    std::int64_t c = IntOf(a[0]);
    if (c < 0 || c > 127) return Value();
    return Value::Str(std::string(1, static_cast<char>(c)));
  }
  if (fn == "str") return Value::Str(TextOfValue(ConvertValue(a[0], SqlType{Base::Float})));
  if (fn == "abs") {
    Value v = a[0];
    if (v.kind == Kind::Str) v = ConvertValue(v, SqlType{Base::Float});
    if (!v.text.empty() && v.text[0] == '-') v.text.erase(0, 1);
    return v;
  }
  if (fn == "round" || fn == "floor" || fn == "ceiling") {
    Value v = a[0];
    if (v.kind == Kind::Str) v = ConvertValue(v, SqlType{Base::Float});
    if (v.kind == Kind::Int) return v;
    long double d = ToLongDouble(v);
    long double r;
    if (fn == "round") {
      long double p = std::pow(10.0L, static_cast<long double>(IntOf(a[1])));
      r = std::round(d * p) / p;
    } else {
      r = fn == "floor" ? std::floor(d) : std::ceil(d);
    }
    if (v.kind == Kind::Float) return Value{Kind::Float, FormatFloat(r)};
    auto dot = v.text.find('.');
    int scale = dot == std::string::npos ? 0 : static_cast<int>(v.text.size() - dot - 1);
    if (fn != "round") scale = 0;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%.*Lf", scale, r);
    return Value::Dec(buf);
  }
  if (fn == "year" || fn == "month" || fn == "day") {
    Value d = ConvertValue(a[0], SqlType{Base::DateTime});
    if (fn == "year") return Value::Int(std::stoll(d.text.substr(0, 4)));
    if (fn == "month") return Value::Int(std::stoll(d.text.substr(5, 2)));
    return Value::Int(std::stoll(d.text.substr(8, 2)));
  }
  Fail(195, 15, "'" + fn + "' is not a recognized built-in function name.", true);
}

// --- system views ---------------------------------------------------------------------------

std::vector<RowValues> Executor::SystemView(const ObjectName& n, std::vector<std::string>* names,
                                            std::vector<SqlType>* types, bool* found) {
  *found = false;
  std::string name = Lower(n.Name());
  std::string schema = Lower(n.Schema());
  std::string view;
  if (schema == "sys") {
    view = "sys." + name;
  } else if (schema == "information_schema") {
    view = "information_schema." + name;
  } else if (name == "sysobjects" || name == "syscolumns" || name == "sysindexes" || name == "sysdatabases") {
    view = name;
  } else {
    return {};
  }
  const Database* db = &CurrentDb();
  if (!n.Database().empty()) {
    db = st_.FindDatabase(n.Database());
    if (!db) Fail(911, 16, "Database '" + n.Database() + "' does not exist. Make sure that the name is entered correctly.");
  }
  const SqlType name_t{Base::NVarChar, 128}, int_t{Base::Int}, code_t{Base::Char, 2};
  auto cols = [&](std::initializer_list<std::pair<const char*, SqlType>> list) {
    for (const auto& [cn, ct] : list) {
      names->push_back(cn);
      types->push_back(ct);
    }
  };
  auto S = [](const std::string& s) { return Value::Str(s); };
  auto I = [](std::int64_t v) { return Value::Int(v); };
  std::vector<RowValues> rows;
  // Every object: name, id, two-letter type, parent id.
  struct Obj {
    std::string name;
    std::int64_t id;
    std::string type;
    std::int64_t parent;
    std::string desc;
  };
  std::vector<Obj> objs;
  for (const auto& [_, t] : db->tables) {
    objs.push_back({t.name, t.object_id, "U ", 0, "USER_TABLE"});
    for (const auto& ix : t.indexes) {
      if (ix.constraint) {
        objs.push_back({ix.name, ix.object_id, ix.primary_key ? "PK" : "UQ", t.object_id,
                        ix.primary_key ? "PRIMARY_KEY_CONSTRAINT" : "UNIQUE_CONSTRAINT"});
      }
    }
    for (const auto& c : t.columns) {
      if (!c.default_name.empty()) objs.push_back({c.default_name, c.default_id, "D ", t.object_id, "DEFAULT_CONSTRAINT"});
    }
  }
  for (const auto& [_, m] : db->modules) {
    std::int64_t parent = 0;
    if (const Table* t = db->FindTable(m.table)) parent = t->object_id;
    static const char* codes[] = {"P ", "TR", "V ", "FN"};
    static const char* descs[] = {"SQL_STORED_PROCEDURE", "SQL_TRIGGER", "VIEW", "SQL_SCALAR_FUNCTION"};
    objs.push_back({m.name, m.object_id, codes[static_cast<int>(m.what)], parent, descs[static_cast<int>(m.what)]});
  }
  if (view == "sysobjects" || view == "sys.objects" || view == "sys.tables" || view == "sys.procedures" ||
      view == "sys.triggers" || view == "sys.views") {
    if (view == "sysobjects") {
      cols({{"name", name_t}, {"id", int_t}, {"xtype", code_t}, {"type", code_t}, {"uid", SqlType{Base::SmallInt}},
            {"parent_obj", int_t}});
    } else {
      cols({{"name", name_t}, {"object_id", int_t}, {"type", code_t}, {"type_desc", SqlType{Base::NVarChar, 60}},
            {"parent_object_id", int_t}, {"schema_id", int_t}, {"parent_id", int_t}});
    }
    for (const auto& o : objs) {
      std::string t = o.type;
      if (view == "sys.tables" && t != "U ") continue;
      if (view == "sys.procedures" && t != "P ") continue;
      if (view == "sys.triggers" && t != "TR") continue;
      if (view == "sys.views" && t != "V ") continue;
      if (view == "sysobjects") {
        rows.push_back({S(o.name), I(o.id), S(t), S(t), I(1), I(o.parent)});
      } else {
        rows.push_back({S(o.name), I(o.id), S(t), S(o.desc), I(o.parent), I(1), I(o.parent)});
      }
    }
  } else if (view == "syscolumns" || view == "sys.columns") {
    if (view == "syscolumns") {
      cols({{"name", name_t}, {"id", int_t}, {"colid", SqlType{Base::SmallInt}}, {"length", SqlType{Base::SmallInt}},
            {"isnullable", int_t}});
    } else {
      cols({{"name", name_t}, {"object_id", int_t}, {"column_id", int_t}, {"max_length", SqlType{Base::SmallInt}},
            {"is_nullable", SqlType{Base::Bit}}, {"is_identity", SqlType{Base::Bit}}});
    }
    for (const auto& [_, t] : db->tables) {
      for (std::size_t i = 0; i < t.columns.size(); ++i) {
        const Column& c = t.columns[i];
        int len = c.type.IsString() ? (c.type.length < 0 ? -1 : c.type.length) : 8;
        if (view == "syscolumns") {
          rows.push_back({S(c.name), I(t.object_id), I(static_cast<std::int64_t>(i + 1)), I(len), I(c.nullable)});
        } else {
          rows.push_back({S(c.name), I(t.object_id), I(static_cast<std::int64_t>(i + 1)), I(len), I(c.nullable),
                          I(c.identity)});
        }
      }
    }
  } else if (view == "sysindexes" || view == "sys.indexes") {
    if (view == "sysindexes") {
      cols({{"name", name_t}, {"id", int_t}, {"indid", SqlType{Base::SmallInt}}});
    } else {
      cols({{"name", name_t}, {"object_id", int_t}, {"index_id", int_t}, {"is_primary_key", SqlType{Base::Bit}},
            {"is_unique", SqlType{Base::Bit}}});
    }
    for (const auto& [_, t] : db->tables) {
      std::int64_t next = 2;
      for (const auto& ix : t.indexes) {
        std::int64_t id = ix.clustered ? 1 : next++;
        if (view == "sysindexes") {
          rows.push_back({S(ix.name), I(t.object_id), I(id)});
        } else {
          rows.push_back({S(ix.name), I(t.object_id), I(id), I(ix.primary_key), I(ix.unique)});
        }
      }
    }
  } else if (view == "sysdatabases" || view == "sys.databases") {
    cols({{"name", name_t}, {view == "sysdatabases" ? "dbid" : "database_id", int_t}});
    std::int64_t id = 1;
    for (const auto& [_, d] : st_.databases) rows.push_back({S(d.name), I(id++)});
  } else if (view == "sys.default_constraints") {
    cols({{"name", name_t}, {"object_id", int_t}, {"parent_object_id", int_t}, {"parent_column_id", int_t},
          {"definition", SqlType{Base::NVarChar, 4000}}});
    for (const auto& [_, t] : db->tables) {
      for (std::size_t i = 0; i < t.columns.size(); ++i) {
        const Column& c = t.columns[i];
        if (c.default_name.empty()) continue;
        rows.push_back({S(c.default_name), I(c.default_id), I(t.object_id), I(static_cast<std::int64_t>(i + 1)),
                        S(c.default_text)});
      }
    }
  } else if (view == "sys.sql_modules") {
    cols({{"object_id", int_t}, {"definition", SqlType{Base::NVarChar, -1}}});
    for (const auto& [_, m] : db->modules) rows.push_back({I(m.object_id), m.encrypted ? Value() : S(m.text)});
  } else if (view == "information_schema.tables") {
    cols({{"TABLE_CATALOG", name_t}, {"TABLE_SCHEMA", name_t}, {"TABLE_NAME", name_t},
          {"TABLE_TYPE", SqlType{Base::VarChar, 10}}});
    for (const auto& [_, t] : db->tables) rows.push_back({S(db->name), S("dbo"), S(t.name), S("BASE TABLE")});
  } else if (view == "information_schema.columns") {
    cols({{"TABLE_CATALOG", name_t}, {"TABLE_SCHEMA", name_t}, {"TABLE_NAME", name_t}, {"COLUMN_NAME", name_t},
          {"ORDINAL_POSITION", int_t}, {"IS_NULLABLE", SqlType{Base::VarChar, 3}}, {"DATA_TYPE", name_t},
          {"CHARACTER_MAXIMUM_LENGTH", int_t}});
    for (const auto& [_, t] : db->tables) {
      for (std::size_t i = 0; i < t.columns.size(); ++i) {
        const Column& c = t.columns[i];
        std::string dt = c.type.ToString();
        dt = dt.substr(0, dt.find('('));
        rows.push_back({S(db->name), S("dbo"), S(t.name), S(c.name), I(static_cast<std::int64_t>(i + 1)),
                        S(c.nullable ? "YES" : "NO"), S(dt),
                        c.type.IsString() ? I(c.type.length) : Value()});
      }
    }
  } else {
    return {};
  }
  *found = true;
  return rows;
}

}  // namespace storesim::sql
