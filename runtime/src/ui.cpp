#include "rt/ui.h"

#include <cstdio>

namespace rt {

namespace {
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

int StderrUi::MessageBox(const std::string& title, const std::string& text, Icon, Buttons) {
  std::fprintf(stderr, "[%s] %s\n", utf8(title).c_str(), utf8(text).c_str());
  return 1;
}

Pointer StderrUi::SetPointer(Pointer p) {
  Pointer old = pointer_;
  pointer_ = p;
  return old;
}

int RecordingUi::MessageBox(const std::string& title, const std::string& text, Icon icon, Buttons buttons) {
  Event e{Event::Box, title, text, icon, buttons, pointer_};
  events_.push_back(std::move(e));
  return 1;
}

void RecordingUi::Beep() { events_.push_back(Event{Event::Beep, {}, {}, Icon::Information, Buttons::Ok, pointer_}); }

Pointer RecordingUi::SetPointer(Pointer p) {
  Pointer old = pointer_;
  pointer_ = p;
  events_.push_back(Event{Event::PointerSet, {}, {}, Icon::Information, Buttons::Ok, p});
  return old;
}

std::vector<RecordingUi::Event> RecordingUi::boxes() const {
  std::vector<Event> r;
  for (const auto& e : events_)
    if (e.kind == Event::Box) r.push_back(e);
  return r;
}

int RecordingUi::beeps() const {
  int n = 0;
  for (const auto& e : events_)
    if (e.kind == Event::Beep) ++n;
  return n;
}

}  // namespace rt
