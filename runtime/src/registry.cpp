#include "rt/registry.h"

#include "rt/env.h"

namespace rt {

Int registry_get(const String& key, const String& value, String& target) {
  if (key.is_null() || value.is_null()) return -1;
  auto v = Env::Default()->ReadRegistryString(*key, *value);
  if (!v) return -1;
  target = *v;
  return 1;
}

}  // namespace rt
