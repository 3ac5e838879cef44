// The developer's script folder named by the environment (POSIX paths).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <string>

#include "upgrade/pack_builder.h"

namespace {

TEST(ScriptFolder, TheEnvironmentNamesItElseTheFixedDeveloperFolder) {
  const char* old = std::getenv("SCHEMALIFT_SQL_DIR");
  const std::string saved = old ? old : "";
  ::unsetenv("SCHEMALIFT_SQL_DIR");
  EXPECT_EQ(*upgrade::script_folder(), "e:\\G\\tandrel\\sql\\pr_tr\\");
  ::setenv("SCHEMALIFT_SQL_DIR", "/src/sql", 1);
  EXPECT_EQ(*upgrade::script_folder(), "/src/sql/");
  ::setenv("SCHEMALIFT_SQL_DIR", "/src/sql/", 1);
  EXPECT_EQ(*upgrade::script_folder(), "/src/sql/");
  if (old)
    ::setenv("SCHEMALIFT_SQL_DIR", saved.c_str(), 1);
  else
    ::unsetenv("SCHEMALIFT_SQL_DIR");
}

}  // namespace
