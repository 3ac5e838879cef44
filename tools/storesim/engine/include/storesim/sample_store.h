// A sample store database: the tables, user-defined types and rows that the
// upgrade program expects to find, at the upgrade stage the caller picks.
#pragma once

#include <optional>
#include <string>

#include "storesim/memory_engine.h"

namespace storesim {

struct SampleOptions {
  std::string database = "store";
  // The text recorded under "UPGRADE_DATE" in t_sys_system; nullopt leaves
  // the row out. "20151227" and "20170521" also give the database the
  // tables, columns and menu entries of the stages applied before.
  std::optional<std::string> upgrade_date = std::string("00000000");
  // Record the stage row with a NULL value (upgrade_date is then ignored).
  bool null_upgrade_date = false;
  // Include the "DataBase_Version" row.
  bool version_row = true;
  // Give t_sys_system a primary key on sys_var_id (then a second
  // "UPGRADE_DATE" row is refused).
  bool system_primary_key = false;
};

// Creates the database (replacing nothing: it must not exist yet) and
// fills it. Returns false, with the server's message in `error`, when a
// statement of the set-up fails.
bool CreateSampleStore(MemoryEngine& engine, const SampleOptions& options = {}, std::string* error = nullptr);

}  // namespace storesim
