#include "rt/window/control.h"

#include <algorithm>

#include "rt/env.h"
#include "rt/window/window.h"

namespace rt {

Control::Control(ControlKind kind) : kind_(kind) {}

Control::~Control() {
  if (parent_) parent_->detach(*this);
}

std::string Control::class_name() const {
  switch (kind_) {
    case ControlKind::StaticText: return "statictext";
    case ControlKind::GroupBox: return "groupbox";
    case ControlKind::CheckBox: return "checkbox";
    case ControlKind::ListBox: return "listbox";
    case ControlKind::CommandButton: return "commandbutton";
  }
  return "control";
}

void Control::changed() {
  if (parent_) parent_->control_changed(*this);
}

void Control::set_text(const String& text) {
  text_ = text;
  changed();
}

void Control::move(int x, int y) {
  x_ = x;
  y_ = y;
  changed();
}

void Control::resize(int width, int height) {
  width_ = width;
  height_ = height;
  changed();
}

void Control::set_font(const Font& font) {
  font_ = font;
  changed();
}

void Control::set_text_colour(Colour c) {
  text_colour_ = c;
  changed();
}

void Control::set_back_colour(Colour c) {
  back_colour_ = c;
  changed();
}

void Control::set_border(bool on, int style) {
  border_ = on;
  border_style_ = style;
  changed();
}

void Control::set_alignment(int alignment) {
  alignment_ = alignment;
  changed();
}

void Control::set_tab_order(int order) {
  tab_order_ = order;
  changed();
}

void Control::set_visible(const Bool& on) {
  if (on.is_null()) return;
  visible_ = *on;
  changed();
}

void Control::set_enabled(const Bool& on) {
  if (on.is_null()) return;
  enabled_ = *on;
  changed();
}

void Control::trigger_clicked() {
  if (!clicked) return;
  // A copy: the handler may replace the control's handler while it runs.
  std::function<void()> handler = clicked;
  handler();
}

void CheckBox::set_checked(const Bool& on) {
  if (on.is_null()) return;
  checked_ = *on;
  changed();
}

void ListBox::set_scroll_bars(bool horizontal, bool vertical) {
  hscroll_ = horizontal;
  vscroll_ = vertical;
  changed();
}

void ListBox::set_sorted(bool on) {
  sorted_ = on;
  if (sorted_) std::sort(items_.begin(), items_.end());
  changed();
}

Bool ListBox::dir_list(const String& filespec, const UInt& filetype) {
  if (filespec.is_null() || filetype.is_null() || *filetype != 0) return false;
  Env* env = Env::Default();
  const std::string& path = *filespec;
  std::string separators = "/";
  separators += env->PathSeparator();
  std::size_t cut = path.find_last_of(separators);
  std::string dir = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
  std::string pattern = cut == std::string::npos ? path : path.substr(cut + 1);
  items_ = env->ListFiles(dir, pattern);  // in name order already
  changed();
  return true;
}

Int ListBox::total_items() const { return static_cast<std::int16_t>(items_.size()); }

String ListBox::item_text(const Int& n) const {
  if (n.is_null()) return null;
  if (*n < 1 || static_cast<std::size_t>(*n) > items_.size()) return std::string();
  return items_[static_cast<std::size_t>(*n) - 1];
}

Int ListBox::add_item(const String& item) {
  if (item.is_null()) return -1;
  auto at = sorted_ ? std::upper_bound(items_.begin(), items_.end(), *item) : items_.end();
  at = items_.insert(at, *item);
  changed();
  return static_cast<std::int16_t>(at - items_.begin() + 1);
}

Int ListBox::reset() {
  items_.clear();
  changed();
  return 1;
}

}  // namespace rt
