#include <QApplication>
#include <QMessageBox>

#include "qt_internal.h"

namespace rt {

namespace {

QMessageBox::Icon qt_icon(Icon icon) {
  switch (icon) {
    case Icon::Information: return QMessageBox::Information;
    case Icon::StopSign: return QMessageBox::Critical;
    case Icon::Exclamation: return QMessageBox::Warning;
    case Icon::Question: return QMessageBox::Question;
    case Icon::None: return QMessageBox::NoIcon;
  }
  return QMessageBox::NoIcon;
}

// The buttons of a box in the order whose position is the box's result.
std::vector<QMessageBox::StandardButton> qt_buttons(Buttons b) {
  switch (b) {
    case Buttons::Ok: return {QMessageBox::Ok};
    case Buttons::OkCancel: return {QMessageBox::Ok, QMessageBox::Cancel};
    case Buttons::YesNo: return {QMessageBox::Yes, QMessageBox::No};
    case Buttons::YesNoCancel: return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    case Buttons::RetryCancel: return {QMessageBox::Retry, QMessageBox::Cancel};
    case Buttons::AbortRetryIgnore: return {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore};
  }
  return {QMessageBox::Ok};
}

}  // namespace

int QtUi::MessageBox(const std::string& title, const std::string& text, Icon icon, Buttons buttons) {
  std::vector<QMessageBox::StandardButton> order = qt_buttons(buttons);
  QMessageBox::StandardButtons set;
  for (auto b : order) set |= b;
  QMessageBox box(qt_icon(icon), to_qt(title), to_qt(text), set, QApplication::activeWindow());
  box.setWindowModality(Qt::ApplicationModal);
  int answer = box.exec();
  for (std::size_t i = 0; i < order.size(); ++i)
    if (answer == order[i]) return static_cast<int>(i) + 1;
  // Closed without a button: the last one (Cancel where there is one).
  return static_cast<int>(order.size());
}

void QtUi::Beep() { QApplication::beep(); }

Pointer QtUi::SetPointer(Pointer p) {
  Pointer old = pointer_;
  if (p == Pointer::HourGlass && old != Pointer::HourGlass) QApplication::setOverrideCursor(Qt::WaitCursor);
  if (p != Pointer::HourGlass && old == Pointer::HourGlass) QApplication::restoreOverrideCursor();
  pointer_ = p;
  return old;
}

}  // namespace rt
