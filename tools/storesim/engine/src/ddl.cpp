// CREATE / ALTER / DROP of tables, indexes, modules and types.
//
// A table's definition is changed on a copy, which replaces the stored
// table only when the whole statement succeeded.
#include <algorithm>
#include <cstdio>
#include <set>

#include "executor.h"
#include "parser.h"

namespace storesim::sql {

namespace {

[[noreturn]] void FailConstraint(std::int32_t number, std::initializer_list<std::string> args = {}) {
  Fail({Error(number, args), Error(1750)});
}

bool HasColumnRef(const ExprPtr& e) {
  if (!e) return false;
  if (e->k == Expr::K::Column) return true;
  for (const auto& a : e->args) {
    if (HasColumnRef(a)) return true;
  }
  return HasColumnRef(e->operand) || HasColumnRef(e->else_expr);
}

// True when a name is taken by an object of the database or by a
// constraint of the table being built.
bool NameTaken(const Database& db, const Table& t, const std::string& name) {
  if (db.ObjectExists(name)) return true;
  if (IEquals(t.name, name)) return true;
  for (const auto& ix : t.indexes) {
    if (ix.constraint && IEquals(ix.name, name)) return true;
  }
  for (const auto& c : t.columns) {
    if (!c.default_name.empty() && IEquals(c.default_name, name)) return true;
  }
  return false;
}

// The first row whose values at `cols` repeat those of an earlier row.
const RowValues* DuplicateKeyRow(const Table& t, const std::vector<int>& cols) {
  std::set<std::string> seen;
  for (const auto& [_, row] : t.rows) {
    if (!seen.insert(RowKey(row, &cols)).second) return &row;
  }
  return nullptr;
}

}  // namespace

std::string GeneratedName(const std::string& prefix, const std::string& table, std::size_t table_len,
                          const std::string& column, std::size_t column_len, int hex_digits) {
  // Like the server's names for unnamed constraints, with the hexadecimal
  // part derived from the names so that the same statements give the same
  // names.
  std::uint64_t h = 1469598103934665603ULL;
  for (char c : Lower(prefix + "|" + table + "|" + column)) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ULL;
  }
  char hex[20];
  std::snprintf(hex, sizeof hex, "%016llX", static_cast<unsigned long long>(h));
  std::string out = prefix + "__" + table.substr(0, table_len) + "__";
  if (column_len > 0) out += column.substr(0, column_len) + "__";
  out += std::string(hex).substr(16 - hex_digits);
  return out;
}

std::string KeyText(const RowValues& row, const std::vector<int>& cols) {
  std::string out = "(";
  for (std::size_t i = 0; i < cols.size(); ++i) {
    if (i) out += ", ";
    const Value& v = row[cols[i]];
    if (v.IsNull()) {
      out += "<NULL>";
    } else {
      std::string t = v.text;
      while (!t.empty() && t.back() == ' ') t.pop_back();
      out += t;
    }
  }
  return out + ")";
}

SqlType Executor::ResolveType(const Database& db, const ColumnSpec& c, int ordinal, std::string* user_type,
                              bool* type_nullable) {
  user_type->clear();
  *type_nullable = true;
  if (c.type_name.parts.size() == 1 || IEquals(c.type_name.Schema(), "sys")) {
    bool bad = false;
    auto t = BuiltinType(c.type_name.Name(), c.type_args, &bad);
    if (t) {
      if (bad) {
        if (t->IsString() && !c.type_args.empty() && c.type_args[0] > 8000) {
          Fail(131, {std::to_string(c.type_args[0]), c.name});
        }
        if (t->IsExactNumeric() && !c.type_args.empty() && c.type_args[0] > 38) {
          Fail(2750, {std::to_string(ordinal), std::to_string(c.type_args[0])});
        }
        Fail(102, {c.type_name.Name()});
      }
      return *t;
    }
  }
  auto it = db.types.find(Lower(c.type_name.Name()));
  if (it == db.types.end() || !c.type_args.empty()) {
    Fail(2715, {std::to_string(ordinal), c.type_name.Name()});
  }
  *user_type = it->second.name;
  *type_nullable = it->second.nullable;
  return it->second.base;
}

