// A window: its properties, its controls in declaration order and its
// events. A window class derives from Window, makes its controls in its
// create event (add) and gives each control its clicked handler.
#pragma once

#include <string>
#include <vector>

#include "rt/object.h"
#include "rt/text.h"
#include "rt/window/control.h"
#include "rt/window/look.h"

namespace rt {

class WindowPeer;
class Session;

// The stock picture of a database, a window icon name.
inline constexpr const char* kIconDatabase = "Database!";

class Window : public Object {
 public:
  Window() = default;
  ~Window() override;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  std::string class_name() const override { return "window"; }

  // Properties. Sizes are the outer size in layout units.
  const String& title() const { return title_; }
  void set_title(const String& title);
  int width() const { return width_; }
  int height() const { return height_; }
  void resize(int width, int height);
  Colour back_colour() const { return back_colour_; }
  void set_back_colour(Colour c);
  const std::string& icon() const { return icon_; }
  void set_icon(const std::string& name);
  bool title_bar() const { return title_bar_; }
  bool control_menu() const { return control_menu_; }
  bool resizable() const { return resizable_; }
  void set_frame(bool title_bar, bool control_menu, bool resizable);
  // Placed in the middle of the screen when it opens.
  bool centered() const { return centered_; }
  void set_centered(bool on) { centered_ = on; }

  // The controls, in declaration order.
  const std::vector<Control*>& control() const { return control_; }
  // The controls that the Tab key visits (tab order above 0), by tab order;
  // equal values in reading order: top to bottom, then left to right.
  std::vector<Control*> tab_sequence() const;

  // Events, fired by the runtime: create makes the controls, destroy
  // destroys them, open runs once the window exists and before it is shown,
  // close runs when the window closes (before destroy).
  virtual void create() {}
  virtual void destroy() {}
  virtual void open() {}
  virtual void close() {}

  bool is_open() const { return open_serial_ != 0; }
  WindowPeer* peer() const { return peer_; }

  // Called by a control whose property changed, and by the window's own
  // setters: hands the change to the peer of an open window.
  void control_changed(Control& c);

 protected:
  // Creates a control of class T into its variable and appends it to the
  // control array under the variable's name.
  template <class T>
  T& add(Ref<T>& var, const char* name) {
    var = rt::create<T>();
    attach(*var, name);
    return *var;
  }

 private:
  friend class Control;
  friend class Session;
  void attach(Control& c, std::string name);
  void detach(Control& c);
  void window_changed();

  String title_ = std::string();
  int width_ = 0, height_ = 0;
  Colour back_colour_ = rgb(192, 192, 192);
  std::string icon_;
  bool title_bar_ = true, control_menu_ = true, resizable_ = false, centered_ = false;
  std::vector<Control*> control_;
  WindowPeer* peer_ = nullptr;
  unsigned long open_serial_ = 0;
  int busy_ = 0;             // handlers of this window on the stack
  bool close_pending_ = false;
};

}  // namespace rt
