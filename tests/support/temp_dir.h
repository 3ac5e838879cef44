// A scratch folder for tests.
#pragma once

#include <string>

namespace testing_support {

// A fresh folder under the system's temporary folder, removed with all it
// holds at the end of the scope. Other users may look into it; a test may
// take rights away from the folder or its files, and they are given back
// before the removal.
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

}  // namespace testing_support
