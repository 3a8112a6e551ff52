// The Qt view: every open window model shown as real widgets.
//
// The view lives on the GUI thread (the process's main thread). Program threads call the View
// interface; each call is copied onto the GUI thread as a queued call and returns at once, so a
// program thread never waits for the GUI, and the GUI never waits for a program thread: what the
// person does goes back to the owning thread through Engine::sendInput. Dialogs are window-modal
// and opened with open(), never exec(); their answer goes back to the waiting thread.
//
// Layout: controls are placed absolutely from dialog units, converted with the window font's
// average character width and height; the Windows fonts a layout names are mapped to fonts
// this machine has (see substituteFont).
#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/window/engine.h"
#include "platform/window/view.h"

class QWidget;
class QMainWindow;
class QGroupBox;
class QRadioButton;
class QSystemTrayIcon;
class QTimer;

namespace marlo::qt {

using namespace marlo::win;  // NOLINT: the view is written in the engine's terms

// The font this machine uses for a font a layout names ("MS Sans Serif" -> "DejaVu Sans").
[[nodiscard]] std::string substituteFont(const std::string& name);

class QtView : public QObject, public View {
 public:
  // Create on the GUI thread, after the QApplication and before the Engine.
  QtView();
  ~QtView() override;

  // Runs the program: starts `procedure` as logical thread 1 and the GUI's event loop, and
  // returns when every program thread has ended (or the GUI quit; then the program is halted
  // and its threads are let run to their end first). Returns the program's halt code (0 when
  // it ended normally). Call on the GUI thread, once the Engine exists.
  int run(Engine& engine, std::function<void()> procedure);

  // The picture a notification-area icon of this name shows (the name a program loaded it by);
  // unnamed ones show a stock drive icon. Call before run().
  void setIcon(const std::string& name, const QIcon& icon);

  // --- View (any thread) -------------------------------------------------------------------
  void windowOpened(const WindowSnapshot& window) override;
  void windowChanged(const WindowProps& props) override;
  void controlChanged(WindowHandle window, const ControlState& control) override;
  void windowClosed(WindowHandle window) override;
  void activateWindow(WindowHandle window) override;
  void focusControl(WindowHandle window, int control) override;
  void showDialog(const DialogRequest& request, AnswerFn answer) override;
  bool trayAdd(const TrayIcon& icon) override;
  bool trayRemove(WindowHandle window, unsigned id) override;
  bool trayMessage(const TrayMessage& message) override;
  void beep(BeepKind kind) override;
  void programEnded() override;
  void editDocument(WindowHandle window, int control, DocumentEdit edit,
                    std::function<void(bool)> done) override;

  // Runs `call` on the GUI thread later and returns at once (any thread). Components with
  // widgets of their own (the rich-text editor laid over a control) use it with
  // controlWidget() to put them in place.
  void onGui(std::function<void()> call);

  // Lays a widget of the caller's over a control (a native editor in place of a text box);
  // callable from any thread. `make` runs on the GUI thread with the window's client area as
  // parent; the widget then keeps the control's place, size and visibility, and is deleted
  // with the window or by removeOverlay. Nothing happens when the window has closed.
  void overlay(WindowHandle window, int control, std::function<QWidget*(QWidget* parent)> make);
  void removeOverlay(WindowHandle window, int control);

  // --- For tests, the demo and components with widgets of their own (GUI thread only) -------
  [[nodiscard]] QMainWindow* windowWidget(WindowHandle window) const;
  [[nodiscard]] QWidget* controlWidget(WindowHandle window, int control) const;
  [[nodiscard]] QWidget* overlayWidget(WindowHandle window, int control) const;
  [[nodiscard]] bool hasEnded() const { return ended_.load(); }
  // Pixels of one horizontal and one vertical dialog unit in the window.
  [[nodiscard]] std::pair<double, double> dialogUnit(WindowHandle window) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Win;
  class Frame;

  void createWindow(const WindowSnapshot& snapshot);
  void applyProps(Win& win, const WindowProps& props);
  void applyControl(Win& win, const ControlState& state);
  QWidget* createControl(Win& win, const ControlState& state);
  void placeControl(Win& win, QWidget* widget, const ControlState& state);
  // What the control shows, one function per kind; `before` is what it showed (null: nothing).
  void showContent(Win& win, QWidget* widget, const ControlState& state,
                   const ControlState* before);
  static void showOptionGroup(Win& win, QGroupBox& group, const ControlState& state);
  static void showRadio(Win& win, QRadioButton& radio, const ControlState& state);
  void placeOverlay(Win& win, int control);
  static void detachDocuments(Win& win);
  void personInput(WindowHandle window, Input input);
  void frameEvent(WindowHandle window, QEvent* event);
  Win* find(WindowHandle window) const;
  void refreshTrayAvailability();

  std::map<WindowHandle, std::unique_ptr<Win>> windows_;
  std::map<std::pair<WindowHandle, unsigned>, QSystemTrayIcon*> trays_;
  std::map<std::string, QIcon> icons_;
  std::atomic<bool> trayAvailable_{false};
  std::atomic<bool> ended_{false};
  QTimer* trayPoll_ = nullptr;
};

}  // namespace marlo::qt
