#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>

#include "rt/registry.h"

using namespace rt;
namespace fs = std::filesystem;

namespace {
// The variable through which these tests name the registry file.
constexpr const char* kVariable = "RT_TEST_REGISTRY";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (fs::temp_directory_path() / ("rt_registry_" + std::to_string(::getpid()) + ".ini")).string();
    std::ofstream(path_) << "; store settings\n[SOFTWARE\\Other]\nSERVERNAME=elsewhere\n\n"
                            "[SOFTWARE\\tandrel]\nSERVERNAME = 127.0.0.1,14330\nDatabase=\"门店库\"\n";
    ::setenv(kVariable, path_.c_str(), 1);
    set_registry_file({kVariable, "/nonexistent/default.ini"});
  }
  void TearDown() override {
    ::unsetenv(kVariable);
    set_registry_file({});
    fs::remove(path_);
  }
  void write(const std::string& content) { std::ofstream(path_, std::ios::binary | std::ios::trunc) << content; }
  static int server(String& target) {
    return *registry_get(String("HKEY_LOCAL_MACHINE\\SOFTWARE\\tandrel"), String("SERVERNAME"), target);
  }
  std::string path_;
};
}  // namespace

TEST_F(RegistryTest, ReadsValuesOfTheKeyInGbk) {
  String server = "old";
  EXPECT_EQ(*registry_get(String("HKEY_LOCAL_MACHINE\\SOFTWARE\\tandrel"), String("SERVERNAME"), server), 1);
  EXPECT_EQ(*server, "127.0.0.1,14330");
  String db;
  EXPECT_EQ(*registry_get(String("HKEY_LOCAL_MACHINE\\software\\TANDREL"), String("DATABASE"), db), 1);
  EXPECT_EQ(*db, gbk("门店库"));
}

TEST_F(RegistryTest, MissingKeyOrValueKeepsTheTarget) {
  String v = "kept";
  EXPECT_EQ(*registry_get(String("HKEY_LOCAL_MACHINE\\SOFTWARE\\none"), String("SERVERNAME"), v), -1);
  EXPECT_EQ(*registry_get(String("HKEY_LOCAL_MACHINE\\SOFTWARE\\tandrel"), String("MISSING"), v), -1);
  EXPECT_EQ(*v, "kept");
  ::setenv(kVariable, "/nonexistent/registry.ini", 1);
  EXPECT_EQ(*registry_get(String("HKEY_LOCAL_MACHINE\\SOFTWARE\\tandrel"), String("SERVERNAME"), v), -1);
  EXPECT_EQ(*v, "kept");
}

TEST_F(RegistryTest, AByteOrderMarkBeforeTheFirstKeyIsSkipped) {
  write("\xEF\xBB\xBF[SOFTWARE\\tandrel]\r\nSERVERNAME=127.0.0.1,14330\r\nDATABASE=store\r\n");
  String server_name;
  EXPECT_EQ(server(server_name), 1);
  EXPECT_EQ(*server_name, "127.0.0.1,14330");
  // Only at the start of the file: elsewhere the bytes belong to the text.
  write("[SOFTWARE\\tandrel]\n\xEF\xBB\xBFSERVERNAME=elsewhere\n");
  String v = "kept";
  EXPECT_EQ(server(v), -1);
  EXPECT_EQ(*v, "kept");
}

TEST_F(RegistryTest, APathThatNamesNoRegularFileCountsAsNoFile) {
  String v = "kept";
  std::string folder = path_ + ".d";
  fs::create_directory(folder);
  ::setenv(kVariable, folder.c_str(), 1);
  EXPECT_EQ(server(v), -1);
  fs::remove(folder);
  ::setenv(kVariable, "/dev/null", 1);
  EXPECT_EQ(server(v), -1);
  EXPECT_EQ(*v, "kept");

  // A FIFO that nobody writes to must not hold the reader up.
  std::string fifo = path_ + ".fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ::setenv(kVariable, fifo.c_str(), 1);
  auto read = std::async(std::launch::async, [] {
    String target = "kept";
    int r = server(target);
    return std::make_pair(r, *target);
  });
  if (read.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    ADD_FAILURE() << "reading the registry waits for a writer of the FIFO";
    // Release the reader: give it a writer that offers a key.
    int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) {
      std::string text = "[SOFTWARE\\tandrel]\nSERVERNAME=junk\n";
      EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
      ::close(fd);
    }
  }
  auto [r, target] = read.get();
  EXPECT_EQ(r, -1);
  EXPECT_EQ(target, "kept");
  fs::remove(fifo);
}

TEST_F(RegistryTest, AMissingKeyOrValueIsReportedOnStandardError) {
  auto report = [](const char* key, const char* value) {
    String v = "kept";
    ::testing::internal::CaptureStderr();
    int r = *registry_get(String(key), String(value), v);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(r, -1);
    EXPECT_EQ(*v, "kept");
    return err;
  };
  auto one_line_naming = [&](const std::string& err, std::initializer_list<std::string> parts) {
    ASSERT_FALSE(err.empty());
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
    for (const std::string& part : parts) EXPECT_NE(err.find(part), std::string::npos) << part << " in " << err;
  };

  one_line_naming(report("HKEY_LOCAL_MACHINE\\SOFTWARE\\tandrel", "PORT"),
                  {path_, "PORT", "[SOFTWARE\\tandrel]"});
  std::string no_key = report("HKEY_LOCAL_MACHINE\\SOFTWARE\\none", "SERVERNAME");
  one_line_naming(no_key, {path_, "SERVERNAME", "[SOFTWARE\\none]", "no such key"});
  ::setenv(kVariable, "/nonexistent/registry.ini", 1);
  one_line_naming(report("HKEY_LOCAL_MACHINE\\SOFTWARE\\tandrel", "DATABASE"),
                  {"/nonexistent/registry.ini", "DATABASE", "no such regular file"});

  // A value that is there is read without a word.
  ::setenv(kVariable, path_.c_str(), 1);
  String v;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(server(v), 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(RegistryTest, TheVariableWinsOverThePathWhileItNamesAFile) {
  String v;
  ::unsetenv(kVariable);
  set_registry_file({kVariable, path_});
  EXPECT_EQ(server(v), 1);
  EXPECT_EQ(*v, "127.0.0.1,14330");
  ::setenv(kVariable, "", 1);
  v = "";
  EXPECT_EQ(server(v), 1);
  EXPECT_EQ(*v, "127.0.0.1,14330");

  std::string other = path_ + ".other";
  std::ofstream(other) << "[SOFTWARE\\tandrel]\nSERVERNAME=other\n";
  ::setenv(kVariable, other.c_str(), 1);
  EXPECT_EQ(server(v), 1);
  EXPECT_EQ(*v, "other");
  fs::remove(other);
}

// A program that names no file has no registry, whatever files another
// program would read: values are missing, and nothing is said about them.
TEST_F(RegistryTest, AProgramThatNamesNoFileReadsNone) {
  set_registry_file({});
  ::setenv("SCHEMALIFT_REGISTRY", path_.c_str(), 1);
  String v = "kept";
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(server(v), -1);
  EXPECT_EQ(*registry_get(String("HKEY_LOCAL_MACHINE\\SOFTWARE\\tandrel"), String("DATABASE"), v), -1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  ::unsetenv("SCHEMALIFT_REGISTRY");
  EXPECT_EQ(*v, "kept");
}
