#include "binder.h"

#include <algorithm>

#include "functions.h"

namespace storesim::sql {

namespace {

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

void SetType(Expr& e, SqlType t) {
  e.type = t;
  e.typed = true;
}

}  // namespace

bool ContainsAggregate(const ExprPtr& e) {
  if (!e) return false;
  if (e->k == Expr::K::Func) {
    const Function* f = FindFunction(e->op);
    if (f && f->Aggregate()) return true;
  }
  if (e->k == Expr::K::Subquery || e->k == Expr::K::Exists) return false;
  for (const auto& a : e->args) {
    if (ContainsAggregate(a)) return true;
  }
  return ContainsAggregate(e->operand) || ContainsAggregate(e->else_expr);
}

Source Binder::TableSource(const Table& t, const std::string& exposed) {
  Source s;
  s.exposed = exposed;
  s.table = &t;
  for (const auto& c : t.columns) {
    s.names.push_back(c.name);
    s.types.push_back(c.type);
  }
  return s;
}

Source Binder::MakeSource(const TableRef& ref) {
  Source s;
  if (const SystemView* view = FindSystemView(ref.name)) {
    const Database* db = &st_.ExistingDatabase(database_);
    if (!ref.name.Database().empty()) db = &st_.ExistingDatabase(ref.name.Database());
    s.view = view;
    s.view_db = db;
    SystemViewColumns(*view, &s.names, &s.types);
  } else {
    const Database& db = st_.ExistingDatabase(ref.name.Database().empty() ? database_ : ref.name.Database());
    const Table* t = db.FindTable(ref.name.Name());
    if (!t) Fail(208, {ref.name.Display()}, true);
    s = TableSource(*t, ref.name.Name());
  }
  s.exposed = ref.alias.empty() ? ref.name.Name() : ref.alias;
  return s;
}

const BoundSelect& Binder::BindSelect(const Select& s, const Scope* parent, int* escape) {
  BoundSelect b;
  int esc = 0;
  auto note = [&](int e) { esc = std::max(esc, e); };
  for (const auto& ref : s.from) {
    Source src = MakeSource(ref);
    for (const auto& other : b.sources) {
      if (IEquals(other.exposed, src.exposed)) {
        Fail(1013, {other.exposed, src.exposed}, true);
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
      if (out.sources.empty()) Fail(263, {}, true);
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
        Fail(4104, {q}, true);
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
  if (s.top) BindExpr(s.top, Scope{}, false);
  out.grouped = any_aggregate;
  for (const auto& o : s.order_by) {
    BoundSelect::Order ord;
    ord.desc = o.desc;
    if (o.expr->k == Expr::K::Literal && o.expr->literal.kind == Kind::Int) {
      std::int64_t n = std::stoll(o.expr->literal.text);
      if (n < 1 || n > static_cast<std::int64_t>(out.items.size())) {
        Fail(108, {o.expr->literal.text}, true);
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
      note(BindExpr(o.expr, scope, out.grouped));
      ord.expr = o.expr;
    }
    out.order.push_back(std::move(ord));
  }
  if (escape) *escape = esc;
  return bound_[&s];
}

int Binder::BindExpr(const ExprPtr& ep, const Scope& scope, bool allow_aggregate) {
  Expr& e = *ep;
  int esc = 0;
  auto child = [&](const ExprPtr& c, bool agg) {
    if (c) esc = std::max(esc, BindExpr(c, scope, agg));
  };
  switch (e.k) {
    case Expr::K::Literal:
      SetType(e, LiteralType(e.literal));
      return 0;
    case Expr::K::Column:
      return BindColumn(e, scope);
    case Expr::K::Variable:
      Fail(137, {e.op}, true);
    case Expr::K::GlobalVar: {
      static const char* known[] = {"trancount", "rowcount", "error", "identity", "version", "servername",
                                    "spid", "language", "fetch_status", "nestlevel"};
      bool ok = false;
      for (const char* k : known) ok = ok || e.op == k;
      if (!ok) Fail(137, {"@@" + e.op}, true);
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
        Fail(116, {}, true);
      }
      SetType(e, e.k == Expr::K::Subquery ? b.types[0] : SqlType{Base::Int});
      return esc;
    }
    case Expr::K::Func:
      return BindFunction(e, scope, allow_aggregate);
    case Expr::K::Cast:
      return BindCast(e, scope, allow_aggregate);
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
      SqlType a = e.args[0]->type;
      for (std::size_t i = 0; i < e.steps.size(); ++i) {
        const SqlType& b = e.args[i + 1]->type;
        if (e.steps[i].op == "+" && a.IsString() && b.IsString()) {
          int len = (a.length < 0 || b.length < 0) ? -1 : std::min(8000, a.length + b.length);
          a = SqlType{Base::VarChar, len};
        } else {
          a = TypeRank(a) >= TypeRank(b) ? (TypeRank(a) == 0 ? b : a) : b;
        }
        e.steps[i].type = a;
      }
      SetType(e, a);
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

int Binder::BindColumn(Expr& e, const Scope& scope) {
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
    if (matches > 1) Fail(209, {col}, true);
    if (matches == 1) {
      e.depth = depth;
      e.source = found_src;
      e.column = found_col;
      SetType(e, (*sc->sources)[found_src].types[found_col]);
      return depth;
    }
    if (qualified && qual_found) Fail(207, {col}, true);
  }
  if (qualified) {
    std::string full;
    for (const auto& p : e.name) full += (full.empty() ? "" : ".") + p;
    Fail(4104, {full}, true);
  }
  Fail(207, {col}, true);
}

int Binder::BindFunction(Expr& e, const Scope& scope, bool allow_aggregate) {
  int esc = 0;
  const Function* fn = FindFunction(e.op);
  const bool agg = fn && fn->Aggregate();
  if (agg && !allow_aggregate) {
    Fail(147, {}, true);
  }
  for (const auto& a : e.args) {
    esc = std::max(esc, BindExpr(a, scope, agg ? false : allow_aggregate));
    if (agg && ContainsAggregate(a)) {
      Fail(130, {}, true);
    }
  }
  if (!fn) Fail(195, {e.op}, true);
  int n = e.star ? 1 : static_cast<int>(e.args.size());
  if (e.star && e.op != "count") {
    Fail(102, {"*"}, true);
  }
  if (n < fn->min_args || n > fn->max_args) {
    Fail(174, {e.op, std::to_string(fn->min_args)}, true);
  }
  e.function = fn;
  SetType(e, fn->result(e));
  return esc;
}

int Binder::BindCast(Expr& e, const Scope& scope, bool allow_aggregate) {
  int esc = 0;
  auto child = [&](const ExprPtr& c, bool agg) {
    if (c) esc = std::max(esc, BindExpr(c, scope, agg));
  };
  child(e.args[0], allow_aggregate);
  if (e.args.size() > 1) child(e.args[1], false);
  bool bad = false;
  std::optional<SqlType> t;
  if (e.type_name.parts.size() == 1) t = BuiltinType(e.type_name.Name(), e.type_args, &bad);
  if (!t) {
    const Database& db = st_.ExistingDatabase(database_);
    auto it = db.types.find(Lower(e.type_name.Name()));
    if (it == db.types.end()) {
      Fail(243, {e.type_name.Name()}, true);
    }
    t = it->second.base;
  }
  if (bad) Fail(102, {e.type_name.Name()}, true);
  e.cast_type = *t;
  SetType(e, *t);
  return esc;
}

}  // namespace storesim::sql
