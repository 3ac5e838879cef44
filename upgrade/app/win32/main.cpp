// schemalift for Windows: the upgrade window of native controls.
#include "rt/odbc.h"
#include "rt/window/win32.h"
#include "upgrade/db_upgrade_pos.h"

int main(int argc, char** argv) {
  // The connection object reaches SQL Server through the ODBC client.
  rt::install_odbc_driver();
  rt::Win32Backend backend;
  return upgrade::run_schemalift(backend, rt::command_line_text(argc, argv));
}