Column Executor::BuildColumn(Database& db, const std::string& table, const ColumnSpec& c, int ordinal) {
  Column col;
  col.name = c.name;
  bool type_nullable = true;
  col.type = ResolveType(db, c, ordinal, &col.user_type, &type_nullable);
  if (!c.collation.empty()) {
    if (!col.type.IsString()) {
      Fail(447, {col.type.ToString()});
    }
    col.collation = c.collation;
  }
  if (c.identity) {
    bool ok = col.type.IsInteger() || (col.type.IsExactNumeric() && col.type.scale == 0 &&
                                       col.type.base != Base::Money && col.type.base != Base::SmallMoney);
    if (!ok || col.type.base == Base::Bit) {
      Fail(2749, {c.name});
    }
    if (c.nullable.value_or(false)) {
      Fail(8147, {c.name, table});
    }
    col.identity = true;
    col.seed = c.identity_seed;
    col.increment = c.identity_increment;
  }
  if (c.nullable) {
    col.nullable = *c.nullable;
  } else if (c.identity || c.primary_key) {
    col.nullable = false;
  } else {
    col.nullable = type_nullable;
  }
  return col;
}

void Executor::AddDefault(Database& db, Table& t, Column& col, const ExprPtr& expr, const std::string& name) {
  if (HasColumnRef(expr)) {
    Fail(128, {"column"});
  }
  Bind().BindExpr(expr, Scope{}, false);
  std::string n = name;
  if (!n.empty() && NameTaken(db, t, n)) {
    FailConstraint(2714, {n});
  }
  if (col.identity) {
    FailConstraint(1754, {t.name, col.name});
  }
  if (!col.default_name.empty()) FailConstraint(1781);
  if (n.empty()) n = GeneratedName("DF", t.name, 9, col.name, 5, 8);
  col.default_name = n;
  col.default_text = expr->raw;
  col.default_expr = expr;
  col.default_id = db.NewObjectId();
}

void Executor::AddKey(Database& db, Table& t, const std::string& name, std::vector<std::string> cols, bool primary,
                      bool clustered) {
  if (!name.empty() && NameTaken(db, t, name)) {
    FailConstraint(2714, {name});
  }
  if (primary && t.PrimaryKey()) FailConstraint(1779, {t.name});
  std::vector<int> idx;
  for (auto& c : cols) {
    int i = t.ColumnIndex(c);
    if (i < 0) FailConstraint(1911, {c});
    c = t.columns[i].name;
    idx.push_back(i);
  }
  if (primary) {
    for (int i : idx) {
      if (t.columns[i].nullable) {
        FailConstraint(8111, {t.name});
      }
    }
  }
  std::string n = name;
  if (n.empty()) n = GeneratedName(primary ? "PK" : "UQ", t.name, 8, "", 0, 16);
  if (const Index* other = clustered ? t.ClusteredIndex() : nullptr) {
    FailConstraint(1902, {t.name, other->name});
  }
  if (const RowValues* dup = DuplicateKeyRow(t, idx)) {
    Fail({Error(1505, {t.name, n, KeyText(*dup, idx)}), Error(1750),
          Error(3621)});
  }
  Index ix;
  ix.name = n;
  ix.columns = std::move(cols);
  ix.unique = true;
  ix.clustered = clustered;
  ix.primary_key = primary;
  ix.constraint = true;
  ix.object_id = db.NewObjectId();
  t.indexes.push_back(std::move(ix));
}

