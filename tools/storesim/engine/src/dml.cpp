// INSERT, UPDATE and DELETE. Triggers are stored but not fired.
#include <algorithm>
#include <set>

#include "executor.h"
#include "parser.h"

namespace storesim::sql {

namespace {

[[noreturn]] void FailNull(const Column& c, const std::string& table, const char* verb) {
  Fail({Error(515, {c.name, table, verb}),
        Error(3621)});
}

}  // namespace

Table& Executor::TargetTable(const ObjectName& name, Database** db) {
  *db = &DbFor(name);
  Table* t = (*db)->FindTable(name.Name());
  if (!t) Fail(208, {name.Display()}, true);
  return *t;
}

Value Executor::DefaultValue(const Column& c) {
  if (c.default_name.empty()) return Value();
  ExprPtr e = c.default_expr ? c.default_expr : ParseExpression(c.default_text);
  Bind().BindExpr(e, Scope{}, false);
  Frame f;
  return ConvertForStore(Eval(*e, f), c.type);
}

void Executor::CheckKeys(const Database&, const Table& t, const std::map<std::uint64_t, const RowValues*>& final_rows,
                         const std::vector<const RowValues*>& added) {
  for (const auto& ix : t.indexes) {
    if (!ix.unique) continue;
    std::vector<int> cols;
    for (const auto& c : ix.columns) cols.push_back(t.ColumnIndex(c));
    std::set<std::string> seen;
    auto check = [&](const RowValues& row) {
      if (seen.insert(RowKey(row, &cols)).second) return;
      Message m;
      if (ix.constraint) {
        m = Error(2627, {(ix.primary_key ? "PRIMARY KEY" : "UNIQUE KEY"), ix.name, t.name, KeyText(row, cols)});
      } else {
        m = Error(2601, {t.name, ix.name, KeyText(row, cols)});
      }
      Fail({m, Error(3621)});
    };
    for (const auto& [_, row] : final_rows) check(*row);
    for (const RowValues* row : added) check(*row);
  }
}

Executor::PreparedInsert Executor::PrepareInsert(const InsertStmt& s) {
  PreparedInsert p;
  Table& t = TargetTable(s.table, &p.db);
  p.table = &t;
  bool identity_named = false;
  if (s.has_columns) {
    for (const auto& name : s.columns) {
      int i = t.ColumnIndex(name);
      if (i < 0) Fail(207, {name}, true);
      if (std::find(p.targets.begin(), p.targets.end(), i) != p.targets.end()) {
        Fail(264, {t.columns[i].name, t.columns[i].name}, true);
      }
      if (t.columns[i].identity) identity_named = true;
      p.targets.push_back(i);
    }
  } else {
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
      if (!t.columns[i].identity) p.targets.push_back(static_cast<int>(i));
    }
  }
  const std::size_t n = p.targets.size();
  for (const auto& row : s.values) {
    if (!s.has_columns && row.size() != n) {
      Fail(213, {}, true);
    }
    if (row.size() < n) {
      Fail(109, {}, true);
    }
    if (row.size() > n) {
      Fail(110, {}, true);
    }
    for (const auto& e : row) {
      try {
        Bind().BindExpr(e, Scope{}, false);
      } catch (const SqlError& err) {
        if (err.messages.front().number != 207) throw;
        std::string name = e->k == Expr::K::Column ? e->name.back() : std::string("column");
        Fail(128, {name}, true);
      }
    }
  }
  if (s.select) {
    p.select = &Bind().BindSelect(*s.select, nullptr);
    std::size_t items = p.select->items.size();
    if (!s.has_columns && items != n) {
      Fail(213, {}, true);
    }
    if (items < n) {
      Fail(120, {}, true);
    }
    if (items > n) {
      Fail(121, {}, true);
    }
  }
  if (identity_named) {
    Fail(544, {t.name});
  }
  return p;
}

