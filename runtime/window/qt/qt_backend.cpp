#include <QApplication>
#include <QMetaObject>

#include "qt_internal.h"

namespace rt {

QtBackend::QtBackend(int& argc, char** argv) : impl_(std::make_unique<Impl>()) {
  if (!QApplication::instance()) impl_->owned_app = std::make_unique<QApplication>(argc, argv);
  // The runtime decides when the program ends: when its last window closed.
  QApplication::setQuitOnLastWindowClosed(false);
}

QtBackend::~QtBackend() {
  impl_->peers.clear();
  impl_->owned_app.reset();
}

QWidget* QtBackend::native_window(const Window& w) const {
  auto it = impl_->peers.find(&w);
  return it == impl_->peers.end() ? nullptr : it->second->native();
}

QWidget* QtBackend::native_control(const Control& c) const {
  if (!c.parent()) return nullptr;
  auto it = impl_->peers.find(c.parent());
  return it == impl_->peers.end() ? nullptr : it->second->native(c);
}

std::unique_ptr<WindowPeer> QtBackend::CreatePeer(Window& w, Session& session) {
  return std::make_unique<QtPeer>(w, session, *impl_);
}

void QtBackend::Post(std::function<void()> fn) {
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

void QtBackend::Run() {
  if (impl_->quit_requested) return;
  impl_->in_loop = true;
  QApplication::exec();
  impl_->in_loop = false;
}

void QtBackend::Quit() {
  impl_->quit_requested = true;
  if (impl_->in_loop) QCoreApplication::exit(0);
}

UiServices& QtBackend::Ui() { return impl_->ui; }

}  // namespace rt
