// The platform's environment with a window onto it for tests: records each
// open, read, write (file name and size), close and rename, and can make
// chosen opens, writes and renames fail.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "rt/env.h"

namespace upgrade_test {

class RecordingEnv : public rt::EnvWrapper {
 public:
  RecordingEnv();
  ~RecordingEnv() override;  // restores the previous environment
  RecordingEnv(const RecordingEnv&) = delete;
  RecordingEnv& operator=(const RecordingEnv&) = delete;

  struct Write {
    std::string path;
    std::size_t bytes;
  };
  std::vector<Write> writes;
  std::vector<std::pair<std::string, std::string>> renames;
  // Reads made, by file name, and their sizes.
  std::vector<Write> reads;
  // Files opened and closed, by name, in order.
  std::vector<std::string> opens;
  std::vector<std::string> closes;

  std::function<bool(const std::string& path)> fail_open;
  // Called before each write: true makes it fail.
  std::function<bool(const std::string& path, std::size_t bytes)> fail_write;
  bool fail_rename = false;

  // Sizes of the writes to files whose name ends with `suffix`.
  std::vector<std::size_t> write_sizes(const std::string& suffix) const;

  std::unique_ptr<rt::File> Open(const std::string& path, const rt::OpenOptions& options) override;
  bool RenameFile(const std::string& from, const std::string& to) override;

 private:
  rt::Env* previous_;
};

}  // namespace upgrade_test
