// The window engine: the one object a program's windows run on. It joins small parts with one
// job each (see README.md): the logical threads and their event queues (ProgramThreads,
// EventQueue), the registry of open windows and their tray icons (WindowRegistry, TrayIcons),
// the clock and timers (Timers), the threads waiting for the view (ViewWaits), and the halt.
//
// One Engine exists per process (a test makes a fresh one per case). It is created with the
// view that shows its windows, before any program thread starts, and destroyed after the
// view's loop has ended. Unless a call says otherwise it may be made from any thread and never
// waits for another thread's window loop.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/core/clock.h"
#include "platform/window/event.h"
#include "platform/window/event_queue.h"
#include "platform/window/input.h"
#include "platform/window/program_threads.h"
#include "platform/window/timers.h"
#include "platform/window/view.h"
#include "platform/window/view_waits.h"
#include "platform/window/window_registry.h"

namespace marlo::win {

class Window;

// The message procedure of a window: the stand-in for a Windows window procedure. The engine
// calls it on the thread that owns the window, for messages posted with Engine::postMessage.
using WindowProc = std::intptr_t (*)(WindowHandle window, unsigned message, std::uintptr_t wParam,
                                     std::intptr_t lParam);

// Window messages the engine itself understands.
namespace message {
inline constexpr unsigned Close = 0x0010;  // the default procedure posts CloseWindow
inline constexpr unsigned User = 0x0400;
inline constexpr unsigned MouseMove = 0x0200;
inline constexpr unsigned LeftButtonDown = 0x0201;
inline constexpr unsigned LeftButtonUp = 0x0202;
inline constexpr unsigned LeftButtonDoubleClick = 0x0203;
inline constexpr unsigned RightButtonDown = 0x0204;
inline constexpr unsigned RightButtonUp = 0x0205;
inline constexpr unsigned RightButtonDoubleClick = 0x0206;
}  // namespace message

// Thrown through a program thread by halt(); the thread's entry catches it. Program code never
// catches it (the program uses no exceptions of its own).
struct HaltUnwind {
  int code = 0;
};

class Engine {
 public:
  explicit Engine(View& view);
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
  // Ends every accept loop (as at halt) and joins every program thread.
  ~Engine();

  // The engine that runs the calling program thread; null on any other thread. Code that runs
  // on program threads finds its engine here (a window takes it when it opens).
  static Engine* current();
  // The process's engine, for code that runs on other threads and is not handed the engine (the
  // Windows stand-ins with their fixed arguments, the Qt view's callbacks). Calling it when none
  // exists is a programming error (it aborts).
  static Engine& instance();
  static bool exists();
  // The process's engine, or null when there is none (while the program starts, after it has
  // ended): for code that serves whichever engine the process has, like a view's callbacks.
  static Engine* find();

  View& view() { return view_; }

  // --- Logical threads --------------------------------------------------------------------
  // Runs `procedure` on a new logical thread and returns its number (1, 2, 3 ...; never
  // reused). The stack is at least `stackHint` bytes and never less than the platform needs.
  // Returns 0 once the engine is shutting down.
  ThreadId start(std::function<void()> procedure, std::size_t stackHint = 0);
  // The logical thread the caller runs on; 0 on the view's thread or any other thread.
  static ThreadId currentThread();
  [[nodiscard]] bool isRunning(ThreadId thread) const;
  [[nodiscard]] std::vector<ThreadId> runningThreads() const;
  // Waits until the thread waits for input (Idle), for a dialog (InDialog) or has Ended, and
  // says which. Busy means the guard (30 s) ran out: a deadlock in a test, never a normal
  // outcome. Not for program threads: a thread that waits for another's idleness can deadlock.
  ThreadStatus waitIdle(ThreadId thread);
  // Waits until every program thread is Idle, InDialog or Ended at one moment, with nothing
  // posted in between (a thread may wake another). False when the guard ran out.
  bool waitAllIdle();
  // Waits until every program thread has ended; false when the guard ran out.
  bool waitAllEnded();
  [[nodiscard]] ThreadStatus status(ThreadId thread) const;

  // Asks a program thread to end: every accept loop of it ends as at a halt, for that thread
  // alone, and a dialog it waits in is answered as a halt answers it (button::refusal). Its
  // procedures then return through their usual ends. False when the thread has ended already.
  bool endThread(ThreadId thread);
  // Waits, without a time limit, until the thread has ended. A program thread may call it for
  // another thread that it has asked to end and that does not wait for the caller in turn.
  void waitForEnd(ThreadId thread);
  // Whether the calling program thread has been asked to end.
  [[nodiscard]] static bool ending();

  // For a program thread that waits for something outside its loops (another thread's flag):
  // runs the window messages queued for the calling thread's windows and gives up the
  // processor once. Events stay queued for their loops.
  void yield();

  // --- Posting (thread-safe, never blocks) -------------------------------------------------
  // Queues an event for a window (control 0 = a window event). False when the window is not
  // open: the event is dropped.
  bool post(WindowHandle window, EventCode code, int control = 0);
  // Queues an event for whichever window of the thread runs its accept loop when the event is
  // taken (the innermost one). False when the thread has ended.
  bool postToThread(ThreadId thread, EventCode code, int control = 0);
  // A person's action on a window (views and the test driver use this).
  bool sendInput(WindowHandle window, Input input);
  // Queues a message for the window's message procedure, which runs on the owning thread while
  // any accept loop of that thread waits for its next event.
  bool postMessage(WindowHandle window, unsigned message, std::uintptr_t wParam,
                   std::intptr_t lParam);
  // The message procedure every window starts with: Close posts CloseWindow, the rest returns 0.
  static std::intptr_t defaultWindowProc(WindowHandle window, unsigned message,
                                         std::uintptr_t wParam, std::intptr_t lParam);

