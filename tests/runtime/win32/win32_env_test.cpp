// The Windows platform layer: code pages, share modes, the current
// directory and folder listings.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "rt/env.h"
#include "rt/text.h"

using namespace rt;
namespace fs = std::filesystem;

namespace {

class Win32EnvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("rt_win32_env_" + std::to_string(::GetCurrentProcessId()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    for (const auto& e : fs::recursive_directory_iterator(dir_))
      ::SetFileAttributesA(e.path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(dir_);
  }
  std::string put(const std::string& name, const std::string& bytes = "x") {
    std::string p = (dir_ / name).string();
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }
  std::unique_ptr<File> open(const std::string& path, Access access, Lock lock) {
    OpenOptions o;
    o.access = access;
    o.lock = lock;
    return env_->Open(path, o);
  }
  Env* env_ = PlatformEnv();
  fs::path dir_;
};

}  // namespace

// Every text of the system is GBK: the process must run with the Chinese
// ANSI code page, and conversions go through it.
TEST_F(Win32EnvTest, ConversionsGoThroughTheGbkAnsiCodePage) {
  ASSERT_EQ(::GetACP(), 936u) << "the tests need the system ANSI code page 936";
  const std::string store = "\xC3\xC5\xB5\xEA\xBF\xE2";  // 门店库 in GBK
  EXPECT_EQ(env_->Utf8ToAnsi("门店库"), store);
  EXPECT_EQ(env_->AnsiToUtf8(store), "门店库");
  EXPECT_EQ(env_->AnsiToUtf16(store), u"门店库");
  EXPECT_EQ(env_->AnsiToUtf16("A"), u"A");
  EXPECT_EQ(env_->AnsiToUtf16(""), u"");
  EXPECT_EQ(env_->Utf8ToAnsi(""), "");
  // A character that GBK lacks becomes '?', and the text around it stays.
  std::string mixed = env_->Utf8ToAnsi("a\xEA\xB0\x80z");  // a, Hangul GA, z
  ASSERT_GE(mixed.size(), 3u);
  EXPECT_EQ(mixed.front(), 'a');
  EXPECT_EQ(mixed.back(), 'z');
  EXPECT_EQ(mixed.substr(1, mixed.size() - 2).find_first_not_of('?'), std::string::npos) << mixed;
  // Embedded NUL bytes are carried, not taken as the end.
  EXPECT_EQ(env_->AnsiToUtf16(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST_F(Win32EnvTest, ShareModesFollowTheLock) {
  std::string p = put("locked.dat");
  {
    // Others may not write: they may still read.
    auto w = open(p, Access::Write, Lock::Write);
    ASSERT_TRUE(w);
    EXPECT_TRUE(open(p, Access::Read, Lock::Shared));
    EXPECT_FALSE(open(p, Access::Write, Lock::Shared));
    // A reader that itself forbids writing cannot join a writer.
    EXPECT_FALSE(open(p, Access::Read, Lock::Write));
  }
  {
    // Others may neither read nor write.
    auto r = open(p, Access::Read, Lock::ReadWrite);
    ASSERT_TRUE(r);
    EXPECT_FALSE(open(p, Access::Read, Lock::Shared));
    EXPECT_FALSE(open(p, Access::Write, Lock::Shared));
  }
  {
    // Others may not read: they may still write.
    auto w = open(p, Access::Write, Lock::Read);
    ASSERT_TRUE(w);
    EXPECT_FALSE(open(p, Access::Read, Lock::Shared));
    EXPECT_TRUE(open(p, Access::Write, Lock::Shared));
  }
  {
    auto a = open(p, Access::Read, Lock::Shared);
    auto b = open(p, Access::Read, Lock::Shared);
    EXPECT_TRUE(a && b);
  }
  // Once every holder has closed, the file opens exclusively again.
  EXPECT_TRUE(open(p, Access::Write, Lock::ReadWrite));
}

TEST_F(Win32EnvTest, FoldersAreNotFiles) {
  fs::create_directories(dir_ / "sub");
  std::string sub = (dir_ / "sub").string();
  EXPECT_FALSE(env_->FileExists(sub));
  EXPECT_EQ(env_->FileLength(sub), -1);
  EXPECT_FALSE(open(sub, Access::Read, Lock::Shared));
  std::string f = put("five.txt", "12345");
  EXPECT_TRUE(env_->FileExists(f));
  EXPECT_EQ(env_->FileLength(f), 5);
}

TEST_F(Win32EnvTest, CurrentDirectoryLongerThanTheUsualBuffer) {
  // A path of 257 characters does not fit 256 bytes with its NUL.
  fs::path deep = fs::canonical(dir_);
  while (deep.string().size() < 257) {
    std::size_t room = 257 - deep.string().size() - 1;
    deep /= std::string(std::min<std::size_t>(room == 0 ? 1 : room, 60), 'd');
  }
  ASSERT_EQ(deep.string().size(), 257u);
  fs::create_directories(deep);
  char old[MAX_PATH];
  ASSERT_GT(::GetCurrentDirectoryA(MAX_PATH, old), 0u);
  ASSERT_TRUE(::SetCurrentDirectoryA(deep.string().c_str()));
  auto got = env_->CurrentDirectory();
  ::SetCurrentDirectoryA(old);
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(*got, deep.string());
  EXPECT_EQ(env_->PathSeparator(), '\\');
}

TEST_F(Win32EnvTest, ListingTakesOrdinaryFilesMatchedByTheirLongNames) {
  put("b.sql");
  put("A.Sql");
  put("notes.sqlite");  // its short name NOTES~1.SQL matches *.sql
  put("readme.txt");
  ::SetFileAttributesA(put("hidden.sql").c_str(), FILE_ATTRIBUTE_HIDDEN);
  ::SetFileAttributesA(put("system.sql").c_str(), FILE_ATTRIBUTE_SYSTEM);
  ::SetFileAttributesA(put("ro.sql").c_str(), FILE_ATTRIBUTE_READONLY);
  ::SetFileAttributesA(put("archived.sql").c_str(), FILE_ATTRIBUTE_ARCHIVE);
  fs::create_directories(dir_ / "folder.sql");

  std::vector<std::string> want{"A.Sql", "archived.sql", "b.sql"};
  EXPECT_EQ(env_->ListFiles(dir_.string(), "*.sql"), want);
  EXPECT_EQ(env_->ListFiles(dir_.string() + "\\", "*.SQL"), want);
  EXPECT_EQ(env_->ListFiles(dir_.string(), "?.sql"), (std::vector<std::string>{"A.Sql", "b.sql"}));
  EXPECT_EQ(env_->ListFiles(dir_.string(), "*.*"),
            (std::vector<std::string>{"A.Sql", "archived.sql", "b.sql", "notes.sqlite", "readme.txt"}));
  EXPECT_TRUE(env_->ListFiles((dir_ / "missing").string(), "*.sql").empty());
}
