#include "storesim/state_keeper.h"

#include <mutex>
#include <optional>

namespace storesim {

struct StateKeeper::Inner {
  std::shared_ptr<MemoryEngine> engine;
  std::string path;
  std::function<void(const std::string&)> on_error;

  // Held from the snapshot to the end of its write, so that files are
  // written in the order their snapshots were taken.
  std::mutex mu;
  std::optional<std::string> on_disk;  // what the file stands for; nullopt: unknown
  int writes = 0;

  bool Save(std::string* error) {
    std::lock_guard<std::mutex> lock(mu);
    std::string text = engine->CommittedStateText();
    if (on_disk && *on_disk == text) return true;
    if (!MemoryEngine::WriteStateFile(path, text, error)) {
      on_disk.reset();
      return false;
    }
    on_disk = std::move(text);
    ++writes;
    return true;
  }
};

StateKeeper::StateKeeper(Server& server, std::shared_ptr<MemoryEngine> engine, std::string path,
                         std::function<void(const std::string&)> on_error)
    : inner_(std::make_shared<Inner>()) {
  inner_->engine = std::move(engine);
  inner_->path = std::move(path);
  inner_->on_error = std::move(on_error);
  inner_->on_disk = inner_->engine->CommittedStateText();
  // The callback shares the keeper's state: a connection may end after
  // the keeper is gone.
  server.OnConnectionClosed([inner = inner_] {
    std::string why;
    if (!inner->Save(&why) && inner->on_error) inner->on_error(why);
  });
}

StateKeeper::~StateKeeper() = default;

bool StateKeeper::Save(std::string* error) { return inner_->Save(error); }

int StateKeeper::writes() const {
  std::lock_guard<std::mutex> lock(inner_->mu);
  return inner_->writes;
}

}  // namespace storesim
