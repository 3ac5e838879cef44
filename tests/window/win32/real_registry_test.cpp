// schemalift's store settings through the real registry: the tests write
// HKEY_LOCAL_MACHINE\SOFTWARE\tandrel with RegSetValueExA and look at what
// reaches the connection. The key is as it was again after each test.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/scoped.h"
#include "support/startup.h"

namespace {

using startup_testing::Startup;
using testing_support::kStoreKey;

// Writes a value of any type into the store's key, which must exist.
void set_raw(const char* name, DWORD type, const std::string& bytes) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kStoreKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  EXPECT_EQ(::RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
  ::RegCloseKey(key);
}

// The key's values as type and bytes, by name; nothing when there is no key.
std::optional<std::vector<std::pair<std::string, std::pair<DWORD, std::string>>>> key_contents() {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kStoreKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  std::vector<std::pair<std::string, std::pair<DWORD, std::string>>> values;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD name_size = sizeof name;
    std::string data(4096, '\0');
    DWORD data_size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    if (::RegEnumValueA(key, i, name, &name_size, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                        &data_size) != ERROR_SUCCESS)
      break;
    data.resize(data_size);
    values.emplace_back(std::string(name, name_size), std::make_pair(type, data));
  }
  ::RegCloseKey(key);
  std::sort(values.begin(), values.end());
  return values;
}

TEST_F(Startup, RegistrySettingsReachTheConnectionAsWritten) {
  // Values other than the fixture's, and an INI file that would name yet
  // others: on Windows only the registry counts.
  store.set("SERVERNAME", "127.0.0.1,14330");
  store.set("DATABASE", "shop_2019");
  testing_support::ScopedEnvVar ini(
      "SCHEMALIFT_REGISTRY",
      dir.write("registry.ini", "[SOFTWARE\\tandrel]\nSERVERNAME=127.0.0.1,1433\nDATABASE=store\n"));
  server.server_name = "127.0.0.1,14330";
  server.databases.insert("shop_2019");

  auto& w = start();
  EXPECT_EQ(server.last_settings.servername, "127.0.0.1,14330");
  EXPECT_EQ(server.last_settings.database, "shop_2019");
  EXPECT_EQ(server.statements(), (std::vector<std::string>{"use master", "use shop_2019"}));
  EXPECT_EQ(server.current_database, "shop_2019");
  EXPECT_TRUE(backend.recorder().events().empty());
  EXPECT_TRUE(w.cb_1->enabled());
}

TEST_F(Startup, RegistryDatabaseNameInGbkLongerThanTheFirstBuffer) {
  // 400 bytes of GBK: the read takes a second, larger buffer, and every
  // byte comes through the system code page unchanged.
  std::string name;
  for (int i = 0; i < 100; ++i) name += rt::gbk("门店");
  ASSERT_EQ(name.size(), 400u);
  store.set("DATABASE", name);
  server.databases.insert(name);

  auto& w = start();
  EXPECT_EQ(server.last_settings.database, name);
  EXPECT_EQ(server.statements().back(), "use " + name);
  EXPECT_TRUE(w.cb_1->enabled());
}

TEST_F(Startup, RegistryServerNameNotTextCountsAsMissing) {
  store.remove("SERVERNAME");
  DWORD port = 1433;
  set_raw("SERVERNAME", REG_DWORD, std::string(reinterpret_cast<const char*>(&port), sizeof port));
  auto& w = start();
  EXPECT_EQ(server.last_settings.servername, "");
  EXPECT_EQ(server.last_settings.database, "store");
  expect_failed_connection(w, testing_support::kUnreachableText);
}

// A database value stored as anything but text is not read, even when its
// bytes spell a known database.
class RegistryDatabaseNotText : public Startup, public ::testing::WithParamInterface<std::pair<DWORD, const char*>> {};

TEST_P(RegistryDatabaseNotText, CountsAsMissing) {
  set_raw("DATABASE", GetParam().first, std::string("store\0\0", 7));
  auto& w = start();
  EXPECT_EQ(server.last_settings.database, "");
  EXPECT_EQ(server.statements(), (std::vector<std::string>{"use master", "use "}));
  expect_failed_connection(w, "Incorrect syntax near 'use'.");
}

INSTANTIATE_TEST_SUITE_P(Types, RegistryDatabaseNotText,
                         ::testing::Values(std::make_pair(DWORD(REG_BINARY), "binary"),
                                           std::make_pair(DWORD(REG_MULTI_SZ), "multi_sz"),
                                           std::make_pair(DWORD(REG_DWORD), "dword")),
                         [](const auto& info) { return std::string(info.param.second); });

// The helper that every start-up test relies on to leave the key of the
// machine as it found it.
class StoreKeyRestored : public ::testing::Test {
 protected:
  testing_support::StoreRegistry outer;  // the machine's own state
};

TEST_F(StoreKeyRestored, ValuesOfAnyTypeComeBackExactly) {
  outer.set("SERVERNAME", "127.0.0.1,1");
  outer.set("DATABASE", rt::gbk("门店"));
  DWORD other = 7;
  set_raw("OTHER", REG_DWORD, std::string(reinterpret_cast<const char*>(&other), sizeof other));
  auto before = key_contents();
  ASSERT_TRUE(before);
  ASSERT_EQ(before->size(), 3u);
  {
    testing_support::StoreRegistry inner;
    inner.set("SERVERNAME", "elsewhere");
    inner.remove("OTHER");
    inner.set("EXTRA", "x");
  }
  EXPECT_EQ(key_contents(), before);
  {
    testing_support::StoreRegistry inner;
    inner.remove_key();
    EXPECT_FALSE(key_contents());
  }
  EXPECT_EQ(key_contents(), before);
}

TEST_F(StoreKeyRestored, AKeyThatDidNotExistIsRemovedAgain) {
  outer.remove_key();
  {
    testing_support::StoreRegistry inner;
    inner.set("SERVERNAME", "127.0.0.1,1433");
    EXPECT_TRUE(key_contents());
  }
  EXPECT_FALSE(key_contents());
}

}  // namespace
