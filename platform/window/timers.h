// The program's clock and the windows' timers.
//
// Every "now" of the program and every timer comes from here. The clock follows the system's
// time until a test makes it manual; from then on it moves, and timers run out, only when the
// test advances it. Real-time timers are served by one helper thread that sleeps until the
// earliest one is due. A timer that ran out several times before its window took the event
// fires once: timer events never pile up.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "platform/core/clock.h"
#include "platform/window/event.h"

namespace marlo::win {

class Timers {
 public:
  // `fire` queues the timer event of a window; it runs without any lock of this object held.
  explicit Timers(std::function<void(WindowHandle)> fire) : fire_(std::move(fire)) {}
  Timers(const Timers&) = delete;
  Timers& operator=(const Timers&) = delete;
  ~Timers() { stop(); }

  [[nodiscard]] const Clock& clock() const { return clock_; }

  // A period in hundredths of a second; 0 or less removes the window's timer.
  void set(WindowHandle window, std::int64_t period);
  void remove(WindowHandle window) { set(window, 0); }
  // The window has taken its timer event: the next one may fire.
  void taken(WindowHandle window);

  // From here on the clock shows `moment` and moves only with advance().
  void setManual(Moment moment);
  [[nodiscard]] bool manual() const;
  // Moves the manual clock, then fires every timer whose period has run out. Nothing happens
  // to a running clock or for a negative step.
  void advance(std::int64_t hundredths);

  // Ends the helper thread; no timer fires after this returns.
  void stop();

 private:
  struct Entry {
    std::int64_t period = 0;
    std::int64_t due = 0;
    bool pending = false;  // fired and not yet taken
  };

  [[nodiscard]] std::int64_t ticks() const;  // with mutex_ held
  void fireDue(std::int64_t now);
  void run();  // the helper thread

  std::function<void(WindowHandle)> fire_;
  Clock clock_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::map<WindowHandle, Entry> entries_;
  bool manual_ = false;
  std::int64_t manualTicks_ = 0;
  bool stopped_ = false;
  std::thread helper_;
};

}  // namespace marlo::win
