#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rt/env.h"

namespace {

// An environment that only notes which of its functions were called.
class NotingEnv : public rt::Env {
 public:
  std::vector<std::string> calls;

  bool FileExists(const std::string&) override { return note("FileExists"), true; }
  std::int64_t FileLength(const std::string&) override { return note("FileLength"), 7; }
  std::unique_ptr<rt::File> Open(const std::string&, const rt::OpenOptions&) override {
    return note("Open"), nullptr;
  }
  std::optional<std::string> CurrentDirectory() override { return note("CurrentDirectory"), "/here"; }
  char PathSeparator() const override {
    const_cast<NotingEnv*>(this)->note("PathSeparator");
    return '|';
  }
  std::vector<std::string> ListFiles(const std::string&, const std::string&) override {
    return note("ListFiles"), std::vector<std::string>{"a.sql"};
  }
  std::optional<std::string> ReadRegistryString(const std::string&, const std::string&) override {
    return note("ReadRegistryString"), "value";
  }
  std::u16string AnsiToUtf16(const std::string&) override { return note("AnsiToUtf16"), u"x"; }
  std::string Utf8ToAnsi(const std::string&) override { return note("Utf8ToAnsi"), "a"; }
  std::string AnsiToUtf8(const std::string&) override { return note("AnsiToUtf8"), "u"; }
  std::unique_ptr<rt::AnsiDecoder> NewAnsiDecoder() override { return note("NewAnsiDecoder"), nullptr; }
  bool DirectoryExists(const std::string&) override { return note("DirectoryExists"), true; }
  bool RenameFile(const std::string&, const std::string&) override { return note("RenameFile"), true; }
  bool RemoveFile(const std::string&) override { return note("RemoveFile"), true; }
  void AdviseLargeBuffer(void*, std::size_t) override { note("AdviseLargeBuffer"); }

 private:
  void note(const char* name) { calls.emplace_back(name); }
};

// Every call reaches the target with the target's answer, the ones with a
// default of their own in Env included.
TEST(EnvWrapper, PassesEveryCallToItsTarget) {
  NotingEnv target;
  rt::EnvWrapper wrapper(&target);
  rt::Env& env = wrapper;
  char buffer[4];

  EXPECT_TRUE(env.FileExists("f"));
  EXPECT_EQ(env.FileLength("f"), 7);
  EXPECT_EQ(env.Open("f", rt::OpenOptions{}), nullptr);
  EXPECT_EQ(env.CurrentDirectory(), "/here");
  EXPECT_EQ(env.PathSeparator(), '|');
  EXPECT_EQ(env.ListFiles("d", "*.sql"), std::vector<std::string>{"a.sql"});
  EXPECT_EQ(env.ReadRegistryString("k", "v"), "value");
  EXPECT_EQ(env.AnsiToUtf16("x"), u"x");
  EXPECT_EQ(env.Utf8ToAnsi("a"), "a");
  EXPECT_EQ(env.AnsiToUtf8("u"), "u");
  EXPECT_EQ(env.NewAnsiDecoder(), nullptr);
  EXPECT_TRUE(env.DirectoryExists("d"));
  EXPECT_TRUE(env.RenameFile("a", "b"));
  EXPECT_TRUE(env.RemoveFile("a"));
  env.AdviseLargeBuffer(buffer, sizeof buffer);

  EXPECT_EQ(target.calls, (std::vector<std::string>{"FileExists", "FileLength", "Open", "CurrentDirectory",
                                                    "PathSeparator", "ListFiles", "ReadRegistryString",
                                                    "AnsiToUtf16", "Utf8ToAnsi", "AnsiToUtf8", "NewAnsiDecoder",
                                                    "DirectoryExists", "RenameFile", "RemoveFile",
                                                    "AdviseLargeBuffer"}));
  EXPECT_EQ(wrapper.target(), &target);
}

}  // namespace
