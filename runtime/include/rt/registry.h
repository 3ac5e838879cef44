// Registry reads.
#pragma once

#include "rt/text.h"

namespace rt {

// Reads the text value `value` of `key` (a full key such as
// "HKEY_LOCAL_MACHINE\SOFTWARE\tandrel") into `target`. Returns 1 on
// success; -1 when the key or the value is missing, and `target` keeps its
// value.
Int registry_get(const String& key, const String& value, String& target);

}  // namespace rt
