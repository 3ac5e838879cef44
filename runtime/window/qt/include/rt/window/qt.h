// The Qt 6 Widgets backend of the window layer: native windows and
// controls, the Qt event loop, and the user-interface services (modal
// message boxes, the beep, the hourglass pointer). Texts are GBK inside and
// UTF-8 at Qt's edge.
#pragma once

#include <memory>

#include "rt/ui.h"
#include "rt/window/session.h"

class QWidget;
class QIcon;

namespace rt {

class QtBackend : public WindowBackend {
 public:
  // Uses the running QApplication, or makes one from the program's
  // arguments (Qt takes out the options meant for it).
  QtBackend(int& argc, char** argv);
  ~QtBackend() override;
  QtBackend(const QtBackend&) = delete;
  QtBackend& operator=(const QtBackend&) = delete;

  // The native window of an open window, and the widget of one of its
  // controls (named after the control); null when there is none.
  QWidget* native_window(const Window& w) const;
  QWidget* native_control(const Control& c) const;

  std::unique_ptr<WindowPeer> CreatePeer(Window& w, Session& session) override;
  void Post(std::function<void()> fn) override;
  void Run() override;
  void Quit() override;
  UiServices& Ui() override;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// Message boxes, beep and pointer through Qt.
class QtUi : public UiServices {
 public:
  int MessageBox(const std::string& title, const std::string& text, Icon icon, Buttons buttons) override;
  void Beep() override;
  Pointer SetPointer(Pointer p) override;

 private:
  Pointer pointer_ = Pointer::Arrow;
};

// The runtime's stock picture of a database, drawn at 16, 24, 32 and 48
// pixels.
QIcon database_icon();

}  // namespace rt
