#include "rt/env.h"

namespace rt {

namespace {
Env*& override_env() {
  static Env* e = nullptr;
  return e;
}
}  // namespace

Env* Env::Default() { return override_env() ? override_env() : PlatformEnv(); }
void Env::SetDefault(Env* env) { override_env() = env; }

}  // namespace rt
