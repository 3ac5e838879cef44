// The built-in functions: one table from name to argument count, result
// type and evaluation.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ast.h"
#include "catalog.h"

namespace storesim::sql {

// What a call sees besides its arguments.
struct CallContext {
  const State& st;
  const std::string& database;  // the session's current database
};

// One call. The arguments are evaluated in order before the function runs,
// except for a lazy function's, which it evaluates one at a time through
// `arg` (ISNULL evaluates its second argument only when the first is NULL).
struct Call {
  const Expr& expr;
  std::vector<Value> args;
  std::function<Value(std::size_t)> arg;
  const CallContext& cx;
};

struct Function {
  enum Flags : unsigned {
    kAggregate = 1,  // evaluated over a group by the query
    kLazy = 2,       // evaluates its own arguments
    kStrict = 4,     // NULL when any argument is NULL
  };
  const char* name;  // lower case
  int min_args, max_args;
  unsigned flags;
  SqlType (*result)(const Expr& call);  // the arguments are bound
  Value (*eval)(Call& call);            // null for aggregates

  bool Aggregate() const { return (flags & kAggregate) != 0; }
};

// The function of a lower-case name; null when there is none.
const Function* FindFunction(std::string_view name);

}  // namespace storesim::sql
