#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "rt/registry.h"

using namespace rt;
namespace fs = std::filesystem;

namespace {
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (fs::temp_directory_path() / ("rt_registry_" + std::to_string(::getpid()) + ".ini")).string();
    std::ofstream(path_) << "; store settings\n[SOFTWARE\\Other]\nSERVERNAME=elsewhere\n\n"
                            "[SOFTWARE\\tandrel]\nSERVERNAME = 127.0.0.1,14330\nDatabase=\"门店库\"\n";
    ::setenv("SCHEMALIFT_REGISTRY", path_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("SCHEMALIFT_REGISTRY");
    fs::remove(path_);
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
  ::setenv("SCHEMALIFT_REGISTRY", "/nonexistent/registry.ini", 1);
  EXPECT_EQ(*registry_get(String("HKEY_LOCAL_MACHINE\\SOFTWARE\\tandrel"), String("SERVERNAME"), v), -1);
  EXPECT_EQ(*v, "kept");
}
