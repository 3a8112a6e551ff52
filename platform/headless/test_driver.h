// Drives windows as a person would, for tests: find a window, type, press, pick rows, press
// keys, minimise, click the tray icon, answer dialogs, move the clock. Every action waits until
// every program thread has settled again (idle in its loop, waiting in a dialog, or ended), so a
// test reads the screen right after an action without sleeping and without races.
//
// An action a person could not do (the window is not open or is disabled, the control is hidden
// or disabled, the list has no such row) does nothing and returns false.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/headless/headless_view.h"
#include "platform/window/engine.h"

namespace marlo::headless {

class TestDriver {
 public:
  // Makes the engine's clock manual (so timers move only with advanceClock); the moment is
  // 1 January 2024, 10:00:00.
  TestDriver(Engine& engine, HeadlessView& view);

  Engine& engine() { return engine_; }
  HeadlessView& view() { return view_; }

  // --- Threads ----------------------------------------------------------------------------
  // Starts a window procedure on a new logical thread and waits until it has settled.
  ThreadId start(std::function<void()> procedure, std::size_t stackHint = 0);
  bool settle();  // waits until every program thread is idle, in a dialog or ended
  ThreadStatus waitIdle(ThreadId thread) { return engine_.waitIdle(thread); }
  bool waitEnded();

  // --- Windows ----------------------------------------------------------------------------
  // The newest open window with this title (0 = none); waitForWindow waits for it to open.
  [[nodiscard]] WindowHandle window(std::string_view title) const;
  WindowHandle waitForWindow(std::string_view title);
  // The same by the name of the window procedure that runs the window (Window::setProcedure).
  [[nodiscard]] WindowHandle windowOf(std::string_view procedure) const;
  WindowHandle waitForProcedure(std::string_view procedure);
  bool waitForClose(WindowHandle window);
  [[nodiscard]] bool isOpen(WindowHandle window) const;
  [[nodiscard]] HeadlessView::Screen screen(WindowHandle window) const;  // empty when closed
  [[nodiscard]] ControlState control(WindowHandle window, int control) const;
  [[nodiscard]] std::string value(WindowHandle window, int control) const;
  [[nodiscard]] std::string text(WindowHandle window, int control) const;
  [[nodiscard]] std::string statusText(WindowHandle window, int zone) const;
  [[nodiscard]] std::vector<std::vector<std::string>> rows(WindowHandle window, int control) const;
  [[nodiscard]] int selection(WindowHandle window, int control) const;

  // --- A person's actions (each settles before it returns) -----------------------------------
  bool type(WindowHandle window, int control, std::string text);      // types and leaves the field
  bool typeOnly(WindowHandle window, int control, std::string text);  // types, stays in the field
  bool press(WindowHandle window, int control);  // a button, a check box or a radio
  bool pickRow(WindowHandle window, int control, int row);
  bool doubleClickRow(WindowHandle window, int control, int row);
  bool rightClickRow(WindowHandle window, int control, int row);
  bool pressKey(WindowHandle window, int control, KeyCode key);  // control 0 = the window
  bool scroll(WindowHandle window, int control, EventCode scroll, int thumb = 0);
  bool focus(WindowHandle window, int control);
  bool minimize(WindowHandle window);
  bool maximize(WindowHandle window);
  bool restore(WindowHandle window);
  bool resize(WindowHandle window, Rect rect);
  bool closeBox(WindowHandle window);
  // Clicks the window's notification-area icon (the first one when the window has several).
  bool clickTray(WindowHandle window, TrayAction action);
  // What a person does in a rich-text control (types, selects, deletes), as an edit of its
  // document and selection; false when the person could not reach the control.
  bool editText(WindowHandle window, int control, const DocumentEdit& edit);

  // --- Dialogs ----------------------------------------------------------------------------
  // Scripted answers for dialogs still to come, used in order per kind.
  void answerNextMessage(unsigned button);
  void answerNextOpenFile(std::string path);  // empty = cancel
  void answerNextSaveFile(std::string path);
  void answerNextFolder(std::string path);
  void answerNextPopup(int item);        // 0 = dismiss
  void answerNextColour(Colour colour);  // kNoColour = cancel
  // Prints into `pdf` (a file), or on `printer` when `pdf` is empty; cancels when both are.
  void answerNextPrint(std::string pdf, std::string printer = {});
  // Waits until a dialog waits for an answer (one that no script answered).
  std::optional<DialogRequest> waitForDialog();
  // Answers it and settles.
  bool answer(DialogAnswer answer);
  bool answerMessage(unsigned button);
  [[nodiscard]] std::vector<HeadlessView::ShownDialog> dialogs() const { return view_.dialogs(); }

  // --- Time -------------------------------------------------------------------------------
  // Moves the engine's manual clock and settles, so timer events have been handled.
  bool advanceClock(std::int64_t hundredths);

 private:
  // Checks that a person can reach the control now.
  [[nodiscard]] bool reachable(WindowHandle window, int control) const;
  bool send(WindowHandle window, Input input);

  Engine& engine_;
  HeadlessView& view_;
  int guardSeconds_ = 30;
};

}  // namespace marlo::headless
