#include "support/set_env.h"

#include <cstdlib>

namespace testing_support {

void set_env(const std::string& name, const std::string* value) {
  if (value)
    ::setenv(name.c_str(), value->c_str(), 1);
  else
    ::unsetenv(name.c_str());
}

}  // namespace testing_support