void Executor::CreateTable(const CreateTableStmt& s) {
  Database& db = DbFor(s.table);
  const std::string& name = s.table.Name();
  if (db.ObjectExists(name)) Fail(2714, {name});
  Table t;
  t.name = name;
  for (std::size_t i = 0; i < s.columns.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (IEquals(s.columns[i].name, s.columns[j].name)) {
        Fail(2705, {s.columns[i].name, name});
      }
    }
  }
  int identities = 0, keys = 0;
  for (std::size_t i = 0; i < s.columns.size(); ++i) {
    t.columns.push_back(BuildColumn(db, name, s.columns[i], static_cast<int>(i + 1)));
    if (s.columns[i].identity) ++identities;
    if (s.columns[i].primary_key) ++keys;
  }
  if (identities > 1) {
    Fail(2744, {name});
  }
  for (const auto& k : s.constraints) {
    if (k.kind == ConstraintSpec::Kind::PrimaryKey) {
      ++keys;
      // Key columns without an explicit NULL become NOT NULL.
      for (const auto& c : k.columns) {
        int i = t.ColumnIndex(c);
        if (i >= 0 && !s.columns[i].nullable) t.columns[i].nullable = false;
      }
    }
  }
  if (keys > 1) FailConstraint(8110, {name});
  for (std::size_t i = 0; i < s.columns.size(); ++i) {
    if (s.columns[i].has_default) AddDefault(db, t, t.columns[i], s.columns[i].default_expr, s.columns[i].default_name);
  }
  for (const auto& c : s.columns) {
    if (c.primary_key || c.unique) AddKey(db, t, c.key_name, {c.name}, c.primary_key, c.key_clustered);
  }
  for (const auto& k : s.constraints) {
    AddKey(db, t, k.name, k.columns, k.kind == ConstraintSpec::Kind::PrimaryKey, k.clustered);
  }
  t.object_id = db.NewObjectId();
  Ch().SaveTable(db, name);
  db.tables[Lower(name)] = std::move(t);
}

void Executor::AlterTable(const AlterTableStmt& s) {
  Database& db = DbFor(s.table);
  Table* t = db.FindTable(s.table.Name());
  if (!t) {
    Fail(4902, {s.table.Display()});
  }
  Table nt = *t;
  const std::string full = db.name + ".dbo." + nt.name;
  auto dependents = [&](int col, const std::string& what) {
    std::vector<Message> msgs;
    const std::string& cn = nt.columns[col].name;
    for (const auto& ix : nt.indexes) {
      for (const auto& c : ix.columns) {
        if (IEquals(c, cn)) {
          msgs.push_back(Error(5074, {(ix.constraint ? "object" : "index"), ix.name, cn}));
        }
      }
    }
    if (!nt.columns[col].default_name.empty()) {
      msgs.push_back(Error(5074, {"object", nt.columns[col].default_name, cn}));
    }
    if (!msgs.empty()) {
      msgs.push_back(Error(4922, {what, cn}));
      Fail(std::move(msgs));
    }
  };
  switch (s.action) {
    case AlterTableStmt::Action::Add: {
      int ordinal = 0;
      for (const auto& item : s.adds) {
        ++ordinal;
        if (!item.is_column) {
          const ConstraintSpec& k = item.constraint;
          if (k.kind == ConstraintSpec::Kind::Default) {
            int c = nt.ColumnIndex(k.for_column);
            if (c < 0) {
              FailConstraint(1752, {k.for_column, nt.name});
            }
            AddDefault(db, nt, nt.columns[c], k.default_expr, k.name);
          } else {
            AddKey(db, nt, k.name, k.columns, k.kind == ConstraintSpec::Kind::PrimaryKey, k.clustered);
          }
          continue;
        }
        const ColumnSpec& spec = item.column;
        if (nt.ColumnIndex(spec.name) >= 0) {
          Fail(2705, {spec.name, nt.name});
        }
        Column col = BuildColumn(db, nt.name, spec, ordinal);
        if (spec.has_default) AddDefault(db, nt, col, spec.default_expr, spec.default_name);
        if (!nt.rows.empty() && !col.nullable && col.default_name.empty() && !col.identity) {
          Fail(4901, {col.name, nt.name});
        }
        if (col.identity) {
          for (const auto& ix : nt.columns) {
            if (ix.identity) {
              Fail(2744, {nt.name});
            }
          }
        }
        // Existing rows: NULL for a nullable column, else its default.
        Value fill;
        if (!col.nullable && !col.default_name.empty()) fill = DefaultValue(col);
        for (std::uint64_t id : nt.OrderedRowIds()) {
          Value v = fill;
          if (col.identity) {
            std::int64_t n = nt.identity_last ? *nt.identity_last + col.increment : col.seed;
            nt.identity_last = n;
            v = ConvertForStore(Value::Int(n), col.type);
          }
          nt.rows[id].push_back(v);
        }
        nt.columns.push_back(std::move(col));
        if (spec.primary_key || spec.unique) {
          AddKey(db, nt, spec.key_name, {spec.name}, spec.primary_key, spec.key_clustered);
        }
      }
      break;
    }
    case AlterTableStmt::Action::AlterColumn: {
      const ColumnSpec& spec = s.alter;
      int c = nt.ColumnIndex(spec.name);
      if (c < 0) {
        Fail(4924, {"ALTER COLUMN", spec.name, nt.name});
      }
      dependents(c, "ALTER COLUMN");
      Column& col = nt.columns[c];
      bool type_nullable = true;
      std::string user_type;
      SqlType type = ResolveType(db, spec, 1, &user_type, &type_nullable);
      if (!spec.collation.empty() && !type.IsString()) {
        Fail(447, {type.ToString()});
      }
      col.type = type;
      col.user_type = user_type;
      col.collation = type.IsString() ? spec.collation : std::string();
      col.nullable = spec.nullable.value_or(col.identity ? false : true);
      for (auto& [_, row] : nt.rows) {
        row[c] = ConvertForStore(row[c], col.type);
        if (row[c].IsNull() && !col.nullable) {
          Fail({Error(515, {col.name, full}),
                Error(3621)});
        }
      }
      break;
    }
    case AlterTableStmt::Action::DropColumn: {
      for (const auto& name : s.drops) {
        int c = nt.ColumnIndex(name);
        if (c < 0) {
          Fail(4924, {"DROP COLUMN", name, nt.name});
        }
        dependents(c, "DROP COLUMN");
        nt.columns.erase(nt.columns.begin() + c);
        for (auto& [_, row] : nt.rows) row.erase(row.begin() + c);
      }
      break;
    }
    case AlterTableStmt::Action::DropConstraint: {
      for (const auto& name : s.drops) {
        bool done = false;
        for (auto it = nt.indexes.begin(); it != nt.indexes.end(); ++it) {
          if (it->constraint && IEquals(it->name, name)) {
            nt.indexes.erase(it);
            done = true;
            break;
          }
        }
        for (auto& col : nt.columns) {
          if (!done && !col.default_name.empty() && IEquals(col.default_name, name)) {
            col.default_name.clear();
            col.default_text.clear();
            col.default_expr.reset();
            done = true;
          }
        }
        if (!done) {
          Fail({Error(3728, {name}),
                Error(3727)});
        }
      }
      break;
    }
  }
  Ch().SaveTable(db, nt.name);
  *t = std::move(nt);
}

