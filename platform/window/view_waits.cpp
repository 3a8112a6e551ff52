#include "platform/window/view_waits.h"

#include <algorithm>
#include <condition_variable>

namespace marlo::win {

DialogAnswer refusedAnswer(const DialogRequest& request) {
  DialogAnswer answer;
  answer.button = button::refusal(request.buttons, request.defaultButton);
  return answer;
}

struct ViewWaits::DialogWait {
  std::mutex mutex;
  std::condition_variable cv;
  std::optional<DialogAnswer> answer;
  DialogRequest request;

  void refuse() {
    std::lock_guard lock(mutex);
    if (!answer) answer = refusedAnswer(request);
    cv.notify_all();
  }
};

// One edit on its way through the view. The caller may give up only while the edit has not
// started: once the view runs it, it runs on the caller's data to its end.
struct ViewWaits::EditWait {
  std::mutex mutex;
  std::condition_variable cv;
  bool started = false;
  bool finished = false;
  bool ran = false;
  bool abandoned = false;
  bool halted = false;

  void giveUp() {
    std::lock_guard lock(mutex);
    halted = true;
    cv.notify_all();
  }
};

std::optional<DialogAnswer> ViewWaits::dialog(const DialogRequest& request,
                                              const std::shared_ptr<EventQueue>& waiter,
                                              const ShowDialog& show) {
  auto wait = std::make_shared<DialogWait>();
  wait->request = request;
  {
    std::lock_guard lock(mutex_);
    if (closed_ || closedThreads_.count(request.thread) != 0) return std::nullopt;
    dialogs_.push_back(wait);
  }
  // The answer marks the thread busy at once, so a waitIdle right after answering cannot see
  // the thread still waiting before it has woken.
  show(request, [wait, waiter](DialogAnswer answer) {
    {
      std::lock_guard lock(wait->mutex);
      if (wait->answer) return;
      wait->answer = std::move(answer);
    }
    if (waiter) waiter->viewAnswered();
    wait->cv.notify_all();
  });
  if (waiter) {
    // Only a dialog still open counts as waiting: one the view answered at once (a scripted
    // answer) must not look like a pause to a test that waits for the thread to settle.
    std::lock_guard answered(wait->mutex);
    if (!wait->answer) waiter->beginViewWait();
  }
  DialogAnswer answer;
  {
    std::unique_lock lock(wait->mutex);
    wait->cv.wait(lock, [&] { return wait->answer.has_value(); });
    answer = *wait->answer;
  }
  {
    std::lock_guard lock(mutex_);
    dialogs_.erase(std::remove(dialogs_.begin(), dialogs_.end(), wait), dialogs_.end());
  }
  if (waiter) waiter->endViewWait();
  return answer;
}

bool ViewWaits::edit(DocumentEdit edit, const std::shared_ptr<EventQueue>& waiter,
                     const RunEdit& run) {
  auto wait = std::make_shared<EditWait>();
  {
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    edits_.push_back(wait);
  }
  DocumentEdit guarded = [wait, edit = std::move(edit)](QTextDocument& document,
                                                        TextSelection& selection) {
    {
      std::lock_guard lock(wait->mutex);
      if (wait->abandoned) return;
      wait->started = true;
    }
    edit(document, selection);
  };
  run(std::move(guarded), [wait, waiter](bool ran) {
    {
      std::lock_guard lock(wait->mutex);
      wait->finished = true;
      wait->ran = ran && wait->started;
    }
    if (waiter) waiter->viewAnswered();
    wait->cv.notify_all();
  });
  if (waiter) {
    // While the view has the edit, the caller waits for the view as for a dialog: a test that
    // waits for the program to settle must not wait for it (the view may be that test's thread).
    std::lock_guard done(wait->mutex);
    if (!wait->finished) waiter->beginViewWait();
  }
  bool ran = false;
  {
    std::unique_lock lock(wait->mutex);
    wait->cv.wait(lock, [&] { return wait->finished || (wait->halted && !wait->started); });
    if (!wait->finished) wait->abandoned = true;
    ran = wait->ran;
  }
  if (waiter) waiter->endViewWait();
  std::lock_guard lock(mutex_);
  edits_.erase(std::remove(edits_.begin(), edits_.end(), wait), edits_.end());
  return ran;
}

void ViewWaits::closeAll() {
  std::vector<std::shared_ptr<DialogWait>> dialogs;
  std::vector<std::shared_ptr<EditWait>> edits;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    dialogs = dialogs_;
    edits = edits_;
  }
  for (const auto& d : dialogs) d->refuse();
  for (const auto& e : edits) e->giveUp();
}

void ViewWaits::closeThread(ThreadId thread) {
  std::vector<std::shared_ptr<DialogWait>> dialogs;
  {
    std::lock_guard lock(mutex_);
    closedThreads_.insert(thread);
    for (const auto& d : dialogs_) {
      if (d->request.thread == thread) dialogs.push_back(d);
    }
  }
  for (const auto& d : dialogs) d->refuse();
}

}  // namespace marlo::win
