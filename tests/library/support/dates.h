// Datetimes shared by the file tests.
#pragma once

#include <string>

#include "rt/datetime.h"

namespace hostkit_test {

inline rt::DateTime dt(int y, int mo, int d, int h, int mi, int s, int us = 0) {
  return rt::DateTimeValue(rt::DateValue(y, mo, d), rt::TimeValue(h, mi, s, us));
}

// A datetime's display text, "NULL" for NULL.
inline std::string show(const rt::DateTime& v) { return v.is_null() ? "NULL" : *rt::string_of(v); }

}  // namespace hostkit_test
