// User-interface services for tests: every box, beep and pointer change is
// kept in order, and a box answers OK at once.
#pragma once

#include <string>
#include <vector>

#include "rt/ui.h"

namespace rt {

class RecordingUi : public UiServices {
 public:
  struct Event {
    enum Kind { Box, Beep, PointerSet } kind;
    std::string title;  // GBK
    std::string text;   // GBK
    Icon icon = Icon::Information;
    Buttons buttons = Buttons::Ok;
    Pointer pointer = Pointer::Arrow;
  };
  int MessageBox(const std::string& title, const std::string& text, Icon icon,
                 Buttons buttons) override;
  void Beep() override;
  Pointer SetPointer(Pointer p) override;

  const std::vector<Event>& events() const { return events_; }
  std::vector<Event> boxes() const;
  int beeps() const;
  Pointer pointer() const { return pointer_; }
  void clear() { events_.clear(); }

 private:
  std::vector<Event> events_;
  Pointer pointer_ = Pointer::Arrow;
};

}  // namespace rt
