// Controls of a window: static text, group box, check box, list box and
// command button. A control holds its properties; while its window is open,
// every change is handed to the window's native side (its peer).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "rt/object.h"
#include "rt/text.h"
#include "rt/value.h"
#include "rt/window/look.h"

namespace rt {

class Window;

enum class ControlKind { StaticText, GroupBox, CheckBox, ListBox, CommandButton };

class Control : public Object {
 public:
  ~Control() override;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  std::string class_name() const override;
  ControlKind kind() const { return kind_; }
  // The name of the window's variable that holds the control ("cb_1").
  const std::string& name() const { return name_; }
  Window* parent() const { return parent_; }

  // Text (GBK), with "&" accelerators for buttons and check boxes.
  const String& text() const { return text_; }
  void set_text(const String& text);

  // Position and size in layout units, from the top left corner of the
  // window's client area.
  int x() const { return x_; }
  int y() const { return y_; }
  int width() const { return width_; }
  int height() const { return height_; }
  void move(int x, int y);
  void resize(int width, int height);

  const Font& font() const { return font_; }
  void set_font(const Font& font);

  // Colours; unset means the default colours of the control's kind.
  const std::optional<Colour>& text_colour() const { return text_colour_; }
  const std::optional<Colour>& back_colour() const { return back_colour_; }
  void set_text_colour(Colour c);
  void set_back_colour(Colour c);

  bool border() const { return border_; }
  int border_style() const { return border_style_; }
  int alignment() const { return alignment_; }
  void set_border(bool on, int style);
  void set_alignment(int alignment);

  // Tab order: 0 takes the control out of the tab sequence.
  int tab_order() const { return tab_order_; }
  void set_tab_order(int order);

  // NULL leaves the setting as it is.
  bool visible() const { return visible_; }
  void set_visible(const Bool& on);
  bool enabled() const { return enabled_; }
  void set_enabled(const Bool& on);

  // The clicked event: what the window does when the control is clicked.
  std::function<void()> clicked;
  // Runs the click handling now and returns when it has ended. A runtime
  // error inside it ends the calling event as well.
  void trigger_clicked();

 protected:
  explicit Control(ControlKind kind);
  // Hands a changed property to the window's peer.
  void changed();

 private:
  friend class Window;
  ControlKind kind_;
  std::string name_;
  Window* parent_ = nullptr;
  String text_ = std::string();
  int x_ = 0, y_ = 0, width_ = 0, height_ = 0;
  Font font_;
  std::optional<Colour> text_colour_, back_colour_;
  bool border_ = false;
  int border_style_ = kBorderPlain;
  int alignment_ = kAlignLeft;
  int tab_order_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
};

class StaticText : public Control {
 public:
  StaticText() : Control(ControlKind::StaticText) {}
};

class GroupBox : public Control {
 public:
  GroupBox() : Control(ControlKind::GroupBox) {}
};

class CommandButton : public Control {
 public:
  CommandButton() : Control(ControlKind::CommandButton) {}
};

class CheckBox : public Control {
 public:
  CheckBox() : Control(ControlKind::CheckBox) {}
  bool checked() const { return checked_; }
  void set_checked(const Bool& on);

 private:
  bool checked_ = false;
};

class ListBox : public Control {
 public:
  ListBox() : Control(ControlKind::ListBox) {}

  bool hscroll() const { return hscroll_; }
  bool vscroll() const { return vscroll_; }
  void set_scroll_bars(bool horizontal, bool vertical);
  // A sorted list box keeps its items in ascending byte order.
  bool sorted() const { return sorted_; }
  void set_sorted(bool on);

  // Replaces the items by the names of the ordinary files that match a path
  // pattern ("folder/*.sql"; without a folder, the current one), in name
  // order. File type 0 lists ordinary read-write files, the only type
  // offered. A folder that cannot be read lists nothing. False (and the
  // items unchanged) for a NULL pattern or another file type.
  Bool dir_list(const String& filespec, const UInt& filetype = UInt(0));
  // Number of items; the text of item n (1-based, "" out of range).
  Int total_items() const;
  String item_text(const Int& n) const;
  // Adds an item (at its sorted place in a sorted list); returns its number.
  Int add_item(const String& item);
  Int reset();
  const std::vector<std::string>& items() const { return items_; }

 private:
  bool hscroll_ = false, vscroll_ = true, sorted_ = true;
  std::vector<std::string> items_;
};

}  // namespace rt
