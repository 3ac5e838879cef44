// The upgrade's statement list: every statement that brings the store
// database from one recorded stage to the next, in execution order, with the
// stage markers that say where an upgrade enters the list.
//
// The list is data of the program. Texts are GBK, converted once from the
// source literals on first use.
#pragma once

#include <string>
#include <vector>

namespace upgrade {

enum class ItemKind {
  // A statement text: copied into the working text and executed.
  Executed,
  // A fixed INSERT or UPDATE, run as it stands.
  Fixed,
  // The run of "update.sql" (wf_exec_sql); it has no text of its own.
  UpdateScript,
};

struct UpgradeItem {
  int number;          // 1-based, as the items are counted in the list
  ItemKind kind;
  std::string text;    // GBK; empty for UpdateScript
  bool commit_after;   // whether a COMMIT follows the item
};

// A stage: the marker text recorded in t_sys_system and the first item that
// an upgrade from that stage runs. Stages fall through to the end of the list.
struct StageEntry {
  const char* marker;
  int first_item;
};

// The 68 items in execution order.
const std::vector<UpgradeItem>& statement_list();

// The recognised stages, in the order in which the recorded text is tested.
const std::vector<StageEntry>& stage_entries();

// Fixed statements around the list (GBK).
namespace stage_sql {
// Reads the recorded stage ("00000000" when there is none).
const std::string& stage_read();
// Records stage "00000000" when the database has no stage yet.
const std::string& bootstrap_insert();
// Sets the recorded stage back to "00000000".
const std::string& marker_reset();
}  // namespace stage_sql

// "00000000": no stage applied.
inline constexpr const char* kNoStage = "00000000";

}  // namespace upgrade
