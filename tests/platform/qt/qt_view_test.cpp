// The Qt view under the offscreen platform: widgets made from window models, a person's clicks
// and keys reaching the program thread, dialogs answering the waiting thread, and shutdown.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTreeWidget>

#include <atomic>
#include <cmath>

#include "platform/qt/qt_view.h"
#include "platform/window/control_id.h"
#include "platform/window/window.h"
#include "tests/platform/window/demo_window.h"

namespace marlo::test {
namespace {

using namespace marlo::win;  // NOLINT
using demo::MainControl;

using marlo::win::n;

// Lets the program threads and the GUI exchange everything they have queued for each other.
void settle(Engine& engine) {
  for (int i = 0; i < 3; ++i) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    engine.waitAllIdle();
  }
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}

// Settles until `ready` holds; the guard only ends a broken test.
bool settleUntil(Engine& engine, const std::function<bool()>& ready) {
  QElapsedTimer guard;
  guard.start();
  while (!ready()) {
    if (guard.elapsed() > 20000) return false;
    settle(engine);
  }
  return true;
}

class QtViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state.folders.add({"1", "C:\\Documents"});
    state.folders.add({"2", "C:\\Photos"});
    engine.start([this] { demo::mainWindow(state); });
    ASSERT_TRUE(settleUntil(
        engine, [&] { return (main = mainHandle()) != 0 && view.windowWidget(main) != nullptr; }));
    settle(engine);
  }
  void TearDown() override {
    for (const auto& w : engine.openWindows()) engine.post(w.handle, event::CloseWindow);
    EXPECT_TRUE(settleUntil(engine, [&] { return engine.runningThreads().empty(); }));
    engine.shutdown();
    settle(engine);
  }
  WindowHandle mainHandle() const {
    for (const auto& w : engine.openWindows()) {
      if (w.title == demo::kMainTitle) return w.handle;
    }
    return 0;
  }
  template <class T>
  T* widget(MainControl c) {
    return qobject_cast<T*>(view.controlWidget(main, n(c)));
  }
  QTreeWidget* list() { return widget<QTreeWidget>(MainControl::List); }

  qt::QtView view;
  Engine engine{view};
  demo::DemoState state;
  WindowHandle main = 0;
};

TEST_F(QtViewTest, WidgetsAreMadeFromTheWindowModel) {
  QMainWindow* frame = view.windowWidget(main);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->windowTitle(), QString(demo::kMainTitle));
  EXPECT_TRUE(frame->isVisible());

  auto* insert = widget<QPushButton>(MainControl::Insert);
  ASSERT_NE(insert, nullptr);
  EXPECT_EQ(insert->text(), QStringLiteral("&Insert"));
  const auto [ux, uy] = view.dialogUnit(main);
  EXPECT_GT(ux, 1.0);
  EXPECT_EQ(insert->width(), static_cast<int>(std::lround(56 * ux)));
  EXPECT_EQ(insert->y(), static_cast<int>(std::lround(28 * uy)));

  ASSERT_NE(list(), nullptr);
  EXPECT_EQ(list()->topLevelItemCount(), 2);
  EXPECT_EQ(list()->headerItem()->text(1), QStringLiteral("Folder Name"));
  EXPECT_EQ(list()->topLevelItem(1)->text(1), QStringLiteral("C:\\Photos"));
  EXPECT_EQ(list()->topLevelItem(0)->text(0), QStringLiteral("  1"));

  auto* title = widget<QLabel>(MainControl::Title);
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->font().family(), QStringLiteral("DejaVu Sans")) << "Tahoma is substituted";
  EXPECT_TRUE(title->font().bold());

  const auto labels = frame->statusBar()->findChildren<QLabel*>();
  ASSERT_GE(labels.size(), 2);
  EXPECT_EQ(labels[0]->text(), QStringLiteral("Welcome to the Marlo BACKUP demo"));
}

