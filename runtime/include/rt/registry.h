// Registry reads.
#pragma once

#include <string>

#include "rt/text.h"

namespace rt {

// Reads the text value `value` of `key` (a full key such as
// "HKEY_LOCAL_MACHINE\SOFTWARE\tandrel") into `target`. Returns 1 on
// success; -1 when the key or the value is missing, and `target` keeps its
// value.
Int registry_get(const String& key, const String& value, String& target);

// Where a platform without a registry of its own (POSIX) keeps the
// program's: an INI file whose section names are key paths below
// HKEY_LOCAL_MACHINE. Windows reads its own registry and takes no file.
struct RegistryFile {
  // An environment variable naming the file; when it is set and not empty
  // at a read, it wins over `path`. Empty for none.
  std::string variable;
  // The file when the variable names none. Empty for none.
  std::string path;
};

// Names the program's registry file, once at start-up. Until a program
// names one there is no file: every value is missing, and nothing is said
// about it.
void set_registry_file(RegistryFile file);
// The file of the last set_registry_file (both names empty before one).
RegistryFile registry_file();

}  // namespace rt
