// The state file of a served engine: what the clients have committed,
// kept on disk so that the next run of the server goes on from it.
//
//   auto engine = std::make_shared<storesim::MemoryEngine>();   // loaded from `path` or fresh
//   storesim::Server server(engine);
//   storesim::StateKeeper keeper(server, engine, path);
//   ... serve ...
//   server.Stop();
//   keeper.Save();                            // the last word at shutdown
//
// The file is written when a client that logged in goes away, and on
// Save. It holds the committed work only (the state as of the last commit
// of every session), and it is replaced atomically and durably
// (MemoryEngine::WriteStateFile), so a kill of the server at any instant
// leaves either the last file or the one before it. It is not written
// again while the committed state has not changed.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "storesim/memory_engine.h"
#include "storesim/server.h"

namespace storesim {

class StateKeeper {
 public:
  // Becomes the server's connection-close callback. A failed write made
  // there is reported to `on_error` (with the reason), if given. Make it
  // once the engine holds what the file stands for: loaded from `path`,
  // or built as a run without the file builds it.
  StateKeeper(Server& server, std::shared_ptr<MemoryEngine> engine, std::string path,
              std::function<void(const std::string&)> on_error = nullptr);
  ~StateKeeper();
  StateKeeper(const StateKeeper&) = delete;
  StateKeeper& operator=(const StateKeeper&) = delete;

  // Writes the committed state when it differs from what the file holds;
  // false (with the reason) when it cannot be written.
  bool Save(std::string* error = nullptr);
  // How often the file has been written since the keeper was made.
  int writes() const;

  struct Inner;

 private:
  std::shared_ptr<Inner> inner_;
};

}  // namespace storesim
