// marlo-backup: shows the program's windows through the Qt view and runs the program on its
// first thread until the main window closes; `--backup` runs the backup with no window and no
// display at all (the Qt application is never made for it).
#include <QApplication>

#include <iostream>
#include <string_view>

#include "app/headless_backup.h"
#include "app/program.h"
#include "app/program_icon.h"
#include "app/tray.h"
#include "framework/user_interface.h"
#include "framework/window/windowed_interface.h"
#include "platform/qt/qt_view.h"
#include "platform/window/engine.h"

#ifndef MARLO_VERSION
#define MARLO_VERSION "0"
#endif

namespace {

constexpr const char* kUsage =
    "Usage: marlo-backup [--backup | --help | --version]\n"
    "\n"
    "Without an option, opens the Marlo BACKUP window. The folder list (FILES.db), the\n"
    "backup log (Back_Log.TXT) and the settings (Saved.INI) are those of the current\n"
    "directory.\n"
    "\n"
    "  --backup   back up every folder of the list into Marlo_BACKUP.lzh in the current\n"
    "             directory, as \"Backup NOW\" does, without a window; prints a summary.\n"
    "             Exit status: 0 every folder stored, 1 a folder failed, 2 bad usage.\n"
    "  --help     show this text\n"
    "  --version  show the program's version\n";

enum class Mode { Windows, Backup, Help, Version, BadUsage };

// Our own options stand alone. Anything else that starts with one dash is Qt's (-platform,
// -style ...) and is left to the Qt application, which takes it off the list.
Mode modeOf(int argc, char** argv) {
  if (argc < 2) return Mode::Windows;
  const std::string_view first = argv[1];
  const bool ours = first.starts_with("--");
  if (!ours) return Mode::Windows;
  if (argc > 2) return Mode::BadUsage;
  if (first == "--backup") return Mode::Backup;
  if (first == "--help") return Mode::Help;
  if (first == "--version") return Mode::Version;
  return Mode::BadUsage;
}

int badUsage(std::string_view what) {
  std::cerr << "marlo-backup: " << what << "\n" << kUsage;
  return app::kExitBadUsage;
}

int runWindows(int argc, char** argv) {
  QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
  QApplication application(argc, argv);
  if (application.arguments().size() > 1)
    return badUsage("unknown argument " + application.arguments().at(1).toStdString());
  // The desktop matches the windows to the menu entry by this name.
  QGuiApplication::setDesktopFileName(QStringLiteral("marlo-backup"));
  const QIcon icon = app::programIcon();
  QApplication::setWindowIcon(icon);
  marlo::qt::QtView view;
  view.setIcon(app::kTrayIconName, icon);
  marlo::win::Engine engine(view);
  marlo::WindowedInterface messages;
  marlo::setUserInterface(&messages);
  app::Program program;
  const int code = view.run(engine, [&program] { program.run(); });
  marlo::setUserInterface(nullptr);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  switch (modeOf(argc, argv)) {
    case Mode::Windows:
      return runWindows(argc, argv);
    case Mode::Backup:
      return app::backupWithoutWindows(std::cout);
    case Mode::Help:
      std::cout << kUsage;
      return 0;
    case Mode::Version:
      std::cout << "marlo-backup " MARLO_VERSION "\n";
      return 0;
    case Mode::BadUsage:
      break;
  }
  return badUsage(argc > 2 ? "an option stands alone" : std::string("unknown option ") + argv[1]);
}
