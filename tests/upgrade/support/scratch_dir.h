// A fresh folder for one test, removed afterwards, and a scope that makes
// it the current directory.
#pragma once

#include <filesystem>
#include <string>

namespace upgrade_test {

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The folder with a trailing separator, as the window keeps its working folder.
  std::string folder() const { return path_.string() + "/"; }
  // Writes a file (bytes as given) and returns its full name.
  std::string put(const std::string& name, const std::string& bytes) const;
  std::string get(const std::string& name) const;
  bool has(const std::string& name) const;
  // A subfolder, created.
  std::filesystem::path sub(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

class CurrentDirectory {
 public:
  explicit CurrentDirectory(const std::filesystem::path& p);
  ~CurrentDirectory();
  CurrentDirectory(const CurrentDirectory&) = delete;
  CurrentDirectory& operator=(const CurrentDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

}  // namespace upgrade_test
