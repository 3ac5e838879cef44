#include "support/scratch_dir.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>

namespace upgrade_test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  // The clock at start-up keeps test programs that run side by side apart.
  static const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ = fs::temp_directory_path() /
          ("upgrade_test_" + std::to_string(stamp) + "_" + std::to_string(counter++));
  fs::remove_all(path_);
  fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  // Read-only files inside: Windows deletes none of them.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
  ec.clear();
  fs::remove_all(path_, ec);
}

std::string ScratchDir::put(const std::string& name, const std::string& bytes) const {
  fs::path p = path_ / name;
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
  return p.string();
}

std::string ScratchDir::get(const std::string& name) const {
  std::ifstream in(path_ / name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool ScratchDir::has(const std::string& name) const { return fs::exists(path_ / name); }

fs::path ScratchDir::sub(const std::string& name) const {
  fs::create_directories(path_ / name);
  return path_ / name;
}

CurrentDirectory::CurrentDirectory(const fs::path& p) : previous_(fs::current_path()) { fs::current_path(p); }
CurrentDirectory::~CurrentDirectory() { fs::current_path(previous_); }

}  // namespace upgrade_test
