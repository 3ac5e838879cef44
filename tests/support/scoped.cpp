#include "support/scoped.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "support/set_env.h"

namespace testing_support {

namespace fs = std::filesystem;

ScopedCwd::ScopedCwd(const std::string& dir) : previous_(fs::current_path().string()) {
  std::error_code ec;
  fs::current_path(dir, ec);
  if (ec) throw std::runtime_error("chdir failed: " + dir);
}

ScopedCwd::~ScopedCwd() {
  std::error_code ec;
  fs::current_path(previous_, ec);
  if (ec) std::abort();
}

ScopedEnvVar::ScopedEnvVar(const char* name, const std::string& value) : name_(name) {
  if (const char* v = std::getenv(name)) {
    had_ = true;
    previous_ = v;
  }
  set_env(name_, &value);
}

ScopedEnvVar::~ScopedEnvVar() {
  set_env(name_, had_ ? &previous_ : nullptr);
}

ErrorCollector::ErrorCollector() {
  rt::set_error_hook([this](const rt::RuntimeError& e) { numbers.push_back(e.number()); });
}

ErrorCollector::~ErrorCollector() { rt::set_error_hook(nullptr); }

}  // namespace testing_support
