// A window: the model of one window and its controls, owned by the logical thread that opened
// it, and the accept loop that hands out its events.
//
// Every call on a Window is made on its owning thread (the one that calls open()); other
// threads reach a window only through Engine::post / postMessage / sendInput with its handle.
// Changes made after open() are passed to the view at once; the program never touches a widget.
//
// The accept loop of a window procedure:
//
//   Window w("Restore", {0, 0, 399, 238});
//   const int ok = w.add(ControlKind::Button, "&OK", {10, 10, 40, 14});
//   w.open();
//   while (const Event* e = w.accept()) {
//     if (e->code == event::Accepted && e->control == ok) w.post(event::CloseWindow);
//     if (handledCompletely) w.consume();   // skip the engine's default processing
//     if (mustLeave) break;
//   }
//   w.close();
//
// The engine's default processing of an event runs when accept() is called for the next one,
// unless consume() was called: CloseWindow and CloseDown close the window (accept() then
// returns null), Restore restores it, the scroll events move a list's highlight.
#pragma once

#include <deque>
#include <functional>
#include <initializer_list>
#include <optional>
#include <source_location>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window/binding.h"
#include "platform/window/control.h"
#include "platform/window/control_id.h"
#include "platform/window/engine.h"
#include "platform/window/event.h"
#include "platform/window/input.h"

namespace marlo::win {

class Window {
 public:
  explicit Window(std::string title, Rect rect = {0, 0, 200, 100});
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  ~Window();  // closes the window when it is still open

  // --- The window -----------------------------------------------------------------------
  [[nodiscard]] WindowHandle handle() const { return props_.handle; }  // 0 until open()
  [[nodiscard]] ThreadId thread() const { return props_.thread; }
  [[nodiscard]] bool isOpen() const { return open_; }
  [[nodiscard]] const WindowProps& props() const { return props_; }
  [[nodiscard]] const std::string& title() const { return props_.title; }
  void setTitle(std::string title);
  // The name of the window procedure that runs the window; tests find windows by it.
  void setProcedure(std::string name);
  void setIcon(std::string icon);
  void setFont(Font font);
  void setFillColour(Colour colour);
  void setCentred(bool centred);
  [[nodiscard]] Rect rect() const { return props_.rect; }
  void setRect(Rect rect);
  // Whether the person may resize the window, and the limits (0 = none) that resizing and
  // setRect keep to.
  void setResizable(bool resizable);
  void setMinimumSize(Size size);
  void setMaximumSize(Size size);
  [[nodiscard]] WindowState state() const { return props_.state; }
  // Minimising posts Iconized, maximising Maximized and restoring Restored, as when the person
  // does it, so the program handles both alike.
  void setState(WindowState state);
  [[nodiscard]] bool isVisible() const { return props_.visible; }
  void setVisible(bool visible);
  void setCursor(Cursor cursor);
  // Status bar: one width per zone (-1 = the rest of the bar).
  void setStatusBar(std::vector<int> widths);
  void setStatusText(int zone, std::string text);  // zone from 1
  [[nodiscard]] std::string statusText(int zone) const;
  // Period in hundredths of a second; 0 stops the timer.
  void setTimer(int hundredths);
  [[nodiscard]] int timer() const { return timer_; }
  // The message procedure (subclassing): setWindowProc returns the one it replaces, which the
  // new procedure passes unknown messages on to.
  [[nodiscard]] WindowProc windowProc() const { return proc_; }
  WindowProc setWindowProc(WindowProc proc);

