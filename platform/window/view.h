// The interface between the engine and a view (the Qt widgets, or the headless view of the
// tests). The engine calls it from program threads, often from several at once; a view must
// take each call quickly and never wait for its own GUI thread to run something. A view talks
// back only through Engine::sendInput / Engine::trayAction, which never block either.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/core/message_box.h"
#include "platform/window/control.h"

namespace marlo::win {

struct FileMask {
  std::string description;
  std::string pattern;  // "*.LZH", or several joined by ";"
  friend bool operator==(const FileMask&, const FileMask&) = default;
};

// One item of a popup menu; items with children open a submenu.
struct MenuItem {
  std::string text;
  bool separator = false;
  bool enabled = true;
  bool checked = false;
  int number =
      0;  // what choosing it returns: 1.. in menu order, separators and submenu heads skipped
  std::vector<MenuItem> children;
};

struct DialogRequest {
  // PickColour: the colour dialog, starting at `colour`. Print: the printer set-up dialog for a job
  // named `title`.
  enum class Kind { Message, OpenFile, SaveFile, Folder, Popup, PickColour, Print };
  Kind kind = Kind::Message;
  WindowHandle owner = 0;  // the window the dialog is modal to; 0 = none
  ThreadId thread = 0;     // the thread waiting for the answer
  std::string title;
  std::string text;  // message text ("|" already turned into line breaks)
  MessageIcon icon = MessageIcon::None;
  unsigned buttons = button::Ok;
  unsigned defaultButton = button::Ok;
  std::vector<FileMask> masks;
  std::string directory;  // where a file or folder dialog starts
  std::string fileName;   // the proposed name
  std::vector<MenuItem> menu;
  Colour colour = kNoColour;
};

struct DialogAnswer {
  unsigned button = 0;  // message box: the pressed button; colour and print dialogs: Ok or Cancel
  std::string path;     // file or folder dialog: the chosen path; empty = cancelled. Print
                        // dialog: the file to print into (a PDF), empty for a printer
  int item = 0;         // popup: the chosen item's number; 0 = dismissed
  Colour colour = kNoColour;  // colour dialog: the chosen colour
  std::string printer;        // print dialog: the chosen printer (empty = the default one)
};

// A change of a rich-text control's document, run where the view keeps the document (see
// Engine::editDocument); it may move the selection.
using DocumentEdit = std::function<void(QTextDocument& document, TextSelection& selection)>;

// What a view passes back when a dialog ends; callable from any thread, once.
using AnswerFn = std::function<void(DialogAnswer)>;

// The notification-area icon of a window.
struct TrayIcon {
  WindowHandle window = 0;
  unsigned id = 0;
  unsigned callbackMessage = 0;
  std::string icon;
  std::string tip;
};

// A short message shown at a notification-area icon: a balloon beside it, or the desktop's
// notification that names the icon's program.
struct TrayMessage {
  WindowHandle window = 0;  // the icon of (window, id)
  unsigned id = 0;
  std::string title;
  std::string text;
  MessageIcon icon = MessageIcon::None;
};

// What the person did to a tray icon, independent of how the desktop reports it.
enum class TrayAction {
  Activate,        // left button released
  DoubleActivate,  // left double click
  Context,         // right button released
  ContextPress,    // right button pressed (only some desktops report it)
};

enum class BeepKind { Default, Exclamation, Asterisk, Question, Hand };

class View {
 public:
  View() = default;
  View(const View&) = delete;
  View& operator=(const View&) = delete;
  virtual ~View() = default;

  // A window opened: create its widgets from the snapshot.
  virtual void windowOpened(const WindowSnapshot& window) = 0;
  // Window-level properties changed (title, state, visibility, status bar, cursor ...).
  virtual void windowChanged(const WindowProps& props) = 0;
  virtual void controlChanged(WindowHandle window, const ControlState& control) = 0;
  virtual void windowClosed(WindowHandle window) = 0;
  // Bring the window to the front and give it the keyboard focus.
  virtual void activateWindow(WindowHandle window) = 0;
  virtual void focusControl(WindowHandle window, int control) = 0;

  // Shows a dialog and returns at once; `answer` runs when the person ends it. Until then the
  // asking thread waits, never the view.
  virtual void showDialog(const DialogRequest& request, AnswerFn answer) = 0;

  // False when the desktop has no notification area.
  virtual bool trayAdd(const TrayIcon& icon) = 0;
  virtual bool trayRemove(WindowHandle window, unsigned id) = 0;
  // Shows a message at an icon and returns at once; false when the view knows the icon is not
  // there or the desktop has no notification area. A view without one keeps this default.
  virtual bool trayMessage(const TrayMessage& /*message*/) { return false; }

  virtual void beep(BeepKind kind) = 0;

  // Runs `edit` on the document and selection of a rich-text control, on the thread where the
  // view keeps them, then calls `done` with true; with false, without running `edit`, when the
  // window or the control is gone. A view without rich-text controls has none.
  virtual void editDocument(WindowHandle /*window*/, int /*control*/, DocumentEdit /*edit*/,
                            std::function<void(bool)> done) {
    done(false);
  }

  // Every program thread has ended; a view with an event loop of its own may leave it now.
  virtual void programEnded() {}
};

}  // namespace marlo::win
