// Scoped changes of the process for tests: the current directory, an
// environment variable, the runtime error hook.
#pragma once

#include <string>
#include <vector>

#include "rt/error.h"

namespace testing_support {

class ScopedCwd {
 public:
  explicit ScopedCwd(const std::string& dir);
  ~ScopedCwd();
  ScopedCwd(const ScopedCwd&) = delete;
  ScopedCwd& operator=(const ScopedCwd&) = delete;

 private:
  std::string previous_;
};

class ScopedEnvVar {
 public:
  ScopedEnvVar(const char* name, const std::string& value);
  ~ScopedEnvVar();
  ScopedEnvVar(const ScopedEnvVar&) = delete;
  ScopedEnvVar& operator=(const ScopedEnvVar&) = delete;

 private:
  std::string name_;
  bool had_ = false;
  std::string previous_;
};

// Collects the runtime errors that end events while it lives.
class ErrorCollector {
 public:
  ErrorCollector();
  ~ErrorCollector();
  ErrorCollector(const ErrorCollector&) = delete;
  ErrorCollector& operator=(const ErrorCollector&) = delete;
  std::vector<int> numbers;
};

}  // namespace testing_support
