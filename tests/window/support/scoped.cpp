#include "support/scoped.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace testing_support {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "rtwin-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string TempDir::write(const std::string& name, const std::string& content) const {
  std::string full = path_ + "/" + name;
  std::ofstream out(full, std::ios::binary);
  out << content;
  return full;
}

ScopedCwd::ScopedCwd(const std::string& dir) : previous_(fs::current_path().string()) {
  if (::chdir(dir.c_str()) != 0) throw std::runtime_error("chdir failed: " + dir);
}

ScopedCwd::~ScopedCwd() {
  if (::chdir(previous_.c_str()) != 0) std::abort();
}

ScopedEnvVar::ScopedEnvVar(const char* name, const std::string& value) : name_(name) {
  if (const char* v = std::getenv(name)) {
    had_ = true;
    previous_ = v;
  }
  ::setenv(name, value.c_str(), 1);
}

ScopedEnvVar::~ScopedEnvVar() {
  if (had_)
    ::setenv(name_.c_str(), previous_.c_str(), 1);
  else
    ::unsetenv(name_.c_str());
}

ErrorCollector::ErrorCollector() {
  rt::set_error_hook([this](const rt::RuntimeError& e) { numbers.push_back(e.number()); });
}

ErrorCollector::~ErrorCollector() { rt::set_error_hook(nullptr); }

}  // namespace testing_support
