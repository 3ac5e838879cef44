// The INI file that stands for the registry on POSIX: one section per key,
// "NAME=value" lines in UTF-8. The file lives in a folder of its own, and
// SCHEMALIFT_REGISTRY names it while the object lives. Without the key the
// file does not exist.
#include "support/store_registry.h"

#include <cstdio>
#include <fstream>
#include <utility>
#include <vector>

#include "rt/text.h"
#include "support/scoped.h"
#include "support/temp_dir.h"

namespace testing_support {

struct StoreRegistry::State {
  TempDir dir;
  std::string file = dir.path() + "/registry.ini";
  ScopedEnvVar variable{"SCHEMALIFT_REGISTRY", file};
  bool key = false;
  std::vector<std::pair<std::string, std::string>> values;

  void write() const {
    std::remove(file.c_str());
    if (!key) return;
    std::ofstream out(file, std::ios::binary);
    out << '[' << kStoreKey << "]\n";
    for (const auto& [name, text] : values) out << name << '=' << rt::utf8(text) << '\n';
  }
};

StoreRegistry::StoreRegistry() : state_(std::make_unique<State>()) {}

StoreRegistry::~StoreRegistry() = default;

void StoreRegistry::set(const std::string& name, const std::string& text) {
  state_->key = true;
  bool found = false;
  for (auto& [n, t] : state_->values)
    if (n == name) {
      t = text;
      found = true;
    }
  if (!found) state_->values.emplace_back(name, text);
  state_->write();
}

void StoreRegistry::remove(const std::string& name) {
  std::erase_if(state_->values, [&](const auto& v) { return v.first == name; });
  state_->write();
}

void StoreRegistry::remove_key() {
  state_->key = false;
  state_->values.clear();
  state_->write();
}

}  // namespace testing_support
