#include "rt/registry.h"

#include <mutex>
#include <utility>

#include "rt/env.h"

namespace rt {

namespace {
std::mutex& file_mutex() {
  static std::mutex m;
  return m;
}
RegistryFile& named_file() {
  static RegistryFile f;
  return f;
}
}  // namespace

Int registry_get(const String& key, const String& value, String& target) {
  if (key.is_null() || value.is_null()) return -1;
  auto v = Env::Default()->ReadRegistryString(*key, *value);
  if (!v) return -1;
  target = *v;
  return 1;
}

void set_registry_file(RegistryFile file) {
  std::lock_guard<std::mutex> lock(file_mutex());
  named_file() = std::move(file);
}

RegistryFile registry_file() {
  std::lock_guard<std::mutex> lock(file_mutex());
  return named_file();
}

}  // namespace rt
