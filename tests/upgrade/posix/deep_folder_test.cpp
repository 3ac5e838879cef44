// A working folder whose path is longer than the system reports: the
// current directory cannot be read, and its files are still its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "rt/env.h"
#include "rt/file.h"
#include "rt/testing/recording_ui.h"
#include "support/fake_database.h"
#include "support/temp_dir.h"
#include "upgrade/update_script.h"

namespace {

// Goes down from `base` through folders of 200-byte names until the path
// is over 4,096 bytes long, and comes back up, removing them, at the end.
// Only relative names are used on the way: the whole path is too long for
// the system calls.
class DeepFolder {
 public:
  explicit DeepFolder(const std::string& base) : previous_(std::filesystem::current_path().string()) {
    if (::chdir(base.c_str()) != 0) throw std::runtime_error("chdir " + base);
    const std::string name(200, 'd');
    for (std::size_t length = base.size(); length <= 4300; length += name.size() + 1) {
      if (::mkdir(name.c_str(), 0700) != 0 || ::chdir(name.c_str()) != 0) throw std::runtime_error("mkdir");
      ++depth_;
    }
  }
  ~DeepFolder() {
    for (const std::string& f : files_) ::unlink(f.c_str());
    const std::string name(200, 'd');
    for (int i = 0; i < depth_; ++i) {
      if (::chdir("..") != 0) std::abort();
      ::rmdir(name.c_str());
    }
    if (::chdir(previous_.c_str()) != 0) std::abort();
  }
  DeepFolder(const DeepFolder&) = delete;
  DeepFolder& operator=(const DeepFolder&) = delete;

  // Writes a file into the deepest folder.
  void put(const std::string& name, const std::string& bytes) {
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
    files_.push_back(name);
  }

 private:
  std::string previous_;
  int depth_ = 0;
  std::vector<std::string> files_;
};

TEST(DeepWorkingFolder, UpdateScriptIsTheFoldersOwnWhenItsPathCannotBeRead) {
  testing_support::TempDir base;
  testing_support::FakeDatabase db;
  rt::transaction sqlca;
  db.connect(sqlca);
  rt::RecordingUi ui;
  rt::ScopedUi scoped_ui(&ui);

  DeepFolder deep(base.path());
  deep.put("update.sql", "update t set a = 1\ngo\nleft over\n");
  ASSERT_FALSE(rt::Env::Default()->CurrentDirectory());  // the premise: the path is too long to read
  EXPECT_EQ(*rt::current_directory(), ".");

  rt::String rest = upgrade::wf_exec_sql(sqlca);
  EXPECT_EQ(db.statements(), std::vector<std::string>{"\nupdate t set a = 1"});
  EXPECT_EQ(*rest, "\nleft over");
  EXPECT_TRUE(ui.events().empty());
}

}  // namespace
