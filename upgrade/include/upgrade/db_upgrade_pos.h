// The application object of schemalift: its globals and the events that
// start and end the program.
#pragma once

#include <string>

#include "rt/object.h"
#include "rt/window/application.h"
#include "rt/window/session.h"
#include "upgrade/w_db_upgrade.h"

namespace upgrade {

class db_upgrade_pos : public rt::Application {
 public:
  std::string class_name() const override { return "db_upgrade_pos"; }

  // Names the program's registry file for POSIX systems and makes the
  // globals: appname and the connection object sqlca.
  void create() override;
  // Opens the upgrade window; the command-line text is not read.
  void open(const rt::String& commandline) override;
  // Disconnects sqlca; the outcome is not looked at.
  void close() override;
  // Frees the globals.
  void destroy() override;

  // The window that open opens.
  rt::Ref<upgrade::w_db_upgrade> w_db_upgrade;
};

// True for a developer build of the program (the pack builder's controls
// are shown), false for the delivered program.
bool developer_build();

// How the program runs its application: inside the development
// environment (module handle 0) for a developer build, else as the built
// program.
rt::SessionOptions program_options();

// The whole program on a window backend; returns the exit code.
int run_schemalift(rt::WindowBackend& backend, const std::string& commandline);

}  // namespace upgrade