  // --- Controls --------------------------------------------------------------------------
  // Adds a control and returns its number (1, 2, ... in the order added).
  int add(ControlKind kind, std::string text, Rect rect, std::uint32_t flags = 0);
  // Adds a control as the number `id` names. The number the window gives must be that one: a
  // mismatch is a fault of the window's layout and ends the program with a message naming both.
  template <class E>
  void add(E id, ControlKind kind, std::string text, Rect rect, std::uint32_t flags = 0) {
    addAs(n(id), kind, std::move(text), rect, flags);
  }
  // Adds every control of a layout table, in its order, each as its number.
  template <class E>
  void add(std::initializer_list<ControlLayout<E>> layout) {
    for (const ControlLayout<E>& row : layout) add(row.id, row.kind, row.text, row.rect, row.flags);
  }
  void addAs(int number, ControlKind kind, std::string text, Rect rect, std::uint32_t flags = 0);
  [[nodiscard]] int controlCount() const { return static_cast<int>(controls_.size()); }
  [[nodiscard]] bool hasControl(int control) const {
    return control >= 1 && control <= controlCount();
  }
  // The control's state. Every call that takes a control number needs a control of this
  // window (control 0 only where a call says what it means); any other number is a fault of
  // the window procedure, handled as unknownControlAction() says (see control_id.h).
  [[nodiscard]] const ControlState& control(
      int control, std::source_location where = std::source_location::current()) const;
  [[nodiscard]] ControlKind kind(int control) const { return this->control(control).kind; }
  void setName(int control, std::string name);
  void setText(int control, std::string text);
  [[nodiscard]] const std::string& text(int control) const { return this->control(control).text; }
  // The screen value (what the person sees in an entry, "1"/"0" of a check box ...).
  void setValue(int control, std::string value);
  [[nodiscard]] const std::string& value(int control) const { return this->control(control).value; }
  void setPicture(int control, std::string picture);
  void setFlag(int control, std::uint32_t flag, bool on,
               std::source_location where = std::source_location::current());
  // Each names itself to setFlag, so a fault names the call the procedure made.
  void hide(int control) { setFlag(control, flag::Hidden, true, std::source_location::current()); }
  void show(int control) { setFlag(control, flag::Hidden, false, std::source_location::current()); }
  void disable(int control) {
    setFlag(control, flag::Disabled, true, std::source_location::current());
  }
  void enable(int control) {
    setFlag(control, flag::Disabled, false, std::source_location::current());
  }
  void setFont(int control, Font font);
  void setTextColour(int control, Colour colour);
  void setFillColour(int control, Colour colour);
  [[nodiscard]] Rect controlRect(int control) const { return this->control(control).rect; }
  void setControlRect(int control, Rect rect);
  void setAlign(int control, Align align);
  void setParent(int control, int parent);
  void setTip(int control, std::string tip);
  // The document a rich-text control shows (null: an empty one). Edits go through
  // Engine::editDocument, never straight to the document.
  void setDocument(int control, std::shared_ptr<QTextDocument> document);
  // Binds the control's screen value to a program variable (see Binding).
  void bind(int control, Binding binding);

  // Alert keys: keys (and mouse actions) that reach the program as AlertKey instead of their
  // usual effect. Control 0 = the whole window.
  void alert(int control, KeyCode key);
  void removeAlert(int control, KeyCode key);
  [[nodiscard]] bool isAlerted(int control, KeyCode key) const;

  // Lists.
  void setColumns(int control, std::vector<ListColumn> columns);
  // The rows the list shows; read again at every display() of the list. The source lives at
  // least as long as the window.
  void setSource(int control, const ListSource* source);
  [[nodiscard]] int selection(int control) const { return this->control(control).selection; }
  void setSelection(int control, int row);
  [[nodiscard]] int rowCount(int control) const;
  [[nodiscard]] int visibleRows(int control) const { return this->control(control).visibleRows(); }
  // The row under the mouse at the last click on a list (0 = none).
  [[nodiscard]] int mouseRow() const { return mouseRow_; }

  // Progress bars.
  void setRange(int control, int low, int high);
  void setProgress(int control, int value);
  [[nodiscard]] int progress(int control) const { return this->control(control).progress; }

  // --- Screen values and variables ---------------------------------------------------------
  // Copies variables to screen values through the pictures, and list sources to their rows;
  // control 0 = every control.
  void display(int control = 0);
  // Copies screen values back to the variables; a value that does not fit its picture leaves
  // its variable alone. Control 0 = every control.
  void update(int control = 0);
  // Gives the control the focus (the view shows it); stops a running accept-all pass.
  void select(int control);
  [[nodiscard]] int focused() const { return focus_; }
  // The accept-all pass: every visible, enabled input control in order gets Accepted (after
  // its value went to its variable) or, when its text does not fit its picture, Rejected,
  // which ends the pass. When every control passed, Completed follows. A select() by the
  // program during the pass ends it too.
  void acceptAll();
  [[nodiscard]] bool acceptAllRunning() const { return acceptAll_; }

  // --- Events ---------------------------------------------------------------------------
  // Opens the window on the calling thread (which must be a logical thread), shows it and
  // queues OpenWindow. The thread's previous innermost window is disabled until this closes.
  void open();
  // Runs the default processing of the previous event (unless consumed), then waits for the
  // next event of this window. Null when the loop must end: the window closed, or the program
  // is halting. The pointer stays valid until the next call.
  const Event* accept();
  // The current event needs no default processing.
  void consume() { consumed_ = true; }
  // Closes the window: the view drops it, events still queued for it are dropped, the timer
  // stops, and the previous window of the thread is enabled again. Safe to call twice.
  void close();
  // Queues an event for this window (control 0 = a window event).
  void post(EventCode code, int control = 0);

