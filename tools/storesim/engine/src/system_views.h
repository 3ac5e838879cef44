// The catalog views that scripts query before they create or drop
// objects: sysobjects, sys.objects, information_schema.tables and the like.
#pragma once

#include <string>
#include <vector>

#include "ast.h"
#include "catalog.h"

namespace storesim::sql {

struct SystemView;

// The system view a name refers to, or null when it names none (it may
// still name a table).
const SystemView* FindSystemView(const ObjectName& name);

void SystemViewColumns(const SystemView& view, std::vector<std::string>* names, std::vector<SqlType>* types);

// The rows of `view` listing the objects of `db`; `st` gives the list of
// databases.
std::vector<RowValues> SystemViewRows(const SystemView& view, const Database& db, const State& st);

}  // namespace storesim::sql
