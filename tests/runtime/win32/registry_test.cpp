// Registry reads against the real registry: the fixture writes its own key
// below HKEY_LOCAL_MACHINE\SOFTWARE and removes it again.
#include <gtest/gtest.h>
#include <windows.h>

#include "rt/registry.h"

using namespace rt;

namespace {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sub_ = "SOFTWARE\\rt_registry_test_" + std::to_string(::GetCurrentProcessId());
    key_ = "HKEY_LOCAL_MACHINE\\" + sub_;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, sub_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hkey_,
                                nullptr),
              ERROR_SUCCESS)
        << "writing below HKEY_LOCAL_MACHINE needs administrator rights";
    set_text("SERVERNAME", "127.0.0.1,14330");
    set_text("DATABASE", gbk("门店库"));
    set_text("LONG", std::string(600, 'L'));
    set_text("EMPTY", "");
    DWORD port = 1433;
    ::RegSetValueExA(hkey_, "PORT", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&port), sizeof port);
    // Stored without its terminating NUL, as some writers do.
    ::RegSetValueExA(hkey_, "BARE", 0, REG_SZ, reinterpret_cast<const BYTE*>("bare"), 4);
  }
  void TearDown() override {
    if (hkey_) ::RegCloseKey(hkey_);
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, sub_.c_str());
  }
  void set_text(const char* name, const std::string& v) {
    ::RegSetValueExA(hkey_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()),
                     static_cast<DWORD>(v.size() + 1));
  }
  std::string sub_, key_;
  HKEY hkey_ = nullptr;
};

}  // namespace

TEST_F(RegistryTest, ReadsTextValuesOfTheKeyInGbk) {
  String server = "old";
  EXPECT_EQ(*registry_get(String(key_), String("SERVERNAME"), server), 1);
  EXPECT_EQ(*server, "127.0.0.1,14330");
  String db;
  EXPECT_EQ(*registry_get(String(key_), String("database"), db), 1);
  EXPECT_EQ(*db, gbk("门店库"));
  // Key names are not case-sensitive, and the root may be abbreviated.
  String again;
  EXPECT_EQ(*registry_get(String("hklm\\" + sub_), String("SERVERNAME"), again), 1);
  EXPECT_EQ(*again, "127.0.0.1,14330");
}

TEST_F(RegistryTest, LongEmptyAndUnterminatedTexts) {
  String v;
  EXPECT_EQ(*registry_get(String(key_), String("LONG"), v), 1);
  EXPECT_EQ(*v, std::string(600, 'L'));
  EXPECT_EQ(*registry_get(String(key_), String("EMPTY"), v), 1);
  EXPECT_EQ(*v, "");
  EXPECT_EQ(*registry_get(String(key_), String("BARE"), v), 1);
  EXPECT_EQ(*v, "bare");
}

TEST_F(RegistryTest, MissingKeyValueOrNonTextKeepsTheTarget) {
  String v = "kept";
  EXPECT_EQ(*registry_get(String(key_ + "_none"), String("SERVERNAME"), v), -1);
  EXPECT_EQ(*registry_get(String(key_), String("MISSING"), v), -1);
  EXPECT_EQ(*registry_get(String(key_), String("PORT"), v), -1);
  EXPECT_EQ(*registry_get(String(), String("SERVERNAME"), v), -1);
  EXPECT_EQ(*v, "kept");
}
