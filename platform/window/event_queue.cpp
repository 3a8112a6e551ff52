#include "platform/window/event_queue.h"

#include <algorithm>

namespace marlo::win {

void EventQueue::setStatus(ThreadStatus status) {
  status_ = status;
  statusCv_.notify_all();
}

bool EventQueue::push(QueueItem item) {
  std::lock_guard lock(mutex_);
  if (status_ == ThreadStatus::Ended) return false;
  items_.push_back(std::move(item));
  ++activity_;
  // A thread waiting for the view stays waiting: the item waits for its loop.
  if (status_ == ThreadStatus::Idle) status_ = ThreadStatus::Busy;
  wake_.notify_all();
  return true;
}

std::optional<QueueItem> EventQueue::next(const Router& route, const Dispatcher& dispatch,
                                          const std::function<bool()>& stop) {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (ending_.load() || stop()) return std::nullopt;
    bool dispatched = false;
    for (auto it = items_.begin(); it != items_.end() && !dispatched;) {
      const Route r = route(*it);
      if (r == Route::Keep) {
        ++it;
      } else if (r == Route::Drop) {
        it = items_.erase(it);
      } else {
        QueueItem item = std::move(*it);
        items_.erase(it);
        if (r == Route::Take) {
          status_ = ThreadStatus::Busy;
          return item;
        }
        // The procedure may post, close windows or wait: the queue is not ours meanwhile, and
        // the scan starts again from the front afterwards.
        lock.unlock();
        dispatch(item);
        lock.lock();
        dispatched = true;
      }
    }
    if (dispatched) continue;
    setStatus(ThreadStatus::Idle);
    wake_.wait(lock);
    if (status_ == ThreadStatus::Idle) status_ = ThreadStatus::Busy;
  }
}

void EventQueue::dispatchMessages(const Dispatcher& dispatch) {
  std::unique_lock lock(mutex_);
  for (auto it = items_.begin(); it != items_.end();) {
    if (it->kind != QueueItem::Kind::Message) {
      ++it;
      continue;
    }
    const QueueItem item = std::move(*it);
    items_.erase(it);
    lock.unlock();
    dispatch(item);
    lock.lock();
    it = items_.begin();  // the procedure may have queued more
  }
}

void EventQueue::drop(WindowHandle window) {
  std::lock_guard lock(mutex_);
  items_.erase(std::remove_if(items_.begin(), items_.end(),
                              [&](const QueueItem& q) { return q.window == window; }),
               items_.end());
}

void EventQueue::wake() {
  // Under the lock, so that a waiter that has just checked its stop condition cannot miss it.
  std::lock_guard lock(mutex_);
  wake_.notify_all();
}

void EventQueue::requestEnd() {
  ending_.store(true);
  wake();
}

void EventQueue::markEnded() {
  std::lock_guard lock(mutex_);
  items_.clear();
  setStatus(ThreadStatus::Ended);
}

ThreadStatus EventQueue::status() const {
  std::lock_guard lock(mutex_);
  return status_;
}

ThreadStatus EventQueue::waitSettled(std::chrono::seconds guard) {
  std::unique_lock lock(mutex_);
  const bool settled =
      statusCv_.wait_for(lock, guard, [&] { return status_ != ThreadStatus::Busy; });
  return settled ? status_ : ThreadStatus::Busy;
}

void EventQueue::waitEnded() {
  std::unique_lock lock(mutex_);
  statusCv_.wait(lock, [&] { return status_ == ThreadStatus::Ended; });
}

void EventQueue::beginViewWait() {
  std::lock_guard lock(mutex_);
  setStatus(ThreadStatus::InDialog);
}

void EventQueue::viewAnswered() {
  std::lock_guard lock(mutex_);
  if (status_ == ThreadStatus::InDialog) status_ = ThreadStatus::Busy;
}

void EventQueue::endViewWait() {
  std::lock_guard lock(mutex_);
  status_ = ThreadStatus::Busy;
  ++activity_;
}

}  // namespace marlo::win
