#include "upgrade/db_upgrade_pos.h"

#include "rt/registry.h"
#include "rt/transaction.h"
#include "upgrade/globals.h"

namespace upgrade {

void db_upgrade_pos::create() {
  // Where the store's settings are kept on a system without a registry:
  // the file SCHEMALIFT_REGISTRY names, else the system-wide one.
  rt::set_registry_file({"SCHEMALIFT_REGISTRY", "/etc/schemalift/registry.ini"});
  appname = std::string("db_upgrade_pos");
  sqlca = rt::create<rt::transaction>();
}

void db_upgrade_pos::open(const rt::String& commandline) {
  (void)commandline;
  rt::open(w_db_upgrade);
}

void db_upgrade_pos::close() {
  if (sqlca) sqlca->disconnect();
}

void db_upgrade_pos::destroy() {
  if (sqlca) rt::destroy(sqlca);
}

bool developer_build() {
#if defined(SCHEMALIFT_DEVELOPER_BUILD) && SCHEMALIFT_DEVELOPER_BUILD
  return true;
#else
  return false;
#endif
}

rt::SessionOptions program_options() {
  rt::SessionOptions o;
  o.module_handle = developer_build() ? 0u : rt::kProgramModuleHandle;
  return o;
}

int run_schemalift(rt::WindowBackend& backend, const std::string& commandline) {
  db_upgrade_pos app;
  return rt::run_application(app, backend, commandline, program_options());
}

}  // namespace upgrade
