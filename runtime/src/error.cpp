#include "rt/error.h"

#include <cstdio>
#include <utility>

namespace rt {

namespace {
ErrorHook& hook() {
  static ErrorHook h;
  return h;
}
}  // namespace

RuntimeError::RuntimeError(int number, std::string text)
    : number_(number), text_(std::move(text)), what_("runtime error " + std::to_string(number) + ": " + text_) {}

const char* error_text(int number) {
  switch (number) {
    case kErrDivideByZero: return "Divide by zero";
    case kErrNullObject: return "Null object reference";
    case kErrArrayBounds: return "Array boundary exceeded";
    case kErrBadArgument: return "Invalid argument";
    case kErrExternalFunction: return "Error calling external function";
    default: return "";
  }
}

void raise_error(int number) { throw RuntimeError(number, error_text(number)); }
void raise_error(int number, const std::string& text) { throw RuntimeError(number, text); }

void set_error_hook(ErrorHook h) { hook() = std::move(h); }

bool run_event(const std::function<void()>& handler, ErrorReport* report) {
  try {
    handler();
    return true;
  } catch (const RuntimeError& e) {
    if (report) *report = ErrorReport{e.number(), e.text()};
    if (hook()) {
      hook()(e);
    } else {
      std::fprintf(stderr, "%s\n", e.what());
    }
    return false;
  }
}

}  // namespace rt
