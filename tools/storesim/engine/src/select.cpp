// Running a SELECT: joins, filtering, aggregates, DISTINCT, ordering and
// TOP, over the sources its binding resolved.
#include <algorithm>
#include <set>

#include "executor.h"

namespace storesim::sql {

// The rows of a source as they are when its query first runs; a
// correlated subquery run again for each outer row sees the same ones.
void Executor::Open(Source& src) {
  if (src.open) return;
  src.open = true;
  if (src.view) {
    src.own = SystemViewRows(*src.view, *src.view_db, st_);
    for (const auto& r : src.own) src.rows.push_back(&r);
  } else {
    for (std::uint64_t id : src.table->OrderedRowIds()) src.rows.push_back(&src.table->rows.at(id));
  }
}

QueryResult Executor::RunQuery(const Select& s, const Frame* outer) {
  BoundSelect& b = bound_.at(&s);
  for (Source& src : b.sources) Open(src);
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
    // Aggregates without GROUP BY: the whole result is one group.
    Combo first = combos.empty() ? Combo(s.from.size(), nullptr) : combos.front();
    Frame f{outer, first, &combos};
    project(f);
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
  if (!b.order.empty()) {
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
    if (limit < 0) Fail(1060);
    if (static_cast<std::int64_t>(out.size()) > limit) out.resize(static_cast<std::size_t>(limit));
  }
  for (auto& r : out) res.rows.push_back(std::move(r.values));
  return res;
}

void Executor::SelectStatement(const SelectStmt& s, StatementResult* r) {
  const BoundSelect& b = Bind().BindSelect(*s.select, nullptr);
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

}  // namespace storesim::sql
