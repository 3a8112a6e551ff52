#include "platform/window/timers.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <vector>

namespace marlo::win {

std::int64_t Timers::ticks() const {
  if (manual_) return manualTicks_;
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() / 10;
}

void Timers::set(WindowHandle window, std::int64_t period) {
  std::lock_guard lock(mutex_);
  if (period <= 0) {
    entries_.erase(window);
    return;
  }
  entries_[window] = Entry{period, ticks() + period, false};
  if (!manual_ && !stopped_ && !helper_.joinable()) helper_ = std::thread([this] { run(); });
  wake_.notify_all();
}

void Timers::taken(WindowHandle window) {
  std::lock_guard lock(mutex_);
  const auto it = entries_.find(window);
  if (it != entries_.end()) it->second.pending = false;
}

void Timers::setManual(Moment moment) {
  clock_.setManual(moment);
  std::lock_guard lock(mutex_);
  manual_ = true;
  for (auto& [window, entry] : entries_) entry.due = manualTicks_ + entry.period;
  wake_.notify_all();
}

bool Timers::manual() const {
  std::lock_guard lock(mutex_);
  return manual_;
}

void Timers::advance(std::int64_t hundredths) {
  std::int64_t now = 0;
  {
    std::lock_guard lock(mutex_);
    if (!manual_ || hundredths < 0) return;
    manualTicks_ += hundredths;
    now = manualTicks_;
  }
  // The clock moves before any timer fires, so a handler reads the new time.
  clock_.advance(hundredths);
  fireDue(now);
}

void Timers::fireDue(std::int64_t now) {
  std::vector<WindowHandle> due;
  {
    std::lock_guard lock(mutex_);
    for (auto& [window, entry] : entries_) {
      if (now < entry.due) continue;
      const std::int64_t missed = (now - entry.due) / entry.period;
      entry.due += (missed + 1) * entry.period;
      if (!entry.pending) {
        entry.pending = true;
        due.push_back(window);
      }
    }
  }
  for (const WindowHandle window : due) fire_(window);
}

void Timers::run() {
  std::unique_lock lock(mutex_);
  while (!stopped_) {
    std::int64_t next = std::numeric_limits<std::int64_t>::max();
    for (const auto& [window, entry] : entries_) next = std::min(next, entry.due);
    if (manual_ || next == std::numeric_limits<std::int64_t>::max()) {
      wake_.wait(lock);
      continue;
    }
    const std::int64_t now = ticks();
    if (now < next) {
      wake_.wait_for(lock, std::chrono::milliseconds((next - now) * 10));
      continue;
    }
    lock.unlock();
    fireDue(now);
    lock.lock();
  }
}

void Timers::stop() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    wake_.notify_all();
  }
  if (helper_.joinable()) helper_.join();
}

}  // namespace marlo::win
