// The program as `marlo-backup` shows it: the real main window under the Qt view (offscreen).
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeWidget>

#include <cstdlib>
#include <filesystem>

#include "app/globals.h"
#include "app/program.h"
#include "app/trayicon.h"
#include "framework/user_interface.h"
#include "framework/window/windowed_interface.h"
#include "platform/qt/qt_view.h"
#include "platform/window/control_id.h"
#include "temp_folder.h"

namespace app::test {
namespace {

using namespace marlo::win;  // NOLINT

bool settleUntil(Engine& engine, const std::function<bool()>& ready) {
  QElapsedTimer guard;
  guard.start();
  while (!ready()) {
    if (guard.elapsed() > 20000) return false;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    engine.waitAllIdle();
  }
  return true;
}

TEST(QtMainWindow, TheProgramOpensItsMainWindowAndEndsWithClose) {
  marlo::testing::TempFolder folder;
  ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
  glo::resetAll();
  marlo::qt::QtView view;
  Engine engine(view);
  marlo::WindowedInterface messages;
  marlo::setUserInterface(&messages);
  Program program;
  engine.start([&program] { program.run(); });

  WindowHandle main = 0;
  ASSERT_TRUE(settleUntil(engine, [&] {
    for (const auto& w : engine.openWindows())
      if (w.title == kMainCaption) main = w.handle;
    return main != 0 && view.windowWidget(main) != nullptr && !glo::PAT.empty();
  }));
  settleUntil(engine, [] { return true; });
  QMainWindow* frame = view.windowWidget(main);
  EXPECT_EQ(frame->windowTitle(), QString(kMainCaption));
  EXPECT_TRUE(frame->isVisible());

  auto* list = qobject_cast<QTreeWidget*>(view.controlWidget(main, n(MainControl::LIST)));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->headerItem()->text(0), QStringLiteral("Nr"));
  EXPECT_EQ(list->headerItem()->text(1), QStringLiteral("Folder Name"));
  auto* backup = qobject_cast<QPushButton*>(view.controlWidget(main, n(MainControl::OKBUTTON)));
  ASSERT_NE(backup, nullptr);
  EXPECT_EQ(backup->text(), QStringLiteral("&Backup NOW"));
  EXPECT_TRUE(backup->isVisible());
  // The hidden controls of the timed backup stay hidden.
  QWidget* timed = view.controlWidget(main, n(MainControl::TIMED));
  EXPECT_TRUE(timed == nullptr || !timed->isVisible());

  auto* archive = qobject_cast<QLineEdit*>(view.controlWidget(main, n(MainControl::PAT)));
  ASSERT_NE(archive, nullptr);
  ASSERT_TRUE(settleUntil(engine, [&] { return archive->text().endsWith("/Marlo_BACKUP"); }));
  ASSERT_TRUE(settleUntil(engine, [&] {
    const auto labels = frame->statusBar()->findChildren<QLabel*>();
    return labels.size() >= 2 && labels[0]->text() == kWelcomeText &&
           labels[1]->text() == kTimedOffText;
  }));

  qobject_cast<QPushButton*>(view.controlWidget(main, n(MainControl::CANCELBUTTON)))->click();
  ASSERT_TRUE(settleUntil(engine, [&] { return engine.runningThreads().empty(); }));
  EXPECT_TRUE(std::filesystem::exists("Saved.INI"));
  engine.shutdown();
  marlo::setUserInterface(nullptr);
}

}  // namespace
}  // namespace app::test

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