  // --- Open windows -------------------------------------------------------------------------
  [[nodiscard]] bool isOpen(WindowHandle window) const;
  [[nodiscard]] ThreadId threadOf(WindowHandle window) const;
  // In the order they were opened.
  [[nodiscard]] std::vector<WindowInfo> openWindows() const;
  [[nodiscard]] std::optional<WindowInfo> windowInfo(WindowHandle window) const;
  // The window model behind a handle, when the calling thread owns it; null otherwise (a
  // window of another thread is reached only by posting to it).
  [[nodiscard]] Window* ownWindow(WindowHandle window) const;
  // The window that has the keyboard focus (0 = none).
  [[nodiscard]] WindowHandle activeWindow() const;
  // Makes a window the active one: LoseFocus to the previous one, GainFocus to this one, and
  // the view brings it to the front. Nothing happens when it is active already.
  void activate(WindowHandle window);

  // --- Notification area ---------------------------------------------------------------------
  // Adds or replaces the icon of (window, id). False when the desktop has no notification area.
  bool trayAdd(const TrayIcon& icon);
  bool trayRemove(WindowHandle window, unsigned id);
  [[nodiscard]] std::vector<TrayIcon> trayIcons() const;
  // A person's action on an icon: posts the icon's callback message to its window with the
  // icon id in wParam and the mouse message in lParam. False when there is no such icon.
  bool trayAction(WindowHandle window, unsigned id, TrayAction action);
  // Shows a message at an icon through the view and returns at once. False when the window has
  // no such icon (a window that is not in the tray) or the desktop has no notification area:
  // the program then tells the person in its window instead.
  bool trayMessage(const TrayMessage& message);

  // --- Clock and timers ----------------------------------------------------------------------
  // The program's clock: every "now", "today" and time of day comes from here, so a test that
  // sets the clock by hand sets it for the whole program.
  [[nodiscard]] Moment now() const { return timers_.clock().now(); }
  [[nodiscard]] const Clock& clock() const { return timers_.clock(); }
  // From here on "now" and every timer move only with advanceClock.
  void setManualClock(Moment moment);
  [[nodiscard]] bool manualClock() const;
  // Moves the manual clock and posts Timer to every window whose period has run out. A timer
  // that ran out several times posts one event: timer events never pile up.
  void advanceClock(std::int64_t hundredths);

  // --- Rich-text documents -------------------------------------------------------------------
  // Runs `edit` on a rich-text control's document and selection where the view keeps them (the
  // Qt view: its GUI thread, where the person edits the same document) and waits until it has
  // run. Any thread may call it, the owner of the window or not. False, with `edit` not run,
  // when the window or the control is gone or the program is halting.
  bool editDocument(WindowHandle window, int control, DocumentEdit edit);

  // --- Dialogs, beep, halt ---------------------------------------------------------------
  // Shows a dialog through the view and waits for the answer. Only the calling thread waits;
  // with no owner given, the dialog is modal to the caller's innermost window. At shutdown or
  // halt the wait ends with Cancel, else No, else the default button (button::refusal), and
  // no path, no item.
  DialogAnswer runDialog(DialogRequest request);
  void beep(BeepKind kind = BeepKind::Default) { view_.beep(kind); }
  // Ends the program: every accept loop ends, waiting dialogs are cancelled, and the calling
  // program thread unwinds (HaltUnwind). The handler, when set, runs first (tests record the
  // halt there). Returns only when called outside a program thread.
  void halt(int code, std::string_view text = {});
  void setHaltHandler(std::function<void(int code, std::string_view text)> handler);
  [[nodiscard]] std::optional<int> haltCode() const;
  [[nodiscard]] bool halting() const;

  // Ends every loop and waiting dialog and joins every program thread (as the destructor).
  // Called on a program thread it halts instead, since a thread cannot wait for itself.
  void shutdown();

 private:
  friend class Window;

  std::shared_ptr<EventQueue> queueOf(ProgramThread* thread) const;
  bool push(const std::shared_ptr<ProgramThread>& thread, QueueItem item);
  bool enqueue(WindowHandle window, QueueItem item);
  // Runs on a new logical thread: the procedure, then what its end leaves to close.
  void runThread(const std::function<void()>& procedure);
  // Ends every accept loop and every wait for the view: what a halt and a shutdown share.
  void endLoops();

  // Used by Window on its owning thread.
  WindowHandle registerWindow(Window& window);
  void unregisterWindow(Window& window);
  void windowPropsChanged(const WindowProps& props) { windows_.update(props); }
  static Window* innermostWindow();
  // Runs a queued window message through the message procedure of the thread's window it names;
  // nothing when that window has closed.
  static void dispatchMessage(const ProgramThread& thread, const QueueItem& item);
  static void refreshEnabled();
  // The next item for `window`'s loop; nullopt when the loop must end (closed, halting).
  std::optional<QueueItem> take(Window& window);
  void setTimer(WindowHandle window, std::int64_t period) { timers_.set(window, period); }
  void timerTaken(WindowHandle window) { timers_.taken(window); }

  View& view_;
  ProgramThreads threads_;
  WindowRegistry windows_;
  TrayIcons tray_;
  Timers timers_;
  ViewWaits waits_;
  mutable std::mutex haltMutex_;  // guards the handler and the code
  std::function<void(int, std::string_view)> haltHandler_;
  std::optional<int> haltCode_;
  std::atomic<bool> halting_{false};
};

}  // namespace marlo::win
