// The editor under the Qt view with both bars, for looking at it (scripts/screenshot --editor):
// a window whose text control the editor replaces, with the file given on the command line
// loaded and a word of it selected.
#include <QApplication>

#include <string>

#include "framework/error_manager.h"
#include "framework/window/windowed_interface.h"
#include "platform/qt/qt_view.h"
#include "platform/window/window.h"
#include "richtext/rich_text_box.h"

int main(int argc, char** argv) {
  QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
  QApplication app(argc, argv);
  marlo::qt::QtView view;
  marlo::win::Engine engine(view);
  marlo::globalErrors.init(nullptr);
  marlo::WindowedInterface messages;
  marlo::setUserInterface(&messages);
  const std::string file = argc > 1 ? argv[1] : "";
  const int code = view.run(engine, [&file] {
    using namespace marlo::win;  // NOLINT
    Window w("Marlo BACKUP editor demo", {0, 56, 420, 240});
    w.setFont({"MS Sans Serif", 8});
    w.setResizable(true);
    const int text = w.add(ControlKind::TextBox, "", {4, 4, 412, 232}, flag::VScroll);
    w.setFont(text, {"Tahoma", 10});
    w.open();
    marlo::richtext::RichTextBox box;
    box.init(w, text, 0, 1, 1);
    if (!file.empty()) box.open(file);
    box.find("Monday", 0);
    box.syncFormat();
    while (const Event* e = w.accept()) {
      if (e->code == event::CloseWindow) box.close(0);
    }
  });
  marlo::setUserInterface(nullptr);
  marlo::globalErrors.kill();
  return code;
}
