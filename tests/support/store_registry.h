// The store's settings where schemalift reads them at start-up: the
// registry key HKEY_LOCAL_MACHINE\SOFTWARE\tandrel. On Windows that is the
// real registry; on POSIX it is the INI file that SCHEMALIFT_REGISTRY names.
// Whatever was there before comes back at the end of the scope.
#pragma once

#include <memory>
#include <string>

namespace testing_support {

// The key below HKEY_LOCAL_MACHINE.
inline const char* kStoreKey = "SOFTWARE\\tandrel";

class StoreRegistry {
 public:
  StoreRegistry();
  ~StoreRegistry();
  StoreRegistry(const StoreRegistry&) = delete;
  StoreRegistry& operator=(const StoreRegistry&) = delete;

  // Sets a text value (GBK bytes, the system's text), making the key when
  // it is missing.
  void set(const std::string& name, const std::string& text);
  // Removes one value; the key stays.
  void remove(const std::string& name);
  // Removes the key with all its values.
  void remove_key();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace testing_support
