#include "hostkit/hostkit.h"

#include <algorithm>
#include <atomic>

#include "platform.h"
#include "rt/text.h"

namespace hostkit {

namespace {

// The classes the library exports; create() makes no other class.
const char* const kLibraryClasses[] = {"uo_file_time", "nvo_dnum", "nvo_mps", "nvo_mdll", "nvo_sizeof"};

// The names above are in lower case; a name in any letter case matches.
bool library_class(const std::string& name) {
  const std::string lowered = *rt::lower(name);
  return std::any_of(std::begin(kLibraryClasses), std::end(kLibraryClasses),
                     [&](const char* c) { return lowered == c; });
}

std::atomic<Kernel32*> g_kernel32{nullptr};
std::atomic<Advapi32*> g_advapi32{nullptr};

}  // namespace

rt::Ref<rt::Object> create(const std::string& class_name) {
  if (!library_class(class_name)) return rt::Ref<rt::Object>();
  return rt::ClassRegistry::instance().create(class_name);
}

std::vector<std::string> class_names() {
  std::vector<std::string> names;
  for (const char* c : kLibraryClasses)
    if (rt::ClassRegistry::instance().has(c)) names.emplace_back(c);
  return names;
}

const char* version() { return "1.0"; }

Kernel32& kernel32() {
  Kernel32* k = g_kernel32.load();
  return k ? *k : platform_kernel32();
}

Advapi32& advapi32() {
  Advapi32* a = g_advapi32.load();
  return a ? *a : platform_advapi32();
}

void set_kernel32(Kernel32* k) { g_kernel32.store(k); }
void set_advapi32(Advapi32* a) { g_advapi32.store(a); }

}  // namespace hostkit