TEST_F(QtViewTest, ClickBecomesAcceptedOnTheProgramThread) {
  widget<QPushButton>(MainControl::Insert)->click();
  ASSERT_TRUE(settleUntil(engine, [&] { return list()->topLevelItemCount() == 3; }));
  EXPECT_EQ(state.folders.rowCount(), 3);
  EXPECT_EQ(list()->currentItem(), list()->topLevelItem(2));

  auto* check = widget<QCheckBox>(MainControl::Minimize);
  check->click();
  ASSERT_TRUE(settleUntil(engine, [&] { return state.minimize == 1; }));
  EXPECT_TRUE(check->isChecked());
}

TEST_F(QtViewTest, TypedTextReachesTheBoundVariable) {
  auto* edit = widget<QLineEdit>(MainControl::Archive);
  ASSERT_NE(edit, nullptr);
  edit->setText(QStringLiteral("/tmp/typed.lzh"));
  edit->setModified(true);
  emit edit->editingFinished();
  ASSERT_TRUE(settleUntil(engine, [&] { return state.archive.view() == "/tmp/typed.lzh"; }));
}

TEST_F(QtViewTest, ListKeysMoveTheHighlightThroughTheEngine) {
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QApplication::sendEvent(list(), &down);
  ASSERT_TRUE(
      settleUntil(engine, [&] { return list()->currentItem() == list()->topLevelItem(1); }));
  auto* frame = view.windowWidget(main);
  const auto labels = frame->statusBar()->findChildren<QLabel*>();
  EXPECT_EQ(labels[0]->text(), QStringLiteral("C:\\Photos")) << "NewSelection reached the program";
}

// A list long enough to scroll.
class QtViewLongListTest : public QtViewTest {
 protected:
  void SetUp() override {
    for (int i = 3; i <= 60; ++i)
      state.folders.add({std::to_string(i), "C:\\Folder" + std::to_string(i)});
    QtViewTest::SetUp();
  }
};

TEST_F(QtViewLongListTest, DraggingTheThumbToTheEndReachesTheProgram) {
  QScrollBar* bar = list()->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  bar->setValue(bar->maximum());
  emit bar->sliderReleased();
  // The engine moves the highlight for the drag, so the last row becomes current.
  ASSERT_TRUE(settleUntil(engine, [&] {
    return list()->currentItem() == list()->topLevelItem(list()->topLevelItemCount() - 1);
  }));
}

TEST_F(QtViewTest, MessageBoxIsWindowModalAndItsAnswerReturnsToTheThread) {
  widget<QPushButton>(MainControl::Delete)->click();
  QMessageBox* box = nullptr;
  ASSERT_TRUE(settleUntil(engine, [&] {
    const auto boxes = view.windowWidget(main)->findChildren<QMessageBox*>();
    box = boxes.isEmpty() ? nullptr : boxes.constFirst();
    return box != nullptr && box->isVisible();
  }));
  EXPECT_EQ(box->windowModality(), Qt::WindowModal);
  EXPECT_EQ(box->windowTitle(), QStringLiteral("Confirm Delete"));
  EXPECT_TRUE(box->text().contains(QStringLiteral("\nthe highlighted record?")));
  EXPECT_EQ(engine.status(1), ThreadStatus::InDialog);
  box->button(QMessageBox::Yes)->click();
  ASSERT_TRUE(settleUntil(engine, [&] { return list()->topLevelItemCount() == 1; }));
  EXPECT_EQ(list()->topLevelItem(0)->text(1), QStringLiteral("C:\\Photos"));
}

