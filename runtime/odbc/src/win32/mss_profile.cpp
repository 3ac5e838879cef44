// SQL Server through Windows' own SQL Server ODBC driver. The ANSI calls
// carry the system code page (GBK on a Chinese system) and the driver
// understands "host,port" and "host\instance" itself.
#include "rt/odbc.h"

namespace rt::odbc {

const MssProfile& platform_mss_profile() {
  static const MssProfile profile{"SQL Server", "", false, false, true};
  return profile;
}

}  // namespace rt::odbc
