// Scratch folders and datetimes shared by the file tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

#include "rt/datetime.h"

namespace hostkit_test {

// A fresh folder under the system's temporary folder, removed with
// everything in it when the object goes. Other users may look up its files;
// a test may take the owner's rights away from the folder, and they are
// given back before the removal.
class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "hk_") {
    namespace fs = std::filesystem;
    std::random_device seed;
    std::mt19937 gen(seed());
    do {
      path_ = fs::temp_directory_path() / (prefix + std::to_string(gen()));
    } while (!fs::create_directory(path_));
    fs::permissions(path_,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                        fs::perms::others_exec);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string path() const { return path_.string(); }
  // Writes a file of the folder and returns its path.
  std::string file(const std::string& name, const std::string& content = "data") const {
    std::string p = (path_ / name).string();
    std::ofstream(p, std::ios::binary) << content;
    return p;
  }

 private:
  std::filesystem::path path_;
};

inline rt::DateTime dt(int y, int mo, int d, int h, int mi, int s, int us = 0) {
  return rt::DateTimeValue(rt::DateValue(y, mo, d), rt::TimeValue(h, mi, s, us));
}

// A datetime's display text, "NULL" for NULL.
inline std::string show(const rt::DateTime& v) { return v.is_null() ? "NULL" : *rt::string_of(v); }

}  // namespace hostkit_test
