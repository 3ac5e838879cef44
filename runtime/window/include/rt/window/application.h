// The application object: the program's first object, with the events that
// start and end a run.
#pragma once

#include <string>

#include "rt/object.h"
#include "rt/text.h"
#include "rt/value.h"

namespace rt {

class Application : public Object {
 public:
  std::string class_name() const override { return "application"; }

  String appname = std::string();

  // Events, fired by the runtime in this order: create (make the globals),
  // open (with the command-line text; opens the first window), close (the
  // last window has closed), destroy (free the globals).
  virtual void create() {}
  virtual void open(const String& commandline) { (void)commandline; }
  virtual void close() {}
  virtual void destroy() {}
};

// The module handle that a built program reports for its application;
// any nonzero value means "not inside the development environment".
inline constexpr std::uint32_t kProgramModuleHandle = 0x00400000;

// The running application, or nullptr outside a run.
Application* get_application();
// The module handle of the running application: 0 only inside the
// development environment; NULL for an object that is not running.
ULong handle(const Application* app);

}  // namespace rt
