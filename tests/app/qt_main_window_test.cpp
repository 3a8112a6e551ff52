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

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>

#include "app/backup_progress_window.h"
#include "app/files_table.h"
#include "app/globals.h"
#include "app/program.h"
#include "app/trayicon.h"
#include "framework/user_interface.h"
#include "framework/window/windowed_interface.h"
#include "platform/qt/qt_view.h"
#include "platform/storage/keyed_table.h"
#include "platform/storage/text_file.h"
#include "platform/window/control_id.h"
#include "temp_folder.h"

namespace app::test {
namespace {

using namespace marlo::win;  // NOLINT

// Takes the view's events until `ready`; with `idle`, also lets the program's threads settle
// between looks (not while a test holds one of them on purpose).
bool settleUntil(Engine& engine, const std::function<bool()>& ready, bool idle = true) {
  QElapsedTimer guard;
  guard.start();
  while (!ready()) {
    if (guard.elapsed() > 20000) return false;
    QCoreApplication::sendPostedEvents();
    if (idle) {
      QCoreApplication::processEvents();
      engine.waitAllIdle();
    } else {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
  }
  return true;
}

WindowHandle openWindowTitled(Engine& engine, const std::string& title) {
  for (const auto& w : engine.openWindows())
    if (w.title == title) return w.handle;
  return 0;
}

// The program started under the Qt view in a fresh current directory, up to its main window.
class QtProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
    glo::resetAll();
    marlo::setUserInterface(&messages);
  }
  void TearDown() override {
    engine.shutdown();
    marlo::setUserInterface(nullptr);
  }

  void start() {
    engine.start([this] { program.run(); });
    ASSERT_TRUE(settleUntil(engine, [&] {
      main = openWindowTitled(engine, kMainCaption);
      return main != 0 && view.windowWidget(main) != nullptr && !glo::PAT.empty();
    }));
    settleUntil(engine, [] { return true; });
  }

  template <typename Widget>
  Widget* control(WindowHandle window, auto id) {
    return qobject_cast<Widget*>(view.controlWidget(window, n(id)));
  }

  // Zones are numbered from 1, as the program numbers them.
  QString statusZone(int zone) {
    const auto labels = view.windowWidget(main)->statusBar()->findChildren<QLabel*>();
    return zone <= labels.size() ? labels[zone - 1]->text() : QString();
  }

  marlo::testing::TempFolder folder;
  marlo::qt::QtView view;
  Engine engine{view};
  marlo::WindowedInterface messages;
  Program program;
  WindowHandle main = 0;
};

TEST_F(QtProgram, TheProgramOpensItsMainWindowAndEndsWithClose) {
  start();
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
}

TEST_F(QtProgram, TheProgressWindowShowsTheRunAndItsCancelPutsTheArchiveBack) {
  std::filesystem::create_directories("docs");
  for (int i = 1; i <= 3; ++i) std::ofstream("docs/letter" + std::to_string(i) + ".txt") << i;
  {
    marlo::KeyedTable table(files::declaration());
    ASSERT_EQ(table.create(), 0);
    ASSERT_EQ(table.open(marlo::kAccessReadWrite | marlo::kDenyNone), 0);
    files::RBR = 1;
    files::NAZIV_FOLDERA = (std::filesystem::current_path() / "docs").string();
    files::TEST_FOLDER = "";
    ASSERT_EQ(table.add(), 0);
  }
  // The library waits after its first member until the person here has pressed Cancel.
  std::atomic<bool> firstStored = false;
  std::promise<void> cancelPressed;
  std::shared_future<void> pressed = cancelPressed.get_future().share();
  backupRunHooks().step = [&](const MemberProgress& step) {
    if (!step.done || firstStored.exchange(true)) return;
    pressed.wait_for(std::chrono::seconds(20));
  };
  start();
  control<QPushButton>(main, MainControl::OKBUTTON)->click();

  WindowHandle progress = 0;
  ASSERT_TRUE(settleUntil(
      engine,
      [&] {
        progress = openWindowTitled(engine, kProgressCaption);
        auto* member = progress ? control<QLabel>(progress, ProgressControl::Member) : nullptr;
        return firstStored && member && member->text().startsWith("Storing: ");
      },
      /*idle=*/false));
  QMainWindow* window = view.windowWidget(progress);
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(view.windowWidget(main)->isEnabled());  // it waits behind the progress window
  EXPECT_EQ(control<QLabel>(progress, ProgressControl::Folder)->text().toStdString(),
            "Folder 1 of 1: " + files::NAZIV_FOLDERA.str());
  EXPECT_TRUE(control<QLabel>(progress, ProgressControl::Counts)->text().endsWith(" bytes"));
  auto* cancel = control<QPushButton>(progress, ProgressControl::Cancel);
  ASSERT_NE(cancel, nullptr);
  EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));
  cancel->click();
  // The run has heard it once the button is greyed; only then may the library go on.
  EXPECT_TRUE(settleUntil(
      engine, [&] { return !cancel->isEnabled(); }, /*idle=*/false));
  cancelPressed.set_value();

  ASSERT_TRUE(settleUntil(engine, [&] {
    return statusZone(1) == "Backup cancelled: the archive is as it was before the backup.";
  }));
  EXPECT_EQ(openWindowTitled(engine, kProgressCaption), 0);
  EXPECT_TRUE(view.windowWidget(main)->isEnabled());
  EXPECT_FALSE(std::filesystem::exists(glo::PAT.str() + ".lzh"));  // there was none before
  control<QPushButton>(main, MainControl::CANCELBUTTON)->click();
  ASSERT_TRUE(settleUntil(engine, [&] { return engine.runningThreads().empty(); }));
}

}  // namespace
}  // namespace app::test

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
