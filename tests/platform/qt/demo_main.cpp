// The demo program under the Qt view, for looking at what the view draws (scripts/screenshot).
// With "--restore" it also opens the second window on its own thread; with "--minimize" it
// minimises the main window, which then goes into the notification area when there is one;
// "--delete" and "--browse" press those buttons, to show a message box and a file dialog.
#include <QApplication>
#include <QTimer>

#include <string>

#include "platform/qt/qt_view.h"
#include "platform/window/control_id.h"
#include "tests/platform/window/demo_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  marlo::qt::QtView view;
  marlo::win::Engine engine(view);
  marlo::demo::DemoState state;
  const char* folders[] = {"C:\\Documents", "C:\\Photos\\2023", "D:\\Projects\\Marlo", "E:\\Mail"};
  int nr = 1;
  for (const char* f : folders) {
    state.folders.add({std::to_string(nr), f});
    ++nr;
  }
  state.archive = "/home/user/Marlo_BACKUP";
  const std::string option = argc > 1 ? argv[1] : "";
  // What a person would do first, given to the main window once it is up.
  auto toMain = [](marlo::win::Input input) {
    QTimer::singleShot(300, [input] {
      for (const auto& w : marlo::win::Engine::instance().openWindows()) {
        if (w.title == marlo::demo::kMainTitle)
          marlo::win::Engine::instance().sendInput(w.handle, input);
      }
    });
  };
  if (option == "--restore")
    toMain(marlo::win::Input::press(marlo::win::n(marlo::demo::MainControl::Restore)));
  if (option == "--delete")
    toMain(marlo::win::Input::press(marlo::win::n(marlo::demo::MainControl::Delete)));
  if (option == "--browse")
    toMain(marlo::win::Input::press(marlo::win::n(marlo::demo::MainControl::Browse)));
  if (option == "--minimize")
    toMain(marlo::win::Input::windowState(marlo::win::WindowState::Minimized));
  return view.run(engine, [&state] { marlo::demo::mainWindow(state); });
}
