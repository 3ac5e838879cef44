#include "rt/testing/recording_ui.h"

#include <utility>

namespace rt {

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