  [[nodiscard]] const Event& event() const { return current_; }
  [[nodiscard]] EventCode eventCode() const { return current_.code; }
  [[nodiscard]] int eventControl() const { return current_.control; }
  // The key of the last key or mouse action the person made on this window.
  [[nodiscard]] KeyCode keyCode() const { return key_; }
  void setKeyCode(KeyCode key) { key_ = key; }
  [[nodiscard]] int thumb() const { return current_.thumb; }
  // The control of the last Accepted event (0 = none yet).
  [[nodiscard]] int acceptedControl() const { return accepted_; }

  // Event handlers a component registers on the window (as the rich-text editor does for the
  // moved and sized events): each runs on the owning thread when the loop takes an event of
  // its code (0 = every event), before the window procedure sees it. A handler that returns
  // false consumes the event: the loop never sees it and no default processing runs.
  // Returns an id for unregisterHandler. Handlers may be added or removed from inside a handler.
  int registerHandler(EventCode code, std::function<bool(const Event&)> handler);
  void unregisterHandler(int id);

  // --- Menus -----------------------------------------------------------------------------
  // Shows a popup menu at the mouse and waits for the choice: the chosen item's number (1.. in
  // menu order, counting neither separators nor submenu heads), 0 when dismissed.
  // Menu text: items separated by "|"; "-" is a separator; a leading "~" greys an item, a
  // leading "+" checks it; "Title{a|b}" opens a submenu.
  int popup(std::string_view menu);
  int popup(std::vector<MenuItem> menu);

 private:
  friend class Engine;
  struct Control {
    ControlState state;
    Binding binding;
    const ListSource* source = nullptr;
  };
  struct Pending {
    enum class Kind { Deliver, Check, PassDone };
    Kind kind = Kind::Deliver;
    Event event;
  };

  Control& at(int control, std::source_location where = std::source_location::current());
  const Control& at(int control,
                    std::source_location where = std::source_location::current()) const;
  void unknownControl(int control, const std::source_location& where) const;
  [[nodiscard]] Engine& engine() const;
  void notify(int control);
  void notifyWindow();
  void deliverLater(EventCode code, int control, KeyCode key = 0, int thumb = 0);
  void finishEvent();
  void applyInput(const Input& input);
  // One function per kind of input; `reachable`: the control is there, shown and enabled.
  void enterText(const Input& input, bool reachable);
  void editText(const Input& input, bool reachable);
  void pressControl(const Input& input, bool reachable);
  void pickRow(const Input& input, bool reachable);
  void activateRow(const Input& input, bool reachable);
  void rightClickRow(const Input& input, bool reachable);
  void pressKey(const Input& input, bool reachable);
  void scrollList(const Input& input, bool reachable);
  void focusControl(const Input& input, bool reachable);
  void changeState(const Input& input);
  void moveOrResize(const Input& input);
  void showOrHide(const Input& input);
  void pressDefaultButton();
  void applyMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
  EventCode checkField(int control);
  void moveHighlight(int control, int row);
  void stopPass();
  void clampToLimits(Rect& rect) const;
  void refreshRows(Control& control);
  void setStateInternal(WindowState state, bool postEvent);
  [[nodiscard]] bool alerted(int control, KeyCode key) const;

  WindowProps props_;
  std::vector<Control> controls_;
  Control scratch_;           // where a logged change to a control that does not exist goes
  Engine* engine_ = nullptr;  // the engine of the thread that opened the window
  std::deque<Pending> pending_;
  Event current_;
  bool haveCurrent_ = false;
  bool consumed_ = false;
  bool open_ = false;
  bool closed_ = false;
  bool acceptAll_ = false;
  int focus_ = 0;
  int accepted_ = 0;
  int mouseRow_ = 0;
  KeyCode key_ = 0;
  int timer_ = 0;
  WindowProc proc_ = &Engine::defaultWindowProc;
  struct Hook {
    int id = 0;
    EventCode code = 0;
    std::function<bool(const Event&)> handler;
  };
  std::vector<Hook> hooks_;
  int nextHook_ = 1;
  [[nodiscard]] bool runHooks();  // false: a hook consumed the current event
  bool takeNext();
  bool disabledOther_ = false;  // this window disabled the one below it
};

// Parses a popup menu text (see Window::popup).
[[nodiscard]] std::vector<MenuItem> parseMenu(std::string_view menu);

}  // namespace marlo::win
