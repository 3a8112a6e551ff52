#include "app/program.h"

#include <vector>

#include "app/files_table.h"
#include "app/headless_backup.h"
#include "app/trayicon.h"
#include "framework/error_manager.h"
#include "framework/ini_manager.h"
#include "platform/shell/shell.h"
#include "platform/window/engine.h"

namespace app {

namespace {

constexpr const char* kFrameworkSettings = "cd_rw.ini";
// Update the user profile and tell every window (SPIF_UPDATEINIFILE | SPIF_SENDCHANGE).
constexpr marlo::shell::UINT kProfileAndBroadcast = 3;

}  // namespace

void Program::run() {
  start();
  Trayicon();
  closeOtherWindows();
  end();
}

BackupOutcome Program::backUp(BackupProgress* progress) {
  start();
  BackupOutcome outcome = backUpFolderTable(progress);
  end();
  return outcome;
}

// Closing the main window ends the program, the Restore window with it. Its thread is asked to
// end and waited for before anything it may still use (the error manager, the settings) is
// released; a library call it is in the middle of runs to its end first.
void Program::closeOtherWindows() {
  if (!marlo::win::Engine::exists()) return;
  marlo::win::Engine& engine = marlo::win::Engine::instance();
  const marlo::win::ThreadId self = marlo::win::Engine::currentThread();
  for (;;) {
    std::vector<marlo::win::ThreadId> others = engine.runningThreads();
    std::erase(others, self);
    if (others.empty()) return;
    for (const marlo::win::ThreadId thread : others) engine.endThread(thread);
    for (const marlo::win::ThreadId thread : others) engine.waitForEnd(thread);
  }
}

void Program::start() {
  marlo::globalErrors.init();
  files::initDeclarations();
  matcher_.init(/*noCase=*/true, /*wordOnly=*/false);
  marlo::globalIni.init(kFrameworkSettings);
  // Dragging whole windows is switched off while the program runs, and only if it was on.
  marlo::shell::BOOL drag = marlo::shell::FALSE;
  marlo::shell::SystemParametersInfoA(marlo::shell::SPI_GETDRAGFULLWINDOWS, 0, &drag, 0);
  dragWasOn_ = drag == 1;
  if (dragWasOn_)
    marlo::shell::SystemParametersInfoA(marlo::shell::SPI_SETDRAGFULLWINDOWS, 0, nullptr,
                                        kProfileAndBroadcast);
}

void Program::end() {
  marlo::globalIni.kill();
  if (dragWasOn_)
    marlo::shell::SystemParametersInfoA(marlo::shell::SPI_SETDRAGFULLWINDOWS, 1, nullptr,
                                        kProfileAndBroadcast);
  matcher_.kill();
  files::killDeclarations();
  marlo::globalErrors.kill();
}

}  // namespace app
