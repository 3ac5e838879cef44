// State shared by an engine and all of its sessions.
#pragma once

#include <mutex>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "catalog.h"
#include "storesim/memory_engine.h"

namespace storesim::detail {

struct FaultState {
  Fault fault;
  std::optional<std::regex> re;
  int remaining = -1;
};

struct Core {
  std::mutex mu;
  EngineOptions options;
  sql::State state;
  std::vector<FaultState> faults;
  std::vector<StatementRecord> history;
  // The undo logs of the sessions that exist: what they hold is the work
  // of their open transactions.
  std::set<const sql::UndoLog*> session_logs;

  // The error of the first fault that matches `text`, using up one of its
  // firings.
  std::optional<Message> MatchFault(const std::string& text);
  // A copy of the databases without the work of any open transaction: the
  // state as of the last commit of every session. Call with `mu` held.
  sql::State CommittedState() const;
};

}  // namespace storesim::detail
