// Name resolution: ties the columns, tables and functions a statement
// names to the catalog, and gives every expression its type. Binding
// reads the catalog and touches no row.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ast.h"
#include "catalog.h"
#include "system_views.h"

namespace storesim::sql {

// One table of a FROM clause.
struct Source {
  std::string exposed;  // alias, or the table's name
  std::vector<std::string> names;
  std::vector<SqlType> types;
  // Where the rows come from: a table, or a system view over a database.
  const Table* table = nullptr;
  const SystemView* view = nullptr;
  const Database* view_db = nullptr;
  // The rows, taken when the query first runs.
  bool open = false;
  std::vector<RowValues> own;  // rows of a system view
  std::vector<const RowValues*> rows;
};

struct Scope {
  const std::vector<Source>* sources = nullptr;
  const Scope* parent = nullptr;
};

struct BoundSelect {
  std::vector<Source> sources;
  std::vector<ExprPtr> items;
  std::vector<std::string> names;
  std::vector<SqlType> types;
  bool grouped = false;
  struct Order {
    int item = -1;  // output column, or -1 for `expr`
    ExprPtr expr;
    bool desc = false;
  };
  std::vector<Order> order;
};

class Binder {
 public:
  // `database` is the session's current database; `bound` receives the
  // bound form of every SELECT met, subqueries included.
  Binder(const State& st, const std::string& database, std::map<const Select*, BoundSelect>& bound)
      : st_(st), database_(database), bound_(bound) {}

  // Binds a SELECT and its subqueries. `escape` receives how many scopes
  // out its deepest outer reference reaches (0: not correlated).
  const BoundSelect& BindSelect(const Select& s, const Scope* parent, int* escape = nullptr);
  // Binds an expression in `scope`; returns as BindSelect's `escape`.
  int BindExpr(const ExprPtr& e, const Scope& scope, bool allow_aggregate);

  // The columns of a table as a source named `exposed`.
  static Source TableSource(const Table& t, const std::string& exposed);

 private:
  Source MakeSource(const TableRef& ref);
  int BindColumn(Expr& e, const Scope& scope);
  int BindFunction(Expr& e, const Scope& scope, bool allow_aggregate);
  int BindCast(Expr& e, const Scope& scope, bool allow_aggregate);

  const State& st_;
  const std::string& database_;
  std::map<const Select*, BoundSelect>& bound_;
};

// True when the expression holds an aggregate outside any subquery.
bool ContainsAggregate(const ExprPtr& e);

}  // namespace storesim::sql
