// The upgrade window as Qt shows it: every control's kind, text, geometry,
// font and colours, the two modes, the boxes of a failed connection, the
// ways out, and the screenshots of both modes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>

#include "rt/window/qt.h"
#include "rt/window/session.h"
#include "support/fake_database.h"
#include "support/scoped.h"
#include "support/temp_dir.h"
#include "upgrade/db_upgrade_pos.h"
#include "upgrade/globals.h"

namespace {

using testing_support::DbOp;
using testing_support::FakeDatabase;

bool pump_until(const std::function<bool()>& done, int ms = 10000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

struct Expected {
  const char* name;
  const char* qt_class;
  const char* text;  // as the control holds it, "" for none
  int x, y, w, h;
  const char* face;
  int points;
  bool bold, underline;
  std::optional<QColor> fg, bg;
  bool developer_only;
};

const QColor kRed(255, 0, 0), kBlue(0, 0, 255), kLightBlue(166, 202, 240), kGrey(206, 207, 206);

std::vector<Expected> table() {
  QColor text = QApplication::palette().color(QPalette::WindowText);
  QColor face = QApplication::palette().color(QPalette::Button);
  return {
      {"st_5", "QLabel", "升级数据库之前，其他电脑不要进行业务操作，升级完后在重新进入软件", 187, 448, 1915, 52, "宋体", 10,
       false, false, kRed, kGrey, false},
      {"st_4", "QLabel", "更新日期：", 1367, 380, 302, 52, "宋体", 10, false, false, kRed, kGrey, false},
      {"st_8", "QLabel", "专卖店管理系统", 32, 88, 2171, 164, "隶书", 28, false, false, kBlue, kLightBlue, false},
      {"st_7", "QLabel", "", 18, 4, 2194, 312, "宋体", 11, false, false, kBlue, kLightBlue, false},
      {"cbx_proc", "QCheckBox", "Proc&&Trigger", 663, 768, 466, 76, "宋体", 9, true, false, text, face, true},
      {"lb_1", "QListWidget", "", 1335, 596, 846, 476, "宋体", 10, false, false, text, std::nullopt, true},
      {"cb_put", "QPushButton", "put", 366, 764, 288, 92, "宋体", 10, false, false, std::nullopt, std::nullopt, true},
      {"cb_get", "QPushButton", "get", 64, 764, 288, 92, "宋体", 10, false, false, std::nullopt, std::nullopt, true},
      {"st_3", "QLabel", "2019-01-19", 1719, 380, 457, 52, "宋体", 10, true, true, kRed, kGrey, false},
      {"st_2", "QLabel", "运行本程序前，请先备份数据库！", 178, 644, 905, 52, "宋体", 10, false, false, text, kGrey, false},
      {"st_1", "QLabel", "此程序把用户数据库升级到最新版本，并保留其原有数据。", 187, 544, 1559, 52, "宋体", 10, false,
       false, text, kGrey, false},
      {"cb_2", "QPushButton", "退出(&E)", 1358, 1172, 439, 96, "宋体", 10, false, false, std::nullopt, std::nullopt,
       false},
      {"cb_1", "QPushButton", "数据库升级(&U)", 114, 1172, 439, 96, "宋体", 10, false, false, std::nullopt,
       std::nullopt, false},
      {"gb_1", "QGroupBox", "", 23, 320, 2194, 804, "宋体", 10, false, false, text, kGrey, false},
  };
}

QString widget_text(QWidget* w) {
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  return QString();
}

int px(int units) { return rt::units_to_pixels(units); }

class QtWindow : public ::testing::Test {
 protected:
  testing_support::TempDir dir;
  FakeDatabase server;
  std::unique_ptr<testing_support::ScopedEnvVar> registry;
  int argc = 1;
  char arg0[8] = "test";
  char* argv[2] = {arg0, nullptr};
  rt::QtBackend backend{argc, argv};
  upgrade::db_upgrade_pos app;
  std::unique_ptr<rt::Session> session;

  void SetUp() override {
    server.kind = "MSS";
    server.server_name = "127.0.0.1,1433";
    registry = std::make_unique<testing_support::ScopedEnvVar>(
        "SCHEMALIFT_REGISTRY",
        dir.write("registry.ini", "[SOFTWARE\\tandrel]\nSERVERNAME=127.0.0.1,1433\nDATABASE=store\n"));
  }
  void TearDown() override { session.reset(); }

  upgrade::w_db_upgrade& start(rt::ULong handle) {
    rt::SessionOptions o;
    o.module_handle = handle;
    session = std::make_unique<rt::Session>(app, backend, o);
    session->start(std::string());
    EXPECT_TRUE(pump_until([&] { return server.log.size() >= 3; }));
    return *app.w_db_upgrade;
  }

  QWidget* native(const rt::Control& c) { return backend.native_control(c); }

  void save_screenshot(const upgrade::w_db_upgrade& w, const QString& file) {
    QWidget* top = backend.native_window(w);
    ASSERT_NE(top, nullptr);
    pump_until([] { return false; }, 200);  // let it paint
    QPixmap shot = top->grab();
    ASSERT_FALSE(shot.isNull());
    expect_one_grey(w, shot.toImage());
    QDir().mkpath(SCREENSHOT_DIR);
    EXPECT_TRUE(shot.save(QString(SCREENSHOT_DIR) + "/" + file));
    // SCHEMALIFT_SCREENSHOTS=<folder> also refreshes the published copies.
    if (const char* out = std::getenv("SCHEMALIFT_SCREENSHOTS")) {
      QDir().mkpath(out);
      EXPECT_TRUE(shot.save(QString(out) + "/" + file));
    }
  }

  // The frame and the static texts on it show the window's grey, so that
  // no panel of another shade stands out behind a text.
  void expect_one_grey(const upgrade::w_db_upgrade& w, const QImage& shot) {
    qreal ratio = shot.devicePixelRatio();
    auto colour_at = [&](QPoint p) {
      return shot.pixelColor(qRound(p.x() * ratio), qRound(p.y() * ratio)).name().toStdString();
    };
    const std::string grey = kGrey.name().toStdString();
    EXPECT_EQ(colour_at(QPoint(px(1000), px(1000))), grey) << "inside gb_1";
    EXPECT_EQ(colour_at(QPoint(px(300), px(1150))), grey) << "the window below gb_1";
    for (const rt::StaticText* text : {w.st_1.get(), w.st_2.get(), w.st_4.get(), w.st_5.get()}) {
      QRect r = native(*text)->geometry();
      // Right of the text, which is aligned left.
      EXPECT_EQ(colour_at(QPoint(r.right() - 1, r.center().y())), grey) << text->name();
    }
  }

  void check_controls(upgrade::w_db_upgrade& w, bool developer) {
    QWidget* top = backend.native_window(w);
    ASSERT_NE(top, nullptr);
    std::vector<Expected> want = table();
    ASSERT_EQ(w.control().size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
      const Expected& e = want[i];
      SCOPED_TRACE(e.name);
      rt::Control* c = w.control()[i];
      EXPECT_EQ(c->name(), e.name);
      QWidget* q = native(*c);
      ASSERT_NE(q, nullptr);
      EXPECT_EQ(q->objectName(), e.name);
      EXPECT_EQ(q->parentWidget(), top);
      EXPECT_STREQ(q->metaObject()->className(), e.qt_class);
      EXPECT_EQ(*c->text(), rt::gbk(e.text));
      // Labels show the text without accelerator marks; buttons keep them
      // for Qt, which follows the same "&" convention.
      QString shown = QString::fromUtf8(e.text);
      if (qobject_cast<QLabel*>(q)) shown = QString::fromStdString(rt::utf8(rt::display_text(rt::gbk(e.text))));
      EXPECT_EQ(widget_text(q), shown);
      EXPECT_EQ(q->geometry(), QRect(px(e.x), px(e.y), px(e.w), px(e.h)));
      EXPECT_EQ(q->isVisibleTo(top), developer || !e.developer_only);
      EXPECT_TRUE(q->isEnabled());

      QFont f = q->font();
      EXPECT_EQ(f.families().value(0), QString::fromUtf8(e.face));
      EXPECT_EQ(f.pixelSize(), rt::font_pixels(e.points));
      EXPECT_EQ(f.bold(), e.bold);
      EXPECT_EQ(f.underline(), e.underline);
      // The face falls back to an installed font that has the characters.
      QFontMetrics metrics(f);
      for (QChar ch : widget_text(q)) {
        if (ch.unicode() >= 0x80) {
          EXPECT_TRUE(metrics.inFont(ch)) << QFontInfo(f).family().toStdString();
        }
      }

      if (e.fg) {
        EXPECT_EQ(q->palette().color(QPalette::WindowText), *e.fg);
      }
      if (e.bg) {
        EXPECT_EQ(q->palette().color(QPalette::Window), *e.bg);
        EXPECT_TRUE(q->autoFillBackground());
      }
    }
    auto* banner = qobject_cast<QLabel*>(native(*w.st_8));
    EXPECT_TRUE(banner->alignment() & Qt::AlignHCenter);
    auto* panel = qobject_cast<QLabel*>(native(*w.st_7));
    EXPECT_EQ(panel->frameShadow(), QFrame::Sunken);
    EXPECT_TRUE(qobject_cast<QCheckBox*>(native(*w.cbx_proc))->isChecked());
    // The banner lies on top of its panel.
    EXPECT_GT(top->children().indexOf(banner), top->children().indexOf(panel));
  }
};

TEST_F(QtWindow, DeliveredWindow) {
  auto& w = start(rt::kProgramModuleHandle);
  QWidget* top = backend.native_window(w);
  ASSERT_NE(top, nullptr);
  EXPECT_TRUE(top->isVisible());
  EXPECT_EQ(top->windowTitle(), QStringLiteral("专卖店软件数据库升级"));
  EXPECT_EQ(top->size(), QSize(px(2313) - 2 * rt::kFramePixels, px(1536) - 2 * rt::kFramePixels - rt::kCaptionPixels));
  EXPECT_FALSE(top->windowIcon().isNull());
  EXPECT_EQ(top->palette().color(QPalette::Window), kGrey);
  QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(top->pos(), QPoint(area.x() + (area.width() - px(2313)) / 2, area.y() + (area.height() - px(1536)) / 2));
  check_controls(w, false);
  // Alt+U reaches the upgrade button first in the tab sequence.
  EXPECT_EQ(QApplication::focusWidget(), native(*w.cb_1));
  save_screenshot(w, "window-delivered.png");
}

TEST_F(QtWindow, DeveloperWindow) {
  auto& w = start(0u);
  check_controls(w, true);
  save_screenshot(w, "window-developer.png");
  // The list box shows what the directory listing put in it.
  dir.write("pr_b.sql", "b");
  dir.write("pr_a.sql", "a");
  w.lb_1->dir_list(dir.path() + "/*.sql");
  auto* list = qobject_cast<QListWidget*>(native(*w.lb_1));
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text(), "pr_a.sql");

  // A click on the check box through Qt reaches the control.
  qobject_cast<QCheckBox*>(native(*w.cbx_proc))->click();
  EXPECT_FALSE(w.cbx_proc->checked());
  // Changes made by the code reach the widgets.
  w.cb_1->set_enabled(false);
  w.st_3->set_text(std::string("2020-02-02"));
  EXPECT_FALSE(native(*w.cb_1)->isEnabled());
  EXPECT_EQ(widget_text(native(*w.st_3)), "2020-02-02");
  QWidget* top = backend.native_window(w);
  top->resize(300, 200);  // the user makes it smaller
  w.set_title(std::string("renamed"));
  EXPECT_TRUE(top->isVisible());
  EXPECT_EQ(top->windowTitle(), "renamed");
  EXPECT_EQ(top->size(), QSize(300, 200));
}

TEST_F(QtWindow, FailedConnectionShowsTwoBoxes) {
  server.refuse_login = std::make_pair(18456, std::string("Login failed for user 'tandrel'."));
  std::vector<std::pair<QString, QString>> seen;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      seen.emplace_back(box->windowTitle(), box->text());
      box->button(QMessageBox::Ok)->click();
    }
  });
  answer.start(20);
  rt::SessionOptions o;
  session = std::make_unique<rt::Session>(app, backend, o);
  session->start(std::string());
  ASSERT_TRUE(pump_until([&] { return !app.w_db_upgrade->cb_1->enabled(); }));
  answer.stop();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].first, QStringLiteral("岚舟商业管理软件"));
  EXPECT_EQ(seen[0].second, QStringLiteral("不能连接到数据库！(错误信息：Login failed for user 'tandrel'.)"));
  EXPECT_EQ(seen[1].first, QStringLiteral("岚舟商业管理软件"));
  EXPECT_EQ(seen[1].second, QStringLiteral("不能连接到数据库"));
  EXPECT_FALSE(native(*app.w_db_upgrade->cb_1)->isEnabled());

  // The exit button still ends the run.
  qobject_cast<QPushButton*>(native(*app.w_db_upgrade->cb_2))->click();
  ASSERT_TRUE(pump_until([&] { return session->ended(); }));
  EXPECT_EQ(server.count("disconnect"), 0);
}

