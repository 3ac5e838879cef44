#include "upgrade/globals.h"

#include "rt/error.h"

namespace upgrade {

rt::transaction& connection() {
  if (!sqlca) rt::raise_error(rt::kErrNullObject);
  return *sqlca;
}

}  // namespace upgrade
