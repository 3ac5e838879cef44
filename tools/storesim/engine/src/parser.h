// T-SQL batch parser.
#pragma once

#include <string>

#include "ast.h"

namespace storesim::sql {

// Parses a whole batch. A batch that does not parse throws SqlError with
// the server's syntax messages (102, 156, 111...); nothing of it runs.
Batch ParseBatch(const std::string& text);

// Parses a lone expression (a stored default definition).
ExprPtr ParseExpression(const std::string& text);

}  // namespace storesim::sql
