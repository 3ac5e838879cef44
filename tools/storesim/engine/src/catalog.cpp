#include "catalog.h"

#include <algorithm>
#include <atomic>
#include <utility>

namespace storesim::sql {

int Table::ColumnIndex(std::string_view n) const {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (IEquals(columns[i].name, n)) return static_cast<int>(i);
  }
  return -1;
}

const Index* Table::PrimaryKey() const {
  for (const auto& ix : indexes) {
    if (ix.primary_key) return &ix;
  }
  return nullptr;
}

const Index* Table::ClusteredIndex() const {
  for (const auto& ix : indexes) {
    if (ix.clustered) return &ix;
  }
  return nullptr;
}

const Index* Table::FindIndex(std::string_view n) const {
  for (const auto& ix : indexes) {
    if (IEquals(ix.name, n)) return &ix;
  }
  return nullptr;
}

std::vector<std::uint64_t> Table::OrderedRowIds() const {
  std::vector<std::uint64_t> ids;
  ids.reserve(rows.size());
  for (const auto& [id, _] : rows) ids.push_back(id);
  const Index* clustered = ClusteredIndex();
  if (!clustered) return ids;
  std::vector<int> cols;
  for (const auto& c : clustered->columns) cols.push_back(ColumnIndex(c));
  std::stable_sort(ids.begin(), ids.end(), [&](std::uint64_t a, std::uint64_t b) {
    const RowValues& ra = rows.at(a);
    const RowValues& rb = rows.at(b);
    for (int c : cols) {
      if (c < 0) continue;
      if (int r = OrderCompare(ra[c], rb[c]); r != 0) return r < 0;
    }
    return false;
  });
  return ids;
}

Table* Database::FindTable(std::string_view n) {
  auto it = tables.find(Lower(n));
  return it == tables.end() ? nullptr : &it->second;
}

const Table* Database::FindTable(std::string_view n) const {
  auto it = tables.find(Lower(n));
  return it == tables.end() ? nullptr : &it->second;
}

bool Database::ObjectExists(std::string_view n) const {
  std::string key = Lower(n);
  if (tables.count(key) || modules.count(key)) return true;
  for (const auto& [_, t] : tables) {
    for (const auto& ix : t.indexes) {
      if (ix.constraint && IEquals(ix.name, n)) return true;
    }
    for (const auto& c : t.columns) {
      if (!c.default_name.empty() && IEquals(c.default_name, n)) return true;
    }
  }
  return false;
}

Database* State::FindDatabase(std::string_view n) {
  auto it = databases.find(Lower(n));
  return it == databases.end() ? nullptr : &it->second;
}

const Database* State::FindDatabase(std::string_view n) const {
  auto it = databases.find(Lower(n));
  return it == databases.end() ? nullptr : &it->second;
}

Database& State::ExistingDatabase(std::string_view n) {
  return const_cast<Database&>(std::as_const(*this).ExistingDatabase(n));
}

const Database& State::ExistingDatabase(std::string_view n) const {
  const Database* db = FindDatabase(n);
  if (!db) {
    Fail(911, {std::string(n)});
  }
  return *db;
}

namespace {
std::atomic<std::uint64_t> undo_clock{0};
}  // namespace

void UndoLog::Push(Step step) { steps_.push_back({++undo_clock, std::move(step)}); }

void UndoLog::RollbackTo(State& st, std::size_t mark) {
  while (steps_.size() > mark) {
    Step step = std::move(steps_.back().undo);
    steps_.pop_back();
    step(st);
  }
}

void UndoOpenWork(State& st, const std::vector<const UndoLog*>& logs) {
  std::vector<const UndoLog::Entry*> all;
  for (const UndoLog* log : logs) {
    for (const auto& e : log->steps_) all.push_back(&e);
  }
  std::sort(all.begin(), all.end(), [](const auto* a, const auto* b) { return a->tick > b->tick; });
  for (const auto* e : all) e->undo(st);
}

void Changes::SaveTable(const Database& db, std::string_view name) {
  std::string dbk = Lower(db.name), key = Lower(name);
  std::optional<Table> saved;
  if (const Table* t = db.FindTable(name)) saved = *t;
  log_.Push([dbk, key, saved = std::move(saved)](State& st) {
    Database* d = st.FindDatabase(dbk);
    if (!d) return;
    auto it = d->tables.find(key);
    if (!saved) {
      if (it != d->tables.end()) d->tables.erase(it);
      return;
    }
    Table restored = *saved;
    if (it != d->tables.end()) {
      // Identity values and row ids handed out are not taken back.
      const Table& now = it->second;
      if (now.identity_last && (!restored.identity_last || *now.identity_last > *restored.identity_last)) {
        restored.identity_last = now.identity_last;
      }
      restored.next_row = std::max(restored.next_row, now.next_row);
    }
    d->tables[key] = std::move(restored);
  });
}

