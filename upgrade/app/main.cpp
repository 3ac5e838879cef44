// schemalift: brings a store's database up to the current version.
#include "rt/window/qt.h"
#include "upgrade/db_upgrade_pos.h"

#if SCHEMALIFT_WITH_ODBC
#include "rt/odbc.h"
#endif

int main(int argc, char** argv) {
#if SCHEMALIFT_WITH_ODBC
  // The connection object reaches SQL Server through the ODBC client.
  rt::install_odbc_driver();
#endif
  rt::QtBackend backend(argc, argv);
  return upgrade::run_schemalift(backend, rt::command_line_text(argc, argv));
}
