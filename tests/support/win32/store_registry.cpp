// The store's key in the real registry. The key and its values as they were
// are read when the object is made; at the end of its scope the key goes
// again when it did not exist, or gets back exactly its old values (names,
// types and bytes) when it did. A 32-bit test program sees the same view of
// HKEY_LOCAL_MACHINE\SOFTWARE as the 32-bit program it tests.
#include "support/store_registry.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

namespace testing_support {

namespace {

struct Value {
  std::string name;
  DWORD type = REG_NONE;
  std::string data;
};

std::vector<Value> read_values(HKEY key) {
  DWORD count = 0, longest_name = 0, longest_data = 0;
  std::vector<Value> values;
  if (::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longest_name,
                         &longest_data, nullptr, nullptr) != ERROR_SUCCESS)
    return values;
  for (DWORD i = 0; i < count; ++i) {
    std::string name(longest_name + 1, '\0');
    std::string data(longest_data, '\0');
    DWORD name_size = static_cast<DWORD>(name.size());
    DWORD data_size = static_cast<DWORD>(data.size());
    Value v;
    if (::RegEnumValueA(key, i, name.data(), &name_size, nullptr, &v.type, reinterpret_cast<BYTE*>(data.data()),
                        &data_size) != ERROR_SUCCESS)
      continue;
    name.resize(name_size);
    data.resize(data_size);
    v.name = name;
    v.data = data;
    values.push_back(v);
  }
  return values;
}

HKEY create_key() {
  HKEY key = nullptr;
  LONG r = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kStoreKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (r != ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot write HKEY_LOCAL_MACHINE\\" << kStoreKey << " (error " << r
                  << "): the tests need administrator rights";
    return nullptr;
  }
  return key;
}

void delete_key() {
  LONG r = ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kStoreKey);
  if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND)
    ADD_FAILURE() << "cannot delete HKEY_LOCAL_MACHINE\\" << kStoreKey << " (error " << r << ")";
}

}  // namespace

struct StoreRegistry::State {
  bool existed = false;
  std::vector<Value> before;
};

StoreRegistry::StoreRegistry() : state_(std::make_unique<State>()) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kStoreKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    state_->existed = true;
    state_->before = read_values(key);
    ::RegCloseKey(key);
  }
}

StoreRegistry::~StoreRegistry() {
  if (!state_->existed) {
    delete_key();
    return;
  }
  HKEY key = create_key();
  if (!key) return;
  for (const Value& v : read_values(key)) ::RegDeleteValueA(key, v.name.c_str());
  for (const Value& v : state_->before) {
    LONG r = ::RegSetValueExA(key, v.name.c_str(), 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                              static_cast<DWORD>(v.data.size()));
    if (r != ERROR_SUCCESS) ADD_FAILURE() << "cannot restore the value " << v.name << " (error " << r << ")";
  }
  ::RegCloseKey(key);
}

void StoreRegistry::set(const std::string& name, const std::string& text) {
  HKEY key = create_key();
  if (!key) return;
  // The bytes as they are, with the terminating NUL that RegSetValueExA
  // expects to be counted.
  LONG r = ::RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>(text.size() + 1));
  if (r != ERROR_SUCCESS) ADD_FAILURE() << "cannot set the value " << name << " (error " << r << ")";
  ::RegCloseKey(key);
}

void StoreRegistry::remove(const std::string& name) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kStoreKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  LONG r = ::RegDeleteValueA(key, name.c_str());
  if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND)
    ADD_FAILURE() << "cannot delete the value " << name << " (error " << r << ")";
  ::RegCloseKey(key);
}

void StoreRegistry::remove_key() { delete_key(); }

}  // namespace testing_support
