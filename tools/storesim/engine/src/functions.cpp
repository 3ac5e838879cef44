#include "functions.h"

#include <optional>

#include "lexer.h"

namespace storesim::sql {

namespace {

Value Bool01(bool b) { return Value::Int(b ? 1 : 0); }

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

SqlType ArgType(const Expr& e, std::size_t i) { return e.args.size() > i ? e.args[i]->type : SqlType{Base::Int}; }
SqlType IntType(const Expr&) { return SqlType{Base::Int}; }
SqlType NameType(const Expr&) { return SqlType{Base::NVarChar, 128}; }
SqlType TextType(const Expr&) { return SqlType{Base::VarChar, 8000}; }
SqlType FirstArgType(const Expr& e) { return ArgType(e, 0); }
SqlType IsNullType(const Expr& e) { return e.args[0]->typed ? ArgType(e, 0) : ArgType(e, 1); }

Value IsNull(Call& c) {
  Value v = c.arg(0);
  if (!v.IsNull()) return v;
  Value alt = c.arg(1);
  if (alt.IsNull() || !c.expr.args[0]->typed) return alt;
  return ConvertValue(alt, c.expr.args[0]->type);
}

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

// The keyword DEFAULT in VALUES and SET.
Value DefaultMarker(Call&) { return Value(); }

constexpr unsigned kAgg = Function::kAggregate, kLazy = Function::kLazy, kStrict = Function::kStrict;

const Function kFunctions[] = {
    {"count", 1, 1, kAgg, IntType, nullptr},
    {"max", 1, 1, kAgg, FirstArgType, nullptr},
    {"isnull", 2, 2, kLazy, IsNullType, IsNull},
    {"db_name", 0, 1, 0, NameType, DbName},
    {"$default", 0, 0, 0, TextType, DefaultMarker},
    {"object_id", 1, 2, 0, IntType, ObjectIdOf},
    {"objectproperty", 2, 2, kStrict, IntType, ObjectProperty},
    {"col_length", 2, 2, kStrict, IntType, ColLength},
};

}  // namespace

const Function* FindFunction(std::string_view name) {
  for (const auto& f : kFunctions) {
    if (name == f.name) return &f;
  }
  return nullptr;
}

}  // namespace storesim::sql
