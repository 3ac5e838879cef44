// Inside the Qt backend: the peer of one window and the backend's state.
#pragma once

#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>

#include "rt/window/qt.h"

class QApplication;

namespace rt {

QString to_qt(const std::string& gbk_text);
QColor to_qt_colour(Colour c);
QFont to_qt_font(const Font& f);

class QtPeer : public WindowPeer {
 public:
  QtPeer(Window& w, Session& s, QtBackend::Impl& backend);
  ~QtPeer() override;

  void Show() override;
  void WindowChanged() override;
  void ControlChanged(Control& c) override;
  void ControlRemoved(Control& c) override;
  void Close() override;

  QWidget* native() const { return widget_; }
  QWidget* native(const Control& c) const;

 private:
  QWidget* make(Control& c);
  void apply(Control& c, QWidget* w);
  void restack();
  void apply_tab_order();

  Window& window_;
  Session& session_;
  QtBackend::Impl& backend_;
  QPointer<QWidget> widget_;
  std::map<const Control*, QPointer<QWidget>> controls_;
  bool building_ = true;
  QSize applied_size_;
  bool applied_resizable_ = false;
};

struct QtBackend::Impl {
  std::unique_ptr<QApplication> owned_app;
  QtUi ui;
  std::map<const Window*, QtPeer*> peers;
  bool quit_requested = false;
  bool in_loop = false;
};

}  // namespace rt
