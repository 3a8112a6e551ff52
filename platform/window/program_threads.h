// The program's logical threads: numbered 1, 2, 3 ... in the order they start (never reused),
// each with its event queue and its open windows, and the waits a test makes for them.
#pragma once

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/window/event_queue.h"

namespace marlo::win {

class Window;

// One logical thread. `windows` is touched only by the thread itself; `handle` and `joinable`
// only under the lock of ProgramThreads.
struct ProgramThread {
  explicit ProgramThread(std::atomic<std::uint64_t>& activity) : queue(activity) {}

  ThreadId id = 0;
  EventQueue queue;
  std::vector<Window*> windows;  // open windows, innermost last
  pthread_t handle{};
  bool joinable = false;
};

class ProgramThreads {
 public:
  ProgramThreads() = default;
  ProgramThreads(const ProgramThreads&) = delete;
  ProgramThreads& operator=(const ProgramThreads&) = delete;

  // Runs `body` on a new logical thread with at least `stackHint` bytes of stack; `ended` runs
  // on that thread after the body, once its queue is closed, with true when it was the last
  // program thread running. Returns the thread's number, or 0 once closed.
  ThreadId start(std::function<void()> body, std::size_t stackHint,
                 std::function<void(bool last)> ended);
  // The calling thread's own entry; null outside program threads.
  static ProgramThread* current();

  [[nodiscard]] std::shared_ptr<ProgramThread> find(ThreadId thread) const;
  [[nodiscard]] std::vector<std::shared_ptr<ProgramThread>> all() const;
  [[nodiscard]] std::vector<ThreadId> running() const;
  [[nodiscard]] ThreadStatus status(ThreadId thread) const;

  // See Engine::waitIdle, waitAllIdle and waitAllEnded; each gives up after kGuard (30 s),
  // which ends a deadlocked test.
  ThreadStatus waitIdle(ThreadId thread) const;
  bool waitAllIdle() const;
  bool waitAllEnded();

  void wakeAll() const;
  // Refuses new threads from now on; false when that was done already.
  bool close();
  // Waits for every thread to end and releases it. Not on a program thread.
  void joinAll();

 private:
  static constexpr std::chrono::seconds kGuard{30};

  mutable std::mutex mutex_;
  std::condition_variable endedCv_;
  std::map<ThreadId, std::shared_ptr<ProgramThread>> threads_;
  ThreadId next_ = 1;
  int running_ = 0;
  bool closed_ = false;
  std::atomic<std::uint64_t> activity_{0};
};

}  // namespace marlo::win