namespace {

// Saves the entry `name` of one of a database's maps (modules, types) so
// that undoing puts it back, or removes it when it did not exist.
template <typename T>
void SaveEntry(UndoLog& log, const Database& db, std::map<std::string, T> Database::*map, std::string_view name) {
  std::string dbk = Lower(db.name), key = Lower(name);
  std::optional<T> saved;
  if (auto it = (db.*map).find(key); it != (db.*map).end()) saved = it->second;
  log.Push([dbk, key, map, saved = std::move(saved)](State& st) {
    Database* d = st.FindDatabase(dbk);
    if (!d) return;
    if (saved) {
      (d->*map)[key] = *saved;
    } else {
      (d->*map).erase(key);
    }
  });
}

}  // namespace

void Changes::SaveModule(const Database& db, std::string_view name) { SaveEntry(log_, db, &Database::modules, name); }

void Changes::SaveType(const Database& db, std::string_view name) { SaveEntry(log_, db, &Database::types, name); }

std::uint64_t Changes::InsertRow(Database& db, Table& t, RowValues values) {
  std::uint64_t id = t.next_row++;
  t.rows.emplace(id, std::move(values));
  std::string dbk = Lower(db.name), key = Lower(t.name);
  log_.Push([dbk, key, id](State& st) {
    if (Database* d = st.FindDatabase(dbk)) {
      if (Table* tt = d->FindTable(key)) tt->rows.erase(id);
    }
  });
  return id;
}

void Changes::UpdateRow(Database& db, Table& t, std::uint64_t id, RowValues values) {
  auto it = t.rows.find(id);
  if (it == t.rows.end()) return;
  RowValues old = std::move(it->second);
  it->second = std::move(values);
  std::string dbk = Lower(db.name), key = Lower(t.name);
  log_.Push([dbk, key, id, old = std::move(old)](State& st) {
    if (Database* d = st.FindDatabase(dbk)) {
      if (Table* tt = d->FindTable(key)) {
        auto r = tt->rows.find(id);
        if (r != tt->rows.end() && r->second.size() == old.size()) r->second = old;
      }
    }
  });
}

void Changes::DeleteRow(Database& db, Table& t, std::uint64_t id) {
  auto it = t.rows.find(id);
  if (it == t.rows.end()) return;
  RowValues old = std::move(it->second);
  t.rows.erase(it);
  std::string dbk = Lower(db.name), key = Lower(t.name);
  log_.Push([dbk, key, id, old = std::move(old)](State& st) {
    if (Database* d = st.FindDatabase(dbk)) {
      if (Table* tt = d->FindTable(key)) {
        if (old.size() == tt->columns.size()) tt->rows.emplace(id, old);
      }
    }
  });
}

std::string NormKey(const Value& v) {
  switch (v.kind) {
    case Kind::Null:
      return std::string("\x01", 1);
    case Kind::Str: {
      std::string s = Lower(v.text);
      while (!s.empty() && s.back() == ' ') s.pop_back();
      return "S" + s;
    }
    case Kind::Int:
    case Kind::Dec:
    case Kind::Float: {
      bool neg;
      std::string ip, fp;
      if (!ParseDecimalText(v.text, &neg, &ip, &fp)) return "F" + v.text;
      while (!fp.empty() && fp.back() == '0') fp.pop_back();
      if (ip.empty() && fp.empty()) neg = false;
      return std::string("N") + (neg ? "-" : "") + ip + "." + fp;
    }
    case Kind::Date:
      return "D" + v.text;
  }
  return v.text;
}

std::string RowKey(const RowValues& row, const std::vector<int>* cols) {
  std::string key;
  if (cols) {
    for (int c : *cols) key += NormKey(row[c]) + '\x1f';
  } else {
    for (const auto& v : row) key += NormKey(v) + '\x1f';
  }
  return key;
}

int OrderCompare(const Value& a, const Value& b) {
  if (a.IsNull() || b.IsNull()) return a.IsNull() == b.IsNull() ? 0 : (a.IsNull() ? -1 : 1);
  try {
    return Compare(a, b);
  } catch (const SqlError&) {
    return a.text < b.text ? -1 : a.text > b.text ? 1 : 0;
  }
}

}  // namespace storesim::sql
