// The demo program under the Qt view, for looking at what the view draws (scripts/screenshot).
// With "--restore" it also opens the second window on its own thread.
#include <QApplication>
#include <QTimer>

#include <cstring>

#include "platform/qt/qt_view.h"
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
  const bool restore = argc > 1 && std::strcmp(argv[1], "--restore") == 0;
  if (restore) {
    QTimer::singleShot(300, [] {
      for (const auto& w : marlo::win::Engine::instance().openWindows()) {
        if (w.title == marlo::demo::kMainTitle) {
          marlo::win::Engine::instance().sendInput(
              w.handle, marlo::win::Input::press(static_cast<int>(marlo::demo::MainControl::Restore)));
        }
      }
    });
  }
  return view.run(engine, [&state] { marlo::demo::mainWindow(state); });
}
