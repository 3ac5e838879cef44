#include "support/set_env.h"

#include <cstdlib>

namespace testing_support {

// Windows keeps no empty variable: setting one to "" removes it.
void set_env(const std::string& name, const std::string* value) { _putenv_s(name.c_str(), value ? value->c_str() : ""); }

}  // namespace testing_support
