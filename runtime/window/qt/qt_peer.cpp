#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyleOptionGroupBox>
#include <QStylePainter>
#include <qdrawutil.h>
#include <algorithm>

#include "qt_internal.h"
#include "rt/text.h"

namespace rt {

namespace {

// The top-level window: its close box asks the runtime to close the window
// instead of closing it at once.
class NativeWindow : public QWidget {
 public:
  NativeWindow() : QWidget(nullptr, Qt::Window) {}
  std::function<void()> on_close_box;

 protected:
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    if (on_close_box) on_close_box();
  }
};

// A static text. Its layout height is often less than the line height of
// the font that stands in for the face; an underline that would fall below
// the control is drawn on its last row instead.
class StaticTextLabel : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent* e) override {
    QLabel::paintEvent(e);
    if (!font().underline() || text().isEmpty()) return;
    QFontMetrics m(font());
    QRect area = contentsRect();
    int top = area.top() + (area.height() - m.height()) / 2;
    int line = top + m.ascent() + m.underlinePos();
    if (line <= area.bottom()) return;  // Qt's own underline is visible
    int width = std::min(m.horizontalAdvance(text()), area.width());
    int left = area.left();
    if (alignment() & Qt::AlignHCenter) left += (area.width() - width) / 2;
    if (alignment() & Qt::AlignRight) left += area.width() - width;
    QPainter p(this);
    p.setPen(QPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText),
                  std::max(1, m.lineWidth())));
    p.drawLine(left, area.bottom(), left + width - 1, area.bottom());
  }
};

// A group box drawn as the desktop draws one: an etched line around an
// interior of the box's own background colour. The styles' group box
// panels shade the interior, which would set it apart from the window and
// from the static texts placed on it.
class GroupBoxFrame : public QGroupBox {
 public:
  using QGroupBox::QGroupBox;

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter p(this);
    QStyleOptionGroupBox opt;
    initStyleOption(&opt);
    QRect frame = style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxFrame, this);
    p.save();
    if (!opt.text.isEmpty()) {
      // The line stops on either side of the title.
      QRect label = style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, this);
      p.setClipRegion(QRegion(rect()).subtracted(label.adjusted(-2, 0, 2, 0)));
    }
    qDrawShadeRect(&p, frame, palette(), true, 1, 0);
    p.restore();
    opt.subControls &= ~QStyle::SC_GroupBoxFrame;
    p.drawComplexControl(QStyle::CC_GroupBox, opt);
  }
};

QString shown(const String& text) { return to_qt(display_text(text.value_or(std::string()))); }
QString with_accelerator(const String& text) { return to_qt(text.value_or(std::string())); }

void set_frame(QFrame* f, const Control& c) {
  if (!c.border()) {
    f->setFrameStyle(QFrame::NoFrame);
    return;
  }
  switch (c.border_style()) {
    case kBorderLowered: f->setFrameStyle(QFrame::WinPanel | QFrame::Sunken); break;
    case kBorderRaised: f->setFrameStyle(QFrame::WinPanel | QFrame::Raised); break;
    case kBorderShadowBox: f->setFrameStyle(QFrame::Box | QFrame::Raised); break;
    default: f->setFrameStyle(QFrame::Box | QFrame::Plain); break;
  }
}

}  // namespace

QString to_qt(const std::string& gbk_text) { return QString::fromStdString(utf8(gbk_text)); }

QColor to_qt_colour(Colour c) {
  if (auto sys = system_colour(c)) {
    QPalette desktop = QApplication::palette();
    return *sys == SystemColour::WindowText ? desktop.color(QPalette::WindowText) : desktop.color(QPalette::Button);
  }
  Rgb v = rgb_of(c);
  return QColor(v.r, v.g, v.b);
}

QFont to_qt_font(const Font& f) {
  // The face first, then the faces that stand in for it on systems
  // without it, then any installed Chinese font.
  QString face = to_qt(f.face);
  QStringList families{face};
  if (face == QStringLiteral("宋体")) families << "SimSun" << "NSimSun" << "Noto Serif CJK SC" << "AR PL UMing CN";
  if (face == QStringLiteral("隶书")) families << "LiSu" << "STLiti";
  families << "WenQuanYi Zen Hei" << "Noto Sans CJK SC" << "Droid Sans Fallback";
  QFont q;
  q.setFamilies(families);
  q.setPixelSize(font_pixels(f.size));
  q.setWeight(static_cast<QFont::Weight>(std::clamp(f.weight, 1, 1000)));
  q.setItalic(f.italic);
  q.setUnderline(f.underline);
  return q;
}

