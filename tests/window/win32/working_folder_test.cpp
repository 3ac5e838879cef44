// schemalift's working folder on Windows: the current directory as
// GetCurrentDirectoryA gives it when the window opens, with "\" behind it.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

#include "rt/file.h"
#include "support/scoped.h"
#include "support/startup.h"

namespace {

using startup_testing::Startup;

TEST_F(Startup, WorkingFolderIsTheCurrentDirectoryWithABackslash) {
  testing_support::ScopedCwd cwd(dir.path());
  auto& w = start();
  EXPECT_EQ(*w.is_runpath, dir.path() + "\\");
}

TEST_F(Startup, WorkingFolderAtADriveRootEndsInTwoBackslashes) {
  ASSERT_EQ(dir.path().substr(1, 2), ":\\") << dir.path();
  std::string root = dir.path().substr(0, 3);
  dir.write("db.dat", "pack");
  testing_support::ScopedCwd cwd(root);
  auto& w = start();
  // Windows reports a root with its backslash, and the program adds one.
  EXPECT_EQ(*w.is_runpath, root + "\\");
  // File names joined to it still reach the file.
  std::string below = dir.path().substr(3) + "\\db.dat";
  EXPECT_TRUE(*rt::file_exists(w.is_runpath + below)) << *w.is_runpath + below;
  EXPECT_EQ(*rt::file_length(w.is_runpath + below), 4);
}

TEST_F(Startup, WorkingFolderLongerThanTheBuffer) {
  // 257 bytes: too long for the first buffer of 256, short enough for a
  // current directory that every Windows accepts.
  std::string deep = dir.path();
  while (deep.size() + 24 <= 257) deep += "\\folder_of_some_length";
  deep += "\\" + std::string(257 - deep.size() - 1, 'f');
  ASSERT_EQ(deep.size(), 257u);
  std::filesystem::create_directories(deep);
  testing_support::ScopedCwd cwd(deep);
  auto& w = start();
  EXPECT_EQ(*w.is_runpath, deep + "\\");

  rt::String buffer = rt::space(256);
  rt::ULong need = w.GetCurrentDirectoryA(256u, buffer);
  EXPECT_EQ(*need, deep.size() + 1);
  EXPECT_EQ(*buffer, std::string(256, ' '));  // left alone
}

TEST_F(Startup, WorkingFolderBeyondWhatWindowsReports) {
  // Deeper than GetCurrentDirectoryA can give (MAX_PATH): the program
  // stands on ".\", which still names the current directory, so the pack
  // is found where the program was started.
  std::string deep = dir.path();
  while (deep.size() < 300) deep += "\\folder_of_some_length";
  // Paths that long need the "\\?\" form in the wide file functions, the
  // removal at the end too (folder by folder, deepest first).
  const std::string whole = "\\\\?\\" + deep;
  std::error_code ec;
  std::filesystem::create_directories(whole, ec);
  std::ofstream(whole + "\\db.dat") << "pack";
  std::optional<testing_support::ScopedCwd> cwd;
  try {
    cwd.emplace(deep);
  } catch (const std::runtime_error&) {
  }
  const bool entered = cwd.has_value();
  if (entered) {
    char reported[MAX_PATH];
    bool reports = ::GetCurrentDirectoryA(MAX_PATH, reported) != 0;
    auto& w = start();
    EXPECT_EQ(*w.is_runpath, reports ? deep + "\\" : std::string(".\\"));
    EXPECT_EQ(*rt::file_length(w.is_runpath + std::string("db.dat")), 4);
    session.reset();
    cwd.reset();
  }
  auto wide = [](const std::string& path) { return std::filesystem::path(path).wstring(); };
  EXPECT_TRUE(::DeleteFileW(wide(whole + "\\db.dat").c_str()));
  for (std::string folder = deep; folder.size() > dir.path().size(); folder.resize(folder.rfind('\\')))
    EXPECT_TRUE(::RemoveDirectoryW(wide("\\\\?\\" + folder).c_str())) << folder;
  if (!entered) GTEST_SKIP() << "this system refuses a current directory that deep";
}

}  // namespace
