// schemalift: brings a store's database up to the current version.
#include "rt/window/qt.h"
#include "upgrade/db_upgrade_pos.h"

int main(int argc, char** argv) {
  rt::QtBackend backend(argc, argv);
  return upgrade::run_schemalift(backend, rt::command_line_text(argc, argv));
}
