// User-interface services of the runtime: message boxes, the beep and the
// mouse pointer. A window backend (Qt, Win32) implements them; programs
// without a window get a default that writes boxes to standard error.
#pragma once

#include <string>

#include "rt/export.h"
#include "rt/text.h"

namespace rt {

enum class Pointer { Arrow, HourGlass };

// Icon and button codes of the four-argument message box.
enum class Icon { Information = 0, StopSign = 1, Exclamation = 2, Question = 3, None = 4 };
enum class Buttons { Ok = 0, OkCancel = 1, YesNo = 2, YesNoCancel = 3, RetryCancel = 4, AbortRetryIgnore = 5 };

class RT_API UiServices {
 public:
  virtual ~UiServices() = default;
  // Shows a modal box; title and text are GBK. Returns the number of the
  // button chosen (1 for OK).
  virtual int MessageBox(const std::string& title, const std::string& text, Icon icon,
                         Buttons buttons) = 0;
  virtual void Beep() = 0;
  // Sets the pointer and returns the one it replaces.
  virtual Pointer SetPointer(Pointer p) = 0;
};

RT_API UiServices* ui();
// Installs the services for the process; nullptr restores the default.
RT_API void set_ui(UiServices* services);

// The runtime's message box and beep functions.
RT_API Int messagebox(const String& title, const String& text);
RT_API Int messagebox(const String& title, const String& text, Icon icon, Buttons buttons);
RT_API void beep(const Int& times = Int(1));
RT_API Pointer set_pointer(Pointer p);

// Installs a services object for the life of a scope.
class ScopedUi {
 public:
  explicit ScopedUi(UiServices* s) : prev_(ui()) { set_ui(s); }
  ~ScopedUi() { set_ui(prev_); }
  ScopedUi(const ScopedUi&) = delete;
  ScopedUi& operator=(const ScopedUi&) = delete;

 private:
  UiServices* prev_;
};

}  // namespace rt
