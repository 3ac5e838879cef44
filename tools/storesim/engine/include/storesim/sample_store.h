// A sample store database: the tables, user-defined types and rows that the
// upgrade program expects to find, at the upgrade stage the caller picks.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "storesim/memory_engine.h"

namespace storesim {

struct SampleOptions {
  std::string database = "store";
  // The text recorded under "UPGRADE_DATE" in t_sys_system; nullopt leaves
  // the row out.
  std::optional<std::string> upgrade_date = std::string("00000000");
  // Batches (UTF-8) run after the sample's tables and rows and before the
  // stage row: what the stages an upgrade applied before left in the
  // database. A database recorded at a later stage is made by giving the
  // statements of those stages here.
  std::vector<std::string> earlier_stages;
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