TEST_F(QtViewTest, RightClickPopupReturnsTheChosenItem) {
  QTreeWidget* tree = list();
  const QRect row2 = tree->visualItemRect(tree->topLevelItem(1));
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(row2.center()),
                      QPointF(tree->viewport()->mapToGlobal(row2.center())), Qt::RightButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(tree->viewport(), &release);
  QMenu* menu = nullptr;
  ASSERT_TRUE(settleUntil(engine, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* m = qobject_cast<QMenu*>(w); m != nullptr && m->isVisible()) menu = m;
    }
    return menu != nullptr;
  }));
  EXPECT_EQ(tree->currentItem(), tree->topLevelItem(1))
      << "the program moved the highlight to the clicked row";
  ASSERT_EQ(menu->actions().size(), 2);
  EXPECT_EQ(menu->actions()[1]->text(), QStringLiteral("&Delete"));
  menu->actions()[1]->trigger();
  menu->hide();
  QMessageBox* box = nullptr;
  ASSERT_TRUE(settleUntil(engine, [&] {
    const auto boxes = view.windowWidget(main)->findChildren<QMessageBox*>();
    box = boxes.isEmpty() ? nullptr : boxes.constFirst();
    return box != nullptr && box->isVisible();
  }));
  box->button(QMessageBox::Yes)->click();
  ASSERT_TRUE(settleUntil(engine, [&] { return list()->topLevelItemCount() == 1; }));
  EXPECT_EQ(list()->topLevelItem(0)->text(1), QStringLiteral("C:\\Documents"));
}

TEST_F(QtViewTest, DismissedPopupChoosesNothing) {
  QTreeWidget* tree = list();
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5),
                      QPointF(tree->viewport()->mapToGlobal(QPoint(5, 5))), Qt::RightButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(tree->viewport(), &release);
  QMenu* menu = nullptr;
  ASSERT_TRUE(settleUntil(engine, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* m = qobject_cast<QMenu*>(w); m != nullptr && m->isVisible()) menu = m;
    }
    return menu != nullptr;
  }));
  menu->hide();
  ASSERT_TRUE(settleUntil(engine, [&] { return engine.status(1) == ThreadStatus::Idle; }));
  EXPECT_EQ(list()->topLevelItemCount(), 2);
}

TEST_F(QtViewTest, WithoutATrayMinimisingKeepsTheWindowOnTheTaskBar) {
  // Offscreen, like a bare X server, has no notification area.
  engine.sendInput(main, Input::windowState(WindowState::Minimized));
  ASSERT_TRUE(settleUntil(engine, [&] { return state.trayAddFailures.load() == 1; }));
  EXPECT_FALSE(state.inTray.load());
  EXPECT_TRUE(view.windowWidget(main)->isVisible() || view.windowWidget(main)->isMinimized());
  // Nor a message at an icon, which a program then tells in its window instead.
  EXPECT_FALSE(view.trayMessage({main, 100, "Backup", "Done.", MessageIcon::Asterisk}));
}

TEST_F(QtViewTest, SecondThreadsWindowWorksBesideTheFirst) {
  widget<QPushButton>(MainControl::Restore)->click();
  WindowHandle rest = 0;
  ASSERT_TRUE(settleUntil(engine, [&] {
    for (const auto& w : engine.openWindows()) {
      if (w.title == demo::kRestoreTitle) rest = w.handle;
    }
    return rest != 0 && view.windowWidget(rest) != nullptr;
  }));
  EXPECT_EQ(engine.threadOf(rest), 2);
  widget<QPushButton>(MainControl::Insert)->click();
  ASSERT_TRUE(settleUntil(engine, [&] { return list()->topLevelItemCount() == 3; }));
  qobject_cast<QPushButton*>(view.controlWidget(rest, 3))->click();
  ASSERT_TRUE(settleUntil(engine, [&] { return view.windowWidget(rest) == nullptr; }));
}

