#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "rt/env.h"

namespace fs = std::filesystem;

namespace {
std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}
}  // namespace

TEST(FolderOps, RenameReplacesAnExistingFileAndRemoveDeletes) {
  fs::path dir = fs::temp_directory_path() / ("rt_folder_ops_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  rt::Env* env = rt::PlatformEnv();
  std::ofstream(dir / "new", std::ios::binary) << "new";
  std::ofstream(dir / "old", std::ios::binary) << "old contents";

  EXPECT_TRUE(env->DirectoryExists(dir.string()));
  EXPECT_FALSE(env->DirectoryExists((dir / "old").string()));
  EXPECT_FALSE(env->DirectoryExists((dir / "none").string()));

  EXPECT_TRUE(env->RenameFile((dir / "new").string(), (dir / "old").string()));
  EXPECT_EQ(slurp(dir / "old"), "new");
  EXPECT_FALSE(fs::exists(dir / "new"));
  EXPECT_FALSE(env->RenameFile((dir / "new").string(), (dir / "old").string()));

  EXPECT_TRUE(env->RemoveFile((dir / "old").string()));
  EXPECT_FALSE(fs::exists(dir / "old"));
  EXPECT_FALSE(env->RemoveFile((dir / "old").string()));
  fs::remove_all(dir);
}
