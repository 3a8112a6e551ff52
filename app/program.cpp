#include "app/program.h"

#include "app/files_table.h"
#include "app/trayicon.h"
#include "framework/error_manager.h"
#include "framework/ini_manager.h"
#include "platform/shell/shell.h"

namespace app {

namespace {

constexpr const char* kFrameworkSettings = "cd_rw.ini";
// Update the user profile and tell every window (SPIF_UPDATEINIFILE | SPIF_SENDCHANGE).
constexpr marlo::shell::UINT kProfileAndBroadcast = 3;

}  // namespace

void Program::run() {
  start();
  Trayicon();
  end();
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
