// State shared by an engine and all of its sessions.
#pragma once

#include <mutex>
#include <optional>
#include <regex>
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

  // The error of the first fault that matches `text`, using up one of its
  // firings.
  std::optional<Message> MatchFault(const std::string& text);
};

}  // namespace storesim::detail