TEST_F(QtWindow, ExitButtonAndCloseBoxEndTheRun) {
  for (bool by_button : {true, false}) {
    SCOPED_TRACE(by_button ? "cb_2" : "close box");
    server.log.clear();
    upgrade::db_upgrade_pos fresh;
    session.reset();
    session = std::make_unique<rt::Session>(fresh, backend, rt::SessionOptions{});
    session->start(std::string());
    ASSERT_TRUE(pump_until([&] { return server.log.size() >= 3; }));
    QWidget* top = backend.native_window(*fresh.w_db_upgrade);
    ASSERT_NE(top, nullptr);
    if (by_button)
      qobject_cast<QPushButton*>(native(*fresh.w_db_upgrade->cb_2))->click();
    else
      top->close();
    ASSERT_TRUE(pump_until([&] { return session->ended(); }));
    EXPECT_EQ(server.log.back(), DbOp{"disconnect"});
    EXPECT_EQ(backend.native_window(*fresh.w_db_upgrade), nullptr);
    session.reset();
  }
}

TEST_F(QtWindow, ProgramRunsUntilItsWindowCloses) {
  // The program's own entry: the event loop runs until the window closes;
  // the command-line text changes nothing.
  bool closed = false;
  QTimer script;
  QObject::connect(&script, &QTimer::timeout, [&] {
    if (closed || server.log.size() < 3) return;
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (top->objectName() == "w_db_upgrade" && top->isVisible()) {
        auto* put = top->findChild<QPushButton*>("cb_put");
        EXPECT_EQ(put->isVisibleTo(top), upgrade::developer_build());
        closed = true;
        top->close();
      }
    }
  });
  script.start(20);
  QTimer watchdog;  // never hang
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  watchdog.start(20000);
  int code = upgrade::run_schemalift(backend, "--unused \"argument\"");
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(closed);
  EXPECT_EQ(server.statements(), (std::vector<std::string>{"use master", "use store"}));
  EXPECT_EQ(server.log.back(), DbOp{"disconnect"});
  EXPECT_FALSE(upgrade::sqlca);
}

}  // namespace
