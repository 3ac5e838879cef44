// Scoped changes of the process for tests: a temporary folder, the current
// directory, an environment variable, the runtime error hook.
#pragma once

#include <string>
#include <vector>

#include "rt/error.h"

namespace testing_support {

// A fresh folder under the system's temporary folder, removed with all it
// holds at the end of the scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // The folder with a trailing separator, as the window keeps its working folder.
  std::string folder() const { return path_ + "/"; }
  // Writes a file below the folder (bytes as given, its folders created)
  // and returns its full path.
  std::string write(const std::string& name, const std::string& content) const;
  // The bytes of a file below the folder; empty when it cannot be read.
  std::string read(const std::string& name) const;
  bool has(const std::string& name) const;
  // Creates a subfolder (and those above it) and returns its full path.
  std::string sub(const std::string& name) const;

 private:
  std::string path_;
};

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