void Executor::CreateIndex(const CreateIndexStmt& s) {
  Database& db = DbFor(s.table);
  Table* t = db.FindTable(s.table.Name());
  if (!t) {
    Fail(1088, {s.table.Display()});
  }
  if (t->FindIndex(s.name)) {
    Fail(1913, {s.name, t->name});
  }
  Index ix;
  ix.name = s.name;
  ix.unique = s.unique;
  ix.clustered = s.clustered;
  std::vector<int> idx;
  for (const auto& c : s.columns) {
    int i = t->ColumnIndex(c);
    if (i < 0) Fail(1911, {c});
    ix.columns.push_back(t->columns[i].name);
    idx.push_back(i);
  }
  if (const Index* other = s.clustered ? t->ClusteredIndex() : nullptr) {
    Fail(1902, {t->name, other->name});
  }
  if (const RowValues* dup = s.unique ? DuplicateKeyRow(*t, idx) : nullptr) {
    Fail({Error(1505, {t->name, s.name, KeyText(*dup, idx)}),
          Error(3621)});
  }
  Ch().SaveTable(db, t->name);
  t->indexes.push_back(std::move(ix));
}

void Executor::Drop(const DropStmt& s, StatementResult* r) {
  static const char* what_names[] = {"table", "procedure", "trigger", "index", "view", "function"};
  const char* what = what_names[static_cast<int>(s.what)];
  for (const auto& target : s.targets) {
    auto missing = [&](const std::string& shown) {
      if (s.if_exists) return;
      r->messages.push_back(Error(3701, {what, shown}));
      r->error = true;
    };
    if (s.what == DropStmt::What::Table) {
      Database& db = DbFor(target.name);
      Table* t = db.FindTable(target.name.Name());
      if (!t) {
        missing(target.name.Display());
        continue;
      }
      std::string tname = t->name;
      Ch().SaveTable(db, tname);
      db.tables.erase(Lower(tname));
      std::vector<std::string> triggers;
      for (const auto& [k, m] : db.modules) {
        if (m.what == Module::What::Trigger && IEquals(m.table, tname)) triggers.push_back(k);
      }
      for (const auto& k : triggers) {
        Ch().SaveModule(db, k);
        db.modules.erase(k);
      }
      continue;
    }
    if (s.what == DropStmt::What::Index) {
      ObjectName table = target.on;
      std::string index = target.name.Name();
      if (table.Empty()) table.parts.assign(target.name.parts.begin(), target.name.parts.end() - 1);
      Database& tdb = DbFor(table);
      Table* t = tdb.FindTable(table.Name());
      const Index* ix = t ? t->FindIndex(index) : nullptr;
      if (!ix) {
        missing(target.name.Display());
        continue;
      }
      if (ix->constraint) {
        r->messages.push_back(Error(3723, {target.name.Display(), (ix->primary_key ? "PRIMARY KEY" : "UNIQUE KEY")}));
        r->error = true;
        continue;
      }
      Ch().SaveTable(tdb, t->name);
      t->indexes.erase(t->indexes.begin() + (ix - t->indexes.data()));
      continue;
    }
    Module::What mw = s.what == DropStmt::What::Procedure ? Module::What::Procedure
                    : s.what == DropStmt::What::Trigger   ? Module::What::Trigger
                    : s.what == DropStmt::What::View      ? Module::What::View
                                                          : Module::What::Function;
    Database& db = DbFor(target.name);
    auto it = db.modules.find(Lower(target.name.Name()));
    if (it == db.modules.end() || it->second.what != mw) {
      missing(target.name.Display());
      continue;
    }
    Ch().SaveModule(db, it->first);
    db.modules.erase(it);
  }
}

