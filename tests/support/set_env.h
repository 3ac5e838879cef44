// Setting and removing an environment variable of the test process, one
// implementation per platform (support/posix, support/win32).
#pragma once

#include <string>

namespace testing_support {

// Sets `name` to `*value`, or removes it when value is null.
void set_env(const std::string& name, const std::string* value);

}  // namespace testing_support