TEST(QtViewOverlay, FollowsTheControlItLiesOver) {
  qt::QtView view;
  Engine engine(view);
  std::atomic<int> step{0};
  WindowHandle h = 0;
  engine.start([&] {
    Window w("Viewer", {0, 0, 200, 120});
    const int text = w.add(ControlKind::TextBox, "", {4, 4, 100, 60}, flag::Hidden);
    w.add(ControlKind::Button, "&Move", {4, 100, 40, 14});
    w.open();
    while (const Event* e = w.accept()) {
      if (e->code != event::Accepted) continue;
      ++step;
      if (step == 1) w.show(text);
      if (step == 2) w.setControlRect(text, {20, 10, 150, 80});
      if (step == 3) w.post(event::CloseWindow);
    }
  });
  ASSERT_TRUE(settleUntil(engine, [&] {
    const auto open = engine.openWindows();
    h = open.empty() ? 0 : open.front().handle;
    return h != 0 && view.windowWidget(h) != nullptr;
  }));
  view.overlay(h, 1, [](QWidget* parent) { return new QPlainTextEdit(parent); });
  ASSERT_TRUE(settleUntil(engine, [&] { return view.overlayWidget(h, 1) != nullptr; }));
  QWidget* over = view.overlayWidget(h, 1);
  QWidget* under = view.controlWidget(h, 1);
  EXPECT_EQ(over->geometry(), under->geometry());
  EXPECT_TRUE(over->isHidden()) << "it is hidden while the control is";
  auto* move = qobject_cast<QPushButton*>(view.controlWidget(h, 2));
  move->click();
  ASSERT_TRUE(settleUntil(engine, [&] { return !over->isHidden(); }));
  move->click();
  ASSERT_TRUE(settleUntil(engine, [&] { return under->x() > 20; }));
  EXPECT_EQ(over->geometry(), under->geometry());
  const QPointer<QWidget> watch(over);
  move->click();
  ASSERT_TRUE(settleUntil(engine, [&] { return engine.runningThreads().empty(); }));
  engine.shutdown();
  settle(engine);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(watch.isNull()) << "the overlay goes with its window";
}

TEST(QtViewRun, ReturnsWhenTheProgramEndsWithItsHaltCode) {
  qt::QtView view;
  Engine engine(view);
  std::atomic<ThreadId> second{0};
  const int code = view.run(engine, [&] {
    Window w("Main");
    w.add(ControlKind::Button, "&OK", {4, 4, 40, 14});
    w.open();
    second = Engine::instance().start([] {
      Window other("Other");
      other.open();
      while (other.accept()) {
      }
    });
    w.accept();  // OpenWindow
    Engine::instance().halt(5, "stopped");
  });
  EXPECT_EQ(code, 5);
  EXPECT_EQ(second.load(), 2);
  EXPECT_TRUE(engine.runningThreads().empty()) << "run() returns only after every program thread";
}

TEST(QtViewShutdown, EndsAThreadStillInItsLoopWithoutHanging) {
  qt::QtView view;
  WindowHandle h = 0;
  {
    Engine engine(view);
    engine.start([] {
      Window w("Left open");
      w.add(ControlKind::Button, "&OK", {4, 4, 40, 14});
      w.open();
      while (w.accept()) {
      }
    });
    ASSERT_TRUE(settleUntil(engine, [&] {
      const auto open = engine.openWindows();
      h = open.empty() ? 0 : open.front().handle;
      return h != 0 && view.windowWidget(h) != nullptr;
    }));
  }  // the engine ends the loop and joins the thread
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(view.windowWidget(h), nullptr);
  EXPECT_TRUE(view.hasEnded());
}

}  // namespace
}  // namespace marlo::test

// Qt's platform plugins, fontconfig and the D-Bus library keep process-wide caches until the
// process ends; LeakSanitizer (in the sanitizer build) would report them as leaks of ours. The
// suppressions are compiled in so the test needs no environment of its own.
extern "C" const char* __lsan_default_suppressions() {  // NOLINT: the sanitizer's hook name
  return "leak:libfontconfig\nleak:libQt6Gui\nleak:libQt6Core\nleak:libQt6Widgets\nleak:"
         "libQt6DBus\n"
         "leak:libdbus-1\nleak:libglib-2.0\n";
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
