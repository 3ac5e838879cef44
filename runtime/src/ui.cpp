#include "rt/ui.h"

#include <cstdio>

namespace rt {

namespace {
// Writes each box to standard error (programs without a window).
class StderrUi : public UiServices {
 public:
  int MessageBox(const std::string& title, const std::string& text, Icon, Buttons) override {
    std::fprintf(stderr, "[%s] %s\n", utf8(title).c_str(), utf8(text).c_str());
    return 1;
  }
  void Beep() override {}
  Pointer SetPointer(Pointer p) override {
    Pointer old = pointer_;
    pointer_ = p;
    return old;
  }

 private:
  Pointer pointer_ = Pointer::Arrow;
};

StderrUi& default_ui() {
  static StderrUi d;
  return d;
}
UiServices*& current() {
  static UiServices* c = nullptr;
  return c;
}
}  // namespace

UiServices* ui() { return current() ? current() : &default_ui(); }
void set_ui(UiServices* services) { current() = services; }

Int messagebox(const String& title, const String& text) {
  return messagebox(title, text, Icon::Information, Buttons::Ok);
}

Int messagebox(const String& title, const String& text, Icon icon, Buttons buttons) {
  if (title.is_null() || text.is_null()) return -1;
  return static_cast<std::int16_t>(ui()->MessageBox(*title, *text, icon, buttons));
}

void beep(const Int& times) {
  if (times.is_null()) return;
  for (int i = 0; i < *times; ++i) ui()->Beep();
}

Pointer set_pointer(Pointer p) { return ui()->SetPointer(p); }

}  // namespace rt