QtPeer::QtPeer(Window& w, Session& s, QtBackend::Impl& backend) : window_(w), session_(s), backend_(backend) {
  auto* native = new NativeWindow;
  native->on_close_box = [this] { session_.request_close(window_); };
  native->setObjectName(QString::fromStdString(w.class_name()));
  widget_ = native;
  backend_.peers[&window_] = this;
  WindowChanged();
  for (Control* c : window_.control()) ControlChanged(*c);
  building_ = false;
  restack();
  apply_tab_order();
}

QtPeer::~QtPeer() {
  backend_.peers.erase(&window_);
  if (widget_) delete widget_.data();
}

QWidget* QtPeer::native(const Control& c) const {
  auto it = controls_.find(&c);
  return it == controls_.end() ? nullptr : it->second.data();
}

void QtPeer::Show() {
  if (!widget_) return;
  if (window_.centered()) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen) {
      QRect area = screen->availableGeometry();
      int outer_w = units_to_pixels(window_.width());
      int outer_h = units_to_pixels(window_.height());
      widget_->move(area.x() + (area.width() - outer_w) / 2, area.y() + (area.height() - outer_h) / 2);
    }
  }
  widget_->show();
  widget_->activateWindow();
  std::vector<Control*> tabs = window_.tab_sequence();
  for (Control* c : tabs) {
    QWidget* w = native(*c);
    if (w && w->isEnabled() && w->isVisibleTo(widget_) && w->focusPolicy() != Qt::NoFocus) {
      w->setFocus();
      break;
    }
  }
}

void QtPeer::WindowChanged() {
  if (!widget_) return;
  widget_->setWindowTitle(to_qt(window_.title().value_or(std::string())));
  Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint;
  if (window_.title_bar()) flags |= Qt::WindowTitleHint;
  if (window_.control_menu()) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (widget_->windowFlags() != flags) {
    // New flags hide a shown window; it comes back where it was.
    bool was_visible = widget_->isVisible();
    widget_->setWindowFlags(flags);
    if (was_visible) widget_->show();
  }
  // The size follows the window's own size only when that changes, so a
  // size the user gave it stays.
  QSize units(window_.width(), window_.height());
  if (units != applied_size_ || window_.resizable() != applied_resizable_) {
    applied_size_ = units;
    applied_resizable_ = window_.resizable();
    int client_w = units_to_pixels(window_.width()) - 2 * kFramePixels;
    int client_h =
        units_to_pixels(window_.height()) - 2 * kFramePixels - (window_.title_bar() ? kCaptionPixels : 0);
    if (window_.resizable()) {
      widget_->setMinimumSize(0, 0);
      widget_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
      widget_->resize(client_w, client_h);
    } else {
      widget_->setFixedSize(client_w, client_h);
    }
  }
  QPalette pal = QApplication::palette();
  pal.setColor(QPalette::Window, to_qt_colour(window_.back_colour()));
  widget_->setPalette(pal);
  widget_->setAutoFillBackground(true);
  widget_->setWindowIcon(window_.icon() == kIconDatabase ? database_icon() : QIcon());
}

QWidget* QtPeer::make(Control& c) {
  QWidget* w = nullptr;
  switch (c.kind()) {
    case ControlKind::StaticText: {
      auto* label = new StaticTextLabel(widget_);
      label->setTextFormat(Qt::PlainText);
      w = label;
      break;
    }
    case ControlKind::GroupBox: w = new GroupBoxFrame(widget_); break;
    case ControlKind::CheckBox: {
      auto* box = new QCheckBox(widget_);
      QObject::connect(box, &QCheckBox::clicked, box, [this, &c] {
        if (!session_.user_click(c)) ControlChanged(c);
      });
      w = box;
      break;
    }
    case ControlKind::ListBox: {
      auto* list = new QListWidget(widget_);
      list->setSortingEnabled(false);
      w = list;
      break;
    }
    case ControlKind::CommandButton: {
      auto* button = new QPushButton(widget_);
      button->setAutoDefault(false);
      QObject::connect(button, &QPushButton::clicked, button, [this, &c] { session_.user_click(c); });
      w = button;
      break;
    }
  }
  w->setObjectName(QString::fromStdString(c.name()));
  controls_[&c] = w;
  return w;
}

