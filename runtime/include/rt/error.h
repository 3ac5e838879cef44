// Numbered runtime errors.
//
// A runtime error that is not continued ends the routine in which it happens
// and every routine that called it, at once and without a result, up to the
// event that started the work. Routines here raise it as a C++ exception;
// the event dispatcher (rt::run_event) or a library entry point catches it.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "rt/export.h"

namespace rt {

inline constexpr int kErrDivideByZero = 20501;
inline constexpr int kErrNullObject = 20502;
inline constexpr int kErrArrayBounds = 20503;
inline constexpr int kErrBadArgument = 20504;
inline constexpr int kErrExternalFunction = 20505;

class RT_API RuntimeError : public std::exception {
 public:
  RuntimeError(int number, std::string text);
  int number() const noexcept { return number_; }
  const std::string& text() const noexcept { return text_; }
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  int number_;
  std::string text_;
  std::string what_;
};

// The runtime's own text for an error number ("" for an unknown number).
RT_API const char* error_text(int number);

[[noreturn]] RT_API void raise_error(int number);
[[noreturn]] RT_API void raise_error(int number, const std::string& text);

// Runs one event handler. A runtime error ends the handler; it is handed to
// the application's error hook (by default written to standard error) and
// copied into *report. Returns true when the handler ran to its end.
struct ErrorReport {
  int number = 0;
  std::string text;
};
RT_API bool run_event(const std::function<void()>& handler, ErrorReport* report = nullptr);

// The hook that sees every runtime error that ends an event.
using ErrorHook = std::function<void(const RuntimeError&)>;
RT_API void set_error_hook(ErrorHook hook);

}  // namespace rt