void Executor::CreateModule(const CreateModuleStmt& s) {
  Database& db = DbFor(s.name);
  const std::string& name = s.name.Name();
  if (db.ObjectExists(name)) Fail(2714, {name});
  Module m;
  m.name = name;
  m.text = s.text;
  m.encrypted = s.encrypted;
  switch (s.what) {
    case CreateModuleStmt::What::Procedure: m.what = Module::What::Procedure; break;
    case CreateModuleStmt::What::Trigger: m.what = Module::What::Trigger; break;
    case CreateModuleStmt::What::View: m.what = Module::What::View; break;
    case CreateModuleStmt::What::Function: m.what = Module::What::Function; break;
  }
  if (s.what == CreateModuleStmt::What::Trigger) {
    Database& tdb = DbFor(s.table);
    const Table* t = tdb.FindTable(s.table.Name());
    if (!t || &tdb != &db) {
      Fail(8197, {s.table.Display()});
    }
    m.table = t->name;
  }
  m.object_id = db.NewObjectId();
  Ch().SaveModule(db, name);
  db.modules[Lower(name)] = std::move(m);
}

void Executor::CreateType(const CreateTypeStmt& s) {
  Database& db = DbFor(s.name);
  const std::string& name = s.name.Name();
  if (db.types.count(Lower(name)) || IsBuiltinTypeName(name)) {
    Fail(219, {name});
  }
  bool bad = false;
  auto base = BuiltinType(s.base.type_name.Name(), s.base.type_args, &bad);
  if (!base || s.base.type_name.parts.size() != 1) {
    Fail(243, {s.base.type_name.Display()});
  }
  if (bad) Fail(102, {s.base.type_name.Name()});
  UserType u;
  u.name = name;
  u.base = *base;
  u.nullable = s.base.nullable.value_or(true);
  Ch().SaveType(db, name);
  db.types[Lower(name)] = u;
}

}  // namespace storesim::sql
