// The window's list box as the pack builder's list: lets cb_get's click
// handling hand `lb_1` to cb_get_clicked.
#pragma once

#include "rt/window/control.h"
#include "upgrade/pack_builder.h"

namespace upgrade {

class ControlListBox : public FileListBox {
 public:
  explicit ControlListBox(rt::ListBox& lb) : lb_(lb) {}
  bool DirList(const rt::String& pattern, int file_type) override {
    return rt::test(lb_.dir_list(pattern, rt::UInt(static_cast<std::uint16_t>(file_type))));
  }
  int TotalItems() override { return lb_.total_items().value_or(0); }
  rt::String Text(int index) override { return lb_.item_text(rt::Int(static_cast<std::int16_t>(index))); }

 private:
  rt::ListBox& lb_;
};

}  // namespace upgrade
