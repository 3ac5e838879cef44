// The in-memory databases: catalog objects, rows, and the undo log that
// makes statements and transactions atomic.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ast.h"
#include "sql_types.h"

namespace storesim::sql {

struct Column {
  std::string name;
  SqlType type;
  std::string user_type;  // the declared user-defined type, empty for a built-in one
  bool nullable = true;
  bool identity = false;
  std::int64_t seed = 1, increment = 1;
  std::string collation;
  std::string default_name;  // empty: no default bound
  std::string default_text;  // the definition as written, e.g. "(0)"
  std::int64_t default_id = 0;
  ExprPtr default_expr;      // parsed from default_text
};

struct Index {
  std::string name;
  std::vector<std::string> columns;
  bool unique = false;
  bool clustered = false;
  bool primary_key = false;
  bool constraint = false;  // PRIMARY KEY or UNIQUE constraint (an object of the database)
  std::int64_t object_id = 0;
};

using RowValues = std::vector<Value>;

struct Table {
  std::string name;
  std::int64_t object_id = 0;
  std::vector<Column> columns;
  std::vector<Index> indexes;
  std::map<std::uint64_t, RowValues> rows;  // by row id, in insertion order
  std::uint64_t next_row = 1;
  std::optional<std::int64_t> identity_last;  // last identity value handed out

  int ColumnIndex(std::string_view name) const;
  const Index* PrimaryKey() const;
  const Index* ClusteredIndex() const;
  const Index* FindIndex(std::string_view name) const;
  // Row ids in the clustered key's order (insertion order without one).
  std::vector<std::uint64_t> OrderedRowIds() const;
};

struct Module {
  enum class What { Procedure, Trigger, View, Function };
  std::string name;
  What what = What::Procedure;
  std::string table;  // a trigger's table
  std::string text;
  bool encrypted = false;
  std::int64_t object_id = 0;
};

struct UserType {
  std::string name;
  SqlType base;
  bool nullable = true;
};

struct Database {
  std::string name;
  std::map<std::string, Table> tables;     // by lower-case name
  std::map<std::string, Module> modules;   // by lower-case name
  std::map<std::string, UserType> types;   // by lower-case name
  std::int64_t next_object_id = 1000;

  Table* FindTable(std::string_view name);
  const Table* FindTable(std::string_view name) const;
  // Any object of the database's one namespace: tables, modules and
  // constraints (primary keys, unique constraints, defaults).
  bool ObjectExists(std::string_view name) const;
  std::int64_t NewObjectId() { return next_object_id++; }
};

struct State {
  std::map<std::string, Database> databases;  // by lower-case name
  Database* FindDatabase(std::string_view name);
  const Database* FindDatabase(std::string_view name) const;
  // The database of that name; 911 when there is none.
  Database& ExistingDatabase(std::string_view name);
  const Database& ExistingDatabase(std::string_view name) const;
};

// Reversible changes: each mutation pushes the step that undoes it.
//
// Every step carries a number from one clock shared by all logs, so that
// the open work of several sessions can be taken back in the reverse of
// the order it was done (UndoOpenWork).
class UndoLog {
 public:
  using Step = std::function<void(State&)>;
  std::size_t Mark() const { return steps_.size(); }
  void Push(Step step);
  void RollbackTo(State& st, std::size_t mark);
  void Clear() { steps_.clear(); }
  bool Empty() const { return steps_.empty(); }

 private:
  friend void UndoOpenWork(State& st, const std::vector<const UndoLog*>& logs);
  struct Entry {
    std::uint64_t tick = 0;
    Step undo;
  };
  std::vector<Entry> steps_;
};

// Takes back, in `st` (a copy of the databases that the logs were written
// against), every step of the logs, latest first; the logs are left as
// they are.
void UndoOpenWork(State& st, const std::vector<const UndoLog*>& logs);

// All changes to a database go through here, so that they can be undone.
class Changes {
 public:
  explicit Changes(UndoLog& log) : log_(log) {}
  // Call before changing a table's definition (or creating / dropping it).
  void SaveTable(const Database& db, std::string_view name);
  void SaveModule(const Database& db, std::string_view name);
  void SaveType(const Database& db, std::string_view name);
  std::uint64_t InsertRow(Database& db, Table& t, RowValues values);
  void UpdateRow(Database& db, Table& t, std::uint64_t id, RowValues values);
  void DeleteRow(Database& db, Table& t, std::uint64_t id);

 private:
  UndoLog& log_;
};

// Normalised text of a value for grouping, DISTINCT and key checks: equal
// exactly when the values are equal under the collation.
std::string NormKey(const Value& v);
// NormKey of the values at `cols` (of all values when `cols` is null),
// joined: equal exactly when the rows are equal there.
std::string RowKey(const RowValues& row, const std::vector<int>* cols = nullptr);
// Order of two values for ORDER BY and clustered keys: NULL first, then
// Compare, and the texts when the values do not compare.
int OrderCompare(const Value& a, const Value& b);

}  // namespace storesim::sql
