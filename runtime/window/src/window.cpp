#include "rt/window/window.h"

#include <algorithm>

#include "rt/window/session.h"

namespace rt {

Window::~Window() {
  if (is_open()) {
    if (Session* s = Session::current()) s->forget(*this);
  }
  for (Control* c : control_) c->parent_ = nullptr;
}

void Window::attach(Control& c, std::string name) {
  if (c.parent_) c.parent_->detach(c);
  c.name_ = std::move(name);
  c.parent_ = this;
  control_.push_back(&c);
  control_changed(c);
}

void Window::detach(Control& c) {
  if (peer_) peer_->ControlRemoved(c);
  control_.erase(std::remove(control_.begin(), control_.end(), &c), control_.end());
  c.parent_ = nullptr;
}

std::vector<Control*> Window::tab_sequence() const {
  std::vector<Control*> seq;
  for (Control* c : control_)
    if (c->tab_order() > 0) seq.push_back(c);
  std::stable_sort(seq.begin(), seq.end(), [](const Control* a, const Control* b) {
    if (a->tab_order() != b->tab_order()) return a->tab_order() < b->tab_order();
    if (a->y() != b->y()) return a->y() < b->y();
    return a->x() < b->x();
  });
  return seq;
}

void Window::control_changed(Control& c) {
  if (peer_) peer_->ControlChanged(c);
}

void Window::window_changed() {
  if (peer_) peer_->WindowChanged();
}

void Window::set_title(const String& title) {
  title_ = title;
  window_changed();
}

void Window::resize(int width, int height) {
  width_ = width;
  height_ = height;
  window_changed();
}

void Window::set_back_colour(Colour c) {
  back_colour_ = c;
  window_changed();
}

void Window::set_icon(const std::string& name) {
  icon_ = name;
  window_changed();
}

void Window::set_frame(bool title_bar, bool control_menu, bool resizable) {
  title_bar_ = title_bar;
  control_menu_ = control_menu;
  resizable_ = resizable;
  window_changed();
}

}  // namespace rt
