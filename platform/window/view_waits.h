// Program threads waiting for the view: for the answer to a dialog, or for an edit of a
// rich-text document to run where the view keeps it.
//
// Only the asking thread waits, never the view. While it waits the thread counts as settled
// (ThreadStatus::InDialog), so a test that waits for the program to settle does not wait for a
// person's answer. When the program halts or shuts down, every dialog is answered with its
// refusal (button::refusal: Cancel, else No, never a default that deletes or overwrites) and
// every edit the view has not started is given up; endThread does the same for the dialogs of
// one thread. A wait asked for after that is refused at once, under the same lock, so none is
// ever left waiting.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "platform/window/event_queue.h"
#include "platform/window/view.h"

namespace marlo::win {

// What a dialog nobody can answer any more answers: no path, no item, and the refusing button,
// never the default, which for some questions deletes or overwrites.
[[nodiscard]] DialogAnswer refusedAnswer(const DialogRequest& request);

class ViewWaits {
 public:
  // How a wait hands its request to the view.
  using ShowDialog = std::function<void(const DialogRequest&, AnswerFn)>;
  using RunEdit = std::function<void(DocumentEdit, std::function<void(bool)> done)>;

  ViewWaits() = default;
  ViewWaits(const ViewWaits&) = delete;
  ViewWaits& operator=(const ViewWaits&) = delete;

  // Shows the dialog and waits for its answer; `waiter` is the asking thread's queue (null off
  // program threads). Nullopt when waits are refused (halt, shutdown, the thread is ending).
  std::optional<DialogAnswer> dialog(const DialogRequest& request,
                                     const std::shared_ptr<EventQueue>& waiter,
                                     const ShowDialog& show);
  // Hands `edit` to the view and waits until it has run; false when it did not run (the view
  // found no such document, or the wait was refused or given up at a halt).
  bool edit(DocumentEdit edit, const std::shared_ptr<EventQueue>& waiter, const RunEdit& run);

  // Refuses every wait from now on and ends those in progress (halt and shutdown).
  void closeAll();
  // The same for the dialogs of one thread (endThread).
  void closeThread(ThreadId thread);

 private:
  struct DialogWait;
  struct EditWait;

  std::mutex mutex_;
  bool closed_ = false;
  std::set<ThreadId> closedThreads_;  // thread numbers are never reused
  std::vector<std::shared_ptr<DialogWait>> dialogs_;
  std::vector<std::shared_ptr<EditWait>> edits_;
};

}  // namespace marlo::win
