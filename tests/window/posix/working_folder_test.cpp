// schemalift's working folder on POSIX: the current directory when the
// window opens, with "/" behind it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/scoped.h"
#include "support/startup.h"

namespace {

using startup_testing::Startup;

TEST_F(Startup, WorkingFolderIsTheCurrentDirectoryWithASeparator) {
  std::string real = std::filesystem::canonical(dir.path()).string();
  {
    testing_support::ScopedCwd cwd(real);
    auto& w = start();
    EXPECT_EQ(*w.is_runpath, real + "/");
    session.reset();
  }
  {
    testing_support::ScopedCwd cwd("/");
    auto& w = start();
    EXPECT_EQ(*w.is_runpath, "//");  // the root keeps its own separator
    session.reset();
  }
}

TEST_F(Startup, WorkingFolderLongerThanTheBuffer) {
  std::string deep = std::filesystem::canonical(dir.path()).string();
  while (deep.size() < 300) {
    deep += "/folder_of_some_length";
    std::filesystem::create_directory(deep);
  }
  testing_support::ScopedCwd cwd(deep);
  auto& w = start();
  EXPECT_EQ(*w.is_runpath, deep + "/");

  rt::String buffer = rt::space(256);
  rt::ULong need = w.GetCurrentDirectoryA(256u, buffer);
  EXPECT_EQ(*need, deep.size() + 1);
  EXPECT_EQ(*buffer, std::string(256, ' '));  // left alone
}

TEST_F(Startup, WorkingFolderThatNoLongerExists) {
  std::string gone = dir.path() + "/gone";
  std::filesystem::create_directory(gone);
  testing_support::ScopedCwd cwd(gone);
  std::filesystem::remove(gone);
  auto& w = start();
  EXPECT_EQ(*w.is_runpath, "./");
}

}  // namespace