void QtPeer::apply(Control& c, QWidget* w) {
  w->setGeometry(units_to_pixels(c.x()), units_to_pixels(c.y()), units_to_pixels(c.width()),
                 units_to_pixels(c.height()));
  w->setFont(to_qt_font(c.font()));

  QPalette pal = QApplication::palette();
  if (c.text_colour()) {
    QColor fg = to_qt_colour(*c.text_colour());
    pal.setColor(QPalette::WindowText, fg);
    pal.setColor(QPalette::ButtonText, fg);
    pal.setColor(QPalette::Text, fg);
  }
  if (c.back_colour()) {
    QColor bg = to_qt_colour(*c.back_colour());
    pal.setColor(QPalette::Window, bg);
    pal.setColor(QPalette::Button, bg);
    if (c.kind() == ControlKind::ListBox) pal.setColor(QPalette::Base, bg);
  } else if (c.kind() == ControlKind::StaticText || c.kind() == ControlKind::GroupBox) {
    // No colour of its own: the window's shows through.
    pal.setColor(QPalette::Window, to_qt_colour(window_.back_colour()));
  }
  w->setPalette(pal);
  w->setAutoFillBackground(c.back_colour().has_value() && c.kind() != ControlKind::ListBox);

  switch (c.kind()) {
    case ControlKind::StaticText: {
      auto* label = static_cast<QLabel*>(w);
      label->setText(shown(c.text()));
      Qt::Alignment h = c.alignment() == kAlignCenter  ? Qt::AlignHCenter
                        : c.alignment() == kAlignRight ? Qt::AlignRight
                                                       : Qt::AlignLeft;
      label->setAlignment(h | Qt::AlignVCenter);
      set_frame(label, c);
      break;
    }
    case ControlKind::GroupBox: static_cast<QGroupBox*>(w)->setTitle(with_accelerator(c.text())); break;
    case ControlKind::CheckBox: {
      auto* box = static_cast<QCheckBox*>(w);
      QSignalBlocker block(box);
      box->setText(with_accelerator(c.text()));
      box->setChecked(static_cast<CheckBox&>(c).checked());
      break;
    }
    case ControlKind::ListBox: {
      auto* list = static_cast<QListWidget*>(w);
      auto& lb = static_cast<ListBox&>(c);
      QStringList items;
      for (const std::string& item : lb.items()) items << to_qt(item);
      bool same = list->count() == items.size();
      for (int i = 0; same && i < items.size(); ++i) same = list->item(i)->text() == items[i];
      if (!same) {
        QSignalBlocker block(list);
        list->clear();
        list->addItems(items);
      }
      list->setHorizontalScrollBarPolicy(lb.hscroll() ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
      list->setVerticalScrollBarPolicy(lb.vscroll() ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
      if (c.border()) list->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
      else list->setFrameStyle(QFrame::NoFrame);
      break;
    }
    case ControlKind::CommandButton: static_cast<QPushButton*>(w)->setText(with_accelerator(c.text())); break;
  }

  if (c.kind() == ControlKind::CommandButton || c.kind() == ControlKind::CheckBox ||
      c.kind() == ControlKind::ListBox)
    w->setFocusPolicy(c.tab_order() > 0 ? Qt::StrongFocus : Qt::ClickFocus);
  w->setEnabled(c.enabled());
  w->setHidden(!c.visible());
}

void QtPeer::ControlChanged(Control& c) {
  if (!widget_) return;
  QWidget* w = native(c);
  bool fresh = !w;
  if (fresh) w = make(c);
  apply(c, w);
  if (!building_) {
    if (fresh) restack();
    apply_tab_order();
  }
}

void QtPeer::ControlRemoved(Control& c) {
  auto it = controls_.find(&c);
  if (it == controls_.end()) return;
  if (QWidget* w = it->second.data()) {
    w->disconnect();
    w->hide();
    w->deleteLater();
  }
  controls_.erase(it);
}

void QtPeer::restack() {
  // The first control in declaration order lies on top of the later ones.
  const auto& all = window_.control();
  for (auto it = all.rbegin(); it != all.rend(); ++it)
    if (QWidget* w = native(**it)) w->raise();
}

void QtPeer::apply_tab_order() {
  QWidget* previous = nullptr;
  for (Control* c : window_.tab_sequence()) {
    QWidget* w = native(*c);
    if (!w || w->focusPolicy() == Qt::NoFocus) continue;
    if (previous) QWidget::setTabOrder(previous, w);
    previous = w;
  }
}

void QtPeer::Close() {
  for (auto& [c, w] : controls_)
    if (w) w->disconnect();
  controls_.clear();
  if (widget_) {
    QWidget* w = widget_.data();
    static_cast<NativeWindow*>(w)->on_close_box = nullptr;
    w->hide();
    w->deleteLater();
    widget_.clear();
  }
}

}  // namespace rt
