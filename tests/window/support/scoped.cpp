#include "support/scoped.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

namespace {
void put_env(const std::string& name, const std::string* value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
  if (value)
    ::setenv(name.c_str(), value->c_str(), 1);
  else
    ::unsetenv(name.c_str());
#endif
}
}  // namespace

namespace fs = std::filesystem;

TempDir::TempDir() {
  auto seed = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path p = fs::temp_directory_path() / ("rtwin-" + std::to_string(seed + attempt));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p.string();
      return;
    }
  }
  throw std::runtime_error("no fresh temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  // Read-only files inside: Windows deletes none of them.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
  ec.clear();
  fs::remove_all(path_, ec);
}

std::string TempDir::write(const std::string& name, const std::string& content) const {
  std::string full = path_ + "/" + name;
  fs::create_directories(fs::path(full).parent_path());
  std::ofstream out(full, std::ios::binary);
  out << content;
  return full;
}

std::string TempDir::read(const std::string& name) const {
  std::ifstream in(path_ + "/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool TempDir::has(const std::string& name) const { return fs::exists(path_ + "/" + name); }

std::string TempDir::sub(const std::string& name) const {
  std::string full = path_ + "/" + name;
  fs::create_directories(full);
  return full;
}

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
  put_env(name_, &value);
}

ScopedEnvVar::~ScopedEnvVar() {
  put_env(name_, had_ ? &previous_ : nullptr);
}

ErrorCollector::ErrorCollector() {
  rt::set_error_hook([this](const rt::RuntimeError& e) { numbers.push_back(e.number()); });
}

ErrorCollector::~ErrorCollector() { rt::set_error_hook(nullptr); }

}  // namespace testing_support
