// The hostkit library's entry points.
//
// hostkit carries the object runtime inside the shared library, so a program
// that links hostkit::hostkit uses the library's runtime: one class registry,
// one set of user-interface services. Such a program must not link a second
// copy of the runtime ahead of the library.
#pragma once

#include <string>
#include <vector>

#include "hostkit/export.h"
#include "rt/object.h"

namespace hostkit {

// Creates an object of one of the library's classes ("uo_file_time",
// "nvo_dnum", "nvo_mps", "nvo_mdll", "nvo_sizeof"; any letter case) and
// fires its constructor event. Null for an unknown class name.
HOSTKIT_API rt::Ref<rt::Object> create(const std::string& class_name);

// The library's class names that are present, in the order listed above.
HOSTKIT_API std::vector<std::string> class_names();

// The library's version text ("1.0").
HOSTKIT_API const char* version();

}  // namespace hostkit
