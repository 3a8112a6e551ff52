// marlo-backup: shows the program's windows through the Qt view and runs the program on its
// first thread until the main window closes.
#include <QApplication>

#include "app/program.h"
#include "framework/user_interface.h"
#include "framework/window/windowed_interface.h"
#include "platform/qt/qt_view.h"
#include "platform/window/engine.h"

int main(int argc, char** argv) {
  QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
  QApplication application(argc, argv);
  marlo::qt::QtView view;
  marlo::win::Engine engine(view);
  marlo::WindowedInterface messages;
  marlo::setUserInterface(&messages);
  app::Program program;
  const int code = view.run(engine, [&program] { program.run(); });
  marlo::setUserInterface(nullptr);
  return code;
}
