// SQL Server through FreeTDS (Debian's tdsodbc registers the driver as
// "FreeTDS"). ClientCharset makes the driver take and give GBK bytes; TDS
// 7.3 is the oldest version with the token formats the client expects.
// FreeTDS reads a braced value up to its closing brace and does not
// undouble "}}".
#include "rt/odbc.h"

namespace rt::odbc {

const MssProfile& platform_mss_profile() {
  static const MssProfile profile{"FreeTDS", "TDS_Version=7.3;ClientCharset=GBK", true, true, false};
  return profile;
}

}  // namespace rt::odbc
