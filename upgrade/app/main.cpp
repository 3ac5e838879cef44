// schemalift: brings a store's database up to the current version.
#include "rt/odbc.h"
#include "rt/window/qt.h"
#include "upgrade/db_upgrade_pos.h"

int main(int argc, char** argv) {
  // The connection object reaches SQL Server through the ODBC client.
  rt::install_odbc_driver();
  rt::QtBackend backend(argc, argv);
  return upgrade::run_schemalift(backend, rt::command_line_text(argc, argv));
}
