// The window engine: logical threads, their event queues, the registry of open windows, the
// clock that timers and "now" come from, dialogs, the tray and the halt.
//
// One Engine exists per process (a test makes a fresh one per case). It is created with the
// view that shows its windows, before any program thread starts, and destroyed after the
// view's loop has ended. Unless a call says otherwise it may be made from any thread and never
// waits for another thread's window loop.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/core/clock.h"
#include "platform/window/event.h"
#include "platform/window/input.h"
#include "platform/window/view.h"

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

enum class ThreadStatus {
  Busy,      // running program code (or a wait ran out)
  Idle,      // waiting in an accept loop with nothing to take
  InDialog,  // waiting for the view: the answer to a dialog, or an edit of a document
  Ended,
};

struct WindowInfo {
  WindowHandle handle = 0;
  ThreadId thread = 0;
  std::string title;
  bool visible = true;
  WindowState state = WindowState::Normal;
};

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

  // The process's engine. Calling it when none exists is a programming error (it aborts).
  static Engine& instance();
  static bool exists();

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
  // says which. Busy means the guard ran out: a deadlock in a test, never a normal outcome.
  // Not for program threads: a thread that waits for another's idleness can deadlock.
  ThreadStatus waitIdle(ThreadId thread);
  // Waits until every program thread is Idle, InDialog or Ended at one moment, with nothing
  // posted in between (a thread may wake another). False when the guard ran out.
  bool waitAllIdle();
  // Waits until every program thread has ended; false when the guard ran out.
  bool waitAllEnded();
  [[nodiscard]] ThreadStatus status(ThreadId thread) const;
  // The guard of the waits above, in real seconds (default 30). Tests never reach it.
  void setWaitGuard(int seconds) { guardSeconds_ = seconds; }

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

  // --- Clock and timers ----------------------------------------------------------------------
  // The program's clock: every "now", "today" and time of day comes from here, so a test that
  // sets the clock by hand sets it for the whole program.
  [[nodiscard]] Moment now() const { return clock_.now(); }
  [[nodiscard]] const Clock& clock() const { return clock_; }
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
  struct ThreadState;
  struct QueueItem {
    enum class Kind { Event, Input, Message, Tick };
    Kind kind = Kind::Event;
    WindowHandle window = 0;  // 0: whichever window of the thread is innermost when taken
    Event event;
    Input input;
    unsigned message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
  };
  struct TimerEntry {
    WindowHandle window = 0;
    std::int64_t period = 0;
    std::int64_t due = 0;
    bool pending = false;
  };
  struct DialogWait;
  struct EditWait;

  static ThreadState*& tls();  // the calling logical thread's state; null elsewhere
  std::shared_ptr<ThreadState> threadState(ThreadId thread) const;
  std::shared_ptr<ThreadState> ownerOf(WindowHandle window, ThreadId* thread = nullptr) const;
  bool enqueue(WindowHandle window, QueueItem item);

  // Used by Window on its owning thread.
  WindowHandle registerWindow(Window& window);
  void unregisterWindow(Window& window);
  void windowPropsChanged(const WindowProps& props);
  Window* innermostWindow() const;
  void refreshEnabled();
  // Takes the next item for `window`; false when the loop must end (closed, halting).
  bool take(Window& window, QueueItem& out);
  void setTimer(WindowHandle window, std::int64_t period);
  void timerTaken(WindowHandle window);
  std::int64_t ticks() const;
  void tickerLoop();
  void fireTimers(std::int64_t now);
  void releaseEdits();  // at halt: edits the view has not started are given up

  View& view_;
  Clock clock_;
  mutable std::mutex mutex_;  // guards everything below except what ThreadState guards itself
  std::condition_variable tickerWake_;
  std::map<ThreadId, std::shared_ptr<ThreadState>> threads_;
  ThreadId nextThread_ = 1;
  std::map<WindowHandle, WindowInfo> windows_;
  std::vector<WindowHandle> windowOrder_;
  WindowHandle nextWindow_ = 0x1000;
  WindowHandle active_ = 0;
  std::vector<TrayIcon> tray_;
  std::map<WindowHandle, TimerEntry> timers_;
  bool manual_ = false;
  std::int64_t manualTicks_ = 0;
  std::thread ticker_;
  std::vector<std::shared_ptr<DialogWait>> dialogs_;
  std::vector<std::shared_ptr<EditWait>> edits_;
  std::function<void(int, std::string_view)> haltHandler_;
  std::optional<int> haltCode_;
  std::atomic<bool> halting_{false};
  std::condition_variable endedCv_;
  int runningThreads_ = 0;
  bool shutDown_ = false;
  int guardSeconds_ = 30;
  std::atomic<std::uint64_t> activity_{0};  // counts queue traffic, for waitAllIdle
};

}  // namespace marlo::win