void Executor::Insert(const InsertStmt& s, StatementResult* r) {
  PreparedInsert p = PrepareInsert(s);
  Table& t = *p.table;
  Database& db = *p.db;
  const std::string full = db.name + ".dbo." + t.name;

  // Source rows; nullopt stands for the keyword DEFAULT.
  std::vector<std::vector<std::optional<Value>>> source;
  if (s.select) {
    QueryResult q = RunQuery(*s.select, nullptr);
    for (auto& row : q.rows) {
      std::vector<std::optional<Value>> out;
      for (auto& v : row) out.emplace_back(std::move(v));
      source.push_back(std::move(out));
    }
  } else if (s.default_values) {
    source.emplace_back();
  } else {
    Frame f;
    for (const auto& row : s.values) {
      std::vector<std::optional<Value>> out;
      for (const auto& e : row) {
        if (e->k == Expr::K::Func && e->op == "$default") {
          out.emplace_back(std::nullopt);
        } else {
          out.emplace_back(Eval(*e, f));
        }
      }
      source.push_back(std::move(out));
    }
  }

  std::vector<RowValues> fresh;
  std::optional<std::int64_t> last_identity;
  for (const auto& src : source) {
    RowValues row(t.columns.size());
    std::vector<bool> given(t.columns.size(), false);
    for (std::size_t k = 0; k < p.targets.size() && k < src.size(); ++k) {
      int c = p.targets[k];
      if (src[k]) {
        row[c] = ConvertForStore(*src[k], t.columns[c].type);
        given[c] = true;
      }
    }
    for (std::size_t c = 0; c < t.columns.size(); ++c) {
      if (given[c]) continue;
      const Column& col = t.columns[c];
      if (col.identity) {
        std::int64_t n = t.identity_last ? *t.identity_last + col.increment : col.seed;
        t.identity_last = n;
        last_identity = n;
        row[c] = ConvertForStore(Value::Int(n), col.type);
      } else {
        row[c] = DefaultValue(col);
      }
    }
    for (std::size_t c = 0; c < t.columns.size(); ++c) {
      if (row[c].IsNull() && !t.columns[c].nullable) FailNull(t.columns[c], full, "INSERT");
    }
    fresh.push_back(std::move(row));
  }
  std::map<std::uint64_t, const RowValues*> existing;
  for (const auto& [id, row] : t.rows) existing.emplace(id, &row);
  std::vector<const RowValues*> added;
  for (const auto& row : fresh) added.push_back(&row);
  CheckKeys(db, t, existing, added);
  for (auto& row : fresh) Ch().InsertRow(db, t, std::move(row));
  if (last_identity) ss_.identity = last_identity;
  SetRowCount(r, static_cast<std::int64_t>(source.size()));
}

Executor::PreparedUpdate Executor::PrepareUpdate(const UpdateStmt& s) {
  PreparedUpdate p;
  Table& t = TargetTable(s.table, &p.db);
  p.table = &t;
  std::vector<Source> sources{Binder::TableSource(t, t.name)};
  Scope scope{&sources, nullptr};
  Binder binder = Bind();
  for (const auto& [name, e] : s.sets) {
    int c = t.ColumnIndex(name);
    if (c < 0) Fail(207, {name}, true);
    binder.BindExpr(e, scope, false);
    p.targets.push_back(c);
  }
  if (s.where) binder.BindExpr(s.where, scope, false);
  for (int c : p.targets) {
    if (t.columns[c].identity) Fail(8102, {t.columns[c].name});
  }
  return p;
}

void Executor::Update(const UpdateStmt& s, StatementResult* r) {
  const PreparedUpdate p = PrepareUpdate(s);
  Table& t = *p.table;
  Database& db = *p.db;
  const std::vector<int>& targets = p.targets;
  const std::string full = db.name + ".dbo." + t.name;
  std::vector<std::pair<std::uint64_t, RowValues>> changes;
  for (std::uint64_t id : t.OrderedRowIds()) {
    const RowValues& old = t.rows.at(id);
    Frame f{nullptr, {&old}, nullptr};
    if (s.where && Cond(*s.where, f) != Tri::True) continue;
    RowValues nv = old;
    for (std::size_t k = 0; k < targets.size(); ++k) {
      int c = targets[k];
      const ExprPtr& e = s.sets[k].second;
      Value v = (e->k == Expr::K::Func && e->op == "$default") ? DefaultValue(t.columns[c]) : Eval(*e, f);
      nv[c] = ConvertForStore(v, t.columns[c].type);
      if (nv[c].IsNull() && !t.columns[c].nullable) FailNull(t.columns[c], full, "UPDATE");
    }
    changes.emplace_back(id, std::move(nv));
  }
  std::map<std::uint64_t, const RowValues*> final_rows;
  for (const auto& [id, row] : t.rows) final_rows.emplace(id, &row);
  for (const auto& [id, row] : changes) final_rows[id] = &row;
  CheckKeys(db, t, final_rows, {});
  for (auto& [id, row] : changes) Ch().UpdateRow(db, t, id, std::move(row));
  SetRowCount(r, static_cast<std::int64_t>(changes.size()));
}

Table& Executor::PrepareDelete(const DeleteStmt& s, Database** db) {
  Table& t = TargetTable(s.table, db);
  std::vector<Source> sources{Binder::TableSource(t, t.name)};
  Scope scope{&sources, nullptr};
  if (s.where) Bind().BindExpr(s.where, scope, false);
  return t;
}

void Executor::Delete(const DeleteStmt& s, StatementResult* r) {
  Database* dbp = nullptr;
  Table& t = PrepareDelete(s, &dbp);
  Database& db = *dbp;
  std::vector<std::uint64_t> doomed;
  for (std::uint64_t id : t.OrderedRowIds()) {
    Frame f{nullptr, {&t.rows.at(id)}, nullptr};
    if (!s.where || Cond(*s.where, f) == Tri::True) doomed.push_back(id);
  }
  for (std::uint64_t id : doomed) Ch().DeleteRow(db, t, id);
  SetRowCount(r, static_cast<std::int64_t>(doomed.size()));
}

}  // namespace storesim::sql
