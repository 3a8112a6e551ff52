// The event queue of one logical thread, and what the thread is doing (busy, idle in a loop,
// waiting for the view, ended).
//
// Any thread pushes; only the owning thread takes. Taking moves an item out under the lock and
// runs window messages only after releasing it, so a message procedure may post, open a window
// or take the lock again without deadlock, and a poster never waits for a procedure to run.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "platform/window/event.h"
#include "platform/window/input.h"

namespace marlo::win {

enum class ThreadStatus {
  Busy,      // running program code (or a wait ran out)
  Idle,      // waiting in an accept loop with nothing to take
  InDialog,  // waiting for the view: the answer to a dialog, or an edit of a document
  Ended,
};

// One entry of a thread's queue.
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

class EventQueue {
 public:
  // What a loop does with a queued item it comes across.
  enum class Route {
    Keep,      // leave it for another loop of the thread
    Drop,      // nobody will ever take it (its window has closed)
    Dispatch,  // a window message: run it now, outside the lock, and look again
    Take,      // hand it to the loop
  };
  using Router = std::function<Route(const QueueItem&)>;
  using Dispatcher = std::function<void(const QueueItem&)>;

  // `activity` counts every push and every return from a wait for the view, across all
  // threads, so that a test can tell a quiet moment from a busy one.
  explicit EventQueue(std::atomic<std::uint64_t>& activity) : activity_(activity) {}
  EventQueue(const EventQueue&) = delete;
  EventQueue& operator=(const EventQueue&) = delete;

  // Any thread. Queues the item and wakes the owner; false once the thread has ended.
  bool push(QueueItem item);

  // The owning thread: waits for the first item `route` takes, dispatching window messages on
  // the way. Nullopt as soon as `stop` holds (it is checked under the lock, before every wait).
  std::optional<QueueItem> next(const Router& route, const Dispatcher& dispatch,
                                const std::function<bool()>& stop);
  // The owning thread: runs every queued window message (others stay) and returns.
  void dispatchMessages(const Dispatcher& dispatch);
  // Forgets what is queued for a window that has closed.
  void drop(WindowHandle window);
  // Wakes the owner's wait, so that it checks its stop condition again.
  void wake();

  // Asks the thread to end its loops (see Engine::endThread), and whether that was asked.
  void requestEnd();
  [[nodiscard]] bool endRequested() const { return ending_.load(); }
  // The thread's procedure has returned: nothing more is queued.
  void markEnded();

  [[nodiscard]] ThreadStatus status() const;
  // Waits until the thread is not Busy; Busy means `guard` ran out.
  ThreadStatus waitSettled(std::chrono::seconds guard);
  void waitEnded();

  // The owner waits for the view (a dialog or an edit): it counts as settled meanwhile.
  void beginViewWait();
  // The view has answered: the owner is about to run again (any thread).
  void viewAnswered();
  // The owner is back from its wait.
  void endViewWait();

 private:
  void setStatus(ThreadStatus status);  // with mutex_ held

  std::atomic<std::uint64_t>& activity_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;      // the owner waits here for its next item
  std::condition_variable statusCv_;  // waitSettled and waitEnded wait here
  std::deque<QueueItem> items_;
  ThreadStatus status_ = ThreadStatus::Busy;
  std::atomic<bool> ending_{false};
};

}  // namespace marlo::win
