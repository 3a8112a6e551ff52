#include "platform/window/engine.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/window/window.h"

namespace marlo::win {

// One logical thread. The queue and the status are guarded by `mutex`; `windows` is
// touched only by the thread itself.
struct Engine::ThreadState {
  ThreadId id = 0;
  std::mutex mutex;
  std::condition_variable wake;      // the thread waits here for its next item
  std::condition_variable statusCv;  // waitIdle waits here
  std::deque<QueueItem> queue;
  ThreadStatus status = ThreadStatus::Busy;
  std::vector<Window*> windows;     // open windows, innermost last
  std::atomic<bool> ending{false};  // endThread asked it to end
  pthread_t handle{};
  bool joinable = false;
};

struct Engine::DialogWait {
  std::mutex mutex;
  std::condition_variable cv;
  std::optional<DialogAnswer> answer;
  DialogRequest request;
};

// One edit of a rich-text document on its way through the view. The caller may give up only
// while the edit has not started: once the view runs it, it runs on the caller's data to its end.
struct Engine::EditWait {
  std::mutex mutex;
  std::condition_variable cv;
  bool started = false;
  bool finished = false;
  bool ran = false;
  bool abandoned = false;
  bool halted = false;
};

namespace {

std::atomic<Engine*> gEngine{nullptr};
thread_local ThreadId tlsThreadId = 0;

// A thread's stack: glibc's default for a new thread is what the program's own code is tested
// with, so a smaller hint never lowers it.
constexpr std::size_t kMinimumStack = 8u * 1024u * 1024u;

// What a dialog the program ends (at a halt or shutdown) answers: no path, no item, and the
// refusing button, never the default, which for some questions deletes or overwrites.
DialogAnswer cancelledAnswer(const DialogRequest& request) {
  DialogAnswer a;
  a.button = button::refusal(request.buttons, request.defaultButton);
  return a;
}

}  // namespace

Engine::ThreadState*& Engine::tls() {
  thread_local ThreadState* state = nullptr;
  return state;
}

Engine::Engine(View& view) : view_(view) {
  Engine* expected = nullptr;
  if (!gEngine.compare_exchange_strong(expected, this)) {
    std::fputs("marlo: a second window engine was created while one exists\n", stderr);
    std::abort();
  }
}

Engine::~Engine() {
  shutdown();
  gEngine.store(nullptr);
}

Engine& Engine::instance() {
  Engine* e = gEngine.load();
  if (e == nullptr) {
    std::fputs("marlo: the window engine is used before it was created\n", stderr);
    std::abort();
  }
  return *e;
}

bool Engine::exists() {
  return gEngine.load() != nullptr;
}

// --- Threads --------------------------------------------------------------------------------

namespace {
struct StartArgs {
  Engine* engine = nullptr;
  std::shared_ptr<void> state;  // keeps the ThreadState alive while the thread runs
  std::function<void()> run;
};
void* threadEntry(void* raw) {
  std::unique_ptr<StartArgs> args(static_cast<StartArgs*>(raw));
  args->run();
  return nullptr;
}
}  // namespace

ThreadId Engine::start(std::function<void()> procedure, std::size_t stackHint) {
  auto state = std::make_shared<ThreadState>();
  {
    std::lock_guard lock(mutex_);
    if (shutDown_) return 0;
    state->id = nextThread_++;
    threads_[state->id] = state;
    ++runningThreads_;
  }
  auto args = std::make_unique<StartArgs>();
  args->engine = this;
  args->state = state;
  ThreadState* ts = state.get();
  args->run = [this, ts, procedure = std::move(procedure)] {
    tls() = ts;
    tlsThreadId = ts->id;
    try {
      procedure();
    } catch (const HaltUnwind&) {
      // halt() ended the procedure; its windows close below.
    }
    while (!ts->windows.empty()) ts->windows.back()->close();
    {
      std::lock_guard lock(ts->mutex);
      ts->status = ThreadStatus::Ended;
      ts->queue.clear();
      ts->statusCv.notify_all();
    }
    bool last = false;
    {
      std::lock_guard lock(mutex_);
      last = --runningThreads_ == 0;
      endedCv_.notify_all();
    }
    if (last) view_.programEnded();
  };

  const long page = ::sysconf(_SC_PAGESIZE);
  std::size_t stack = std::max(stackHint, kMinimumStack);
  if (page > 0)
    stack = (stack + static_cast<std::size_t>(page) - 1) / static_cast<std::size_t>(page) *
            static_cast<std::size_t>(page);
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, stack);
  StartArgs* raw = args.release();
  const int rc = pthread_create(&ts->handle, &attr, &threadEntry, raw);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete raw;
    std::fputs("marlo: cannot start a program thread\n", stderr);
    std::abort();
  }
  ts->joinable = true;
  return ts->id;
}

ThreadId Engine::currentThread() {
  return tlsThreadId;
}

std::shared_ptr<Engine::ThreadState> Engine::threadState(ThreadId thread) const {
  std::lock_guard lock(mutex_);
  const auto it = threads_.find(thread);
  return it == threads_.end() ? nullptr : it->second;
}

ThreadStatus Engine::status(ThreadId thread) const {
  const auto ts = threadState(thread);
  if (!ts) return ThreadStatus::Ended;
  std::lock_guard lock(ts->mutex);
  return ts->status;
}

bool Engine::isRunning(ThreadId thread) const {
  return status(thread) != ThreadStatus::Ended;
}

std::vector<ThreadId> Engine::runningThreads() const {
  std::vector<std::shared_ptr<ThreadState>> all;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [id, ts] : threads_) all.push_back(ts);
  }
  std::vector<ThreadId> out;
  for (const auto& ts : all) {
    std::lock_guard lock(ts->mutex);
    if (ts->status != ThreadStatus::Ended) out.push_back(ts->id);
  }
  return out;
}

ThreadStatus Engine::waitIdle(ThreadId thread) {
  const auto ts = threadState(thread);
  if (!ts) return ThreadStatus::Ended;
  std::unique_lock lock(ts->mutex);
  const bool done = ts->statusCv.wait_for(lock, std::chrono::seconds(guardSeconds_),
                                          [&] { return ts->status != ThreadStatus::Busy; });
  return done ? ts->status : ThreadStatus::Busy;
}

bool Engine::waitAllIdle() {
  for (int round = 0; round < 10000; ++round) {
    const std::uint64_t before = activity_.load();
    bool quiet = true;
    for (const ThreadId t : runningThreads()) {
      if (waitIdle(t) == ThreadStatus::Busy) return false;
    }
    for (const ThreadId t : runningThreads()) {
      if (status(t) == ThreadStatus::Busy) quiet = false;
    }
    if (quiet && activity_.load() == before) return true;
  }
  return false;
}

bool Engine::waitAllEnded() {
  std::unique_lock lock(mutex_);
  return endedCv_.wait_for(lock, std::chrono::seconds(guardSeconds_),
                           [&] { return runningThreads_ == 0; });
}

// --- Posting --------------------------------------------------------------------------------

std::shared_ptr<Engine::ThreadState> Engine::ownerOf(WindowHandle window, ThreadId* thread) const {
  std::lock_guard lock(mutex_);
  const auto it = windows_.find(window);
  if (it == windows_.end()) return nullptr;
  if (thread != nullptr) *thread = it->second.thread;
  const auto t = threads_.find(it->second.thread);
  return t == threads_.end() ? nullptr : t->second;
}

bool Engine::enqueue(WindowHandle window, QueueItem item) {
  const auto ts = ownerOf(window);
  if (!ts) return false;
  item.window = window;
  std::lock_guard lock(ts->mutex);
  if (ts->status == ThreadStatus::Ended) return false;
  ts->queue.push_back(std::move(item));
  ++activity_;
  // A thread in a dialog stays "in a dialog": the event waits for its loop.
  if (ts->status == ThreadStatus::Idle) ts->status = ThreadStatus::Busy;
  ts->wake.notify_all();
  return true;
}

bool Engine::post(WindowHandle window, EventCode code, int control) {
  QueueItem item;
  item.kind = QueueItem::Kind::Event;
  item.event.code = code;
  item.event.window = window;
  item.event.control = control;
  return enqueue(window, std::move(item));
}

bool Engine::postToThread(ThreadId thread, EventCode code, int control) {
  const auto ts = threadState(thread);
  if (!ts) return false;
  QueueItem item;
  item.kind = QueueItem::Kind::Event;
  item.event.code = code;
  item.event.control = control;
  std::lock_guard lock(ts->mutex);
  if (ts->status == ThreadStatus::Ended) return false;
  ts->queue.push_back(std::move(item));
  ++activity_;
  if (ts->status == ThreadStatus::Idle) ts->status = ThreadStatus::Busy;
  ts->wake.notify_all();
  return true;
}

bool Engine::sendInput(WindowHandle window, Input input) {
  QueueItem item;
  item.kind = QueueItem::Kind::Input;
  item.input = std::move(input);
  return enqueue(window, std::move(item));
}

bool Engine::postMessage(WindowHandle window, unsigned msg, std::uintptr_t wParam,
                         std::intptr_t lParam) {
  QueueItem item;
  item.kind = QueueItem::Kind::Message;
  item.message = msg;
  item.wParam = wParam;
  item.lParam = lParam;
  return enqueue(window, std::move(item));
}

std::intptr_t Engine::defaultWindowProc(WindowHandle window, unsigned msg, std::uintptr_t,
                                        std::intptr_t) {
  if (msg == message::Close && exists()) instance().post(window, event::CloseWindow);
  return 0;
}

// Runs on the window's own thread. Messages for any window of the thread are dispatched while
// waiting, as a modal loop dispatches them; events wait for their own window's loop.
bool Engine::take(Window& window, QueueItem& out) {
  ThreadState* ts = tls();
  if (ts == nullptr) return false;
  std::unique_lock lock(ts->mutex);
  for (;;) {
    if (halting_.load() || window.closed_ || ts->ending.load()) return false;
    const bool innermost = !ts->windows.empty() && ts->windows.back() == &window;
    bool dispatched = false;
    for (auto it = ts->queue.begin(); it != ts->queue.end();) {
      if (it->window != 0 && it->window != window.handle()) {
        const auto w = std::find_if(ts->windows.begin(), ts->windows.end(),
                                    [&](const Window* x) { return x->handle() == it->window; });
        if (w == ts->windows.end()) {
          it = ts->queue.erase(it);  // for a window that has closed
          continue;
        }
        if (it->kind == QueueItem::Kind::Message) {
          QueueItem item = std::move(*it);
          ts->queue.erase(it);
          Window* target = *w;
          lock.unlock();
          target->applyMessage(item.message, item.wParam, item.lParam);
          lock.lock();
          dispatched = true;
          break;
        }
        ++it;
        continue;
      }
      if (it->window == 0 && !innermost) {
        ++it;
        continue;
      }
      out = std::move(*it);
      ts->queue.erase(it);
      if (out.kind == QueueItem::Kind::Message) {
        lock.unlock();
        window.applyMessage(out.message, out.wParam, out.lParam);
        lock.lock();
        dispatched = true;
        break;
      }
      ts->status = ThreadStatus::Busy;
      return true;
    }
    if (dispatched) continue;
    ts->status = ThreadStatus::Idle;
    ts->statusCv.notify_all();
    ts->wake.wait(lock);
    if (ts->status == ThreadStatus::Idle) ts->status = ThreadStatus::Busy;
  }
}

bool Engine::endThread(ThreadId thread) {
  const auto ts = threadState(thread);
  if (!ts) return false;
  std::vector<std::shared_ptr<DialogWait>> dialogs;
  {
    // Under the lock runDialog checks the flag with: a dialog is either refused there or
    // found here.
    std::lock_guard lock(mutex_);
    ts->ending.store(true);
    for (const auto& d : dialogs_) {
      if (d->request.thread == thread) dialogs.push_back(d);
    }
  }
  for (const auto& d : dialogs) {
    std::lock_guard lock(d->mutex);
    if (!d->answer) d->answer = cancelledAnswer(d->request);
    d->cv.notify_all();
  }
  std::lock_guard lock(ts->mutex);
  ts->wake.notify_all();
  return ts->status != ThreadStatus::Ended;
}

void Engine::waitForEnd(ThreadId thread) {
  const auto ts = threadState(thread);
  if (!ts) return;
  std::unique_lock lock(ts->mutex);
  ts->statusCv.wait(lock, [&] { return ts->status == ThreadStatus::Ended; });
}

bool Engine::ending() {
  const ThreadState* ts = tls();
  return ts != nullptr && ts->ending.load();
}

void Engine::yield() {
  ThreadState* ts = tls();
  if (ts != nullptr) {
    std::unique_lock lock(ts->mutex);
    for (auto it = ts->queue.begin(); it != ts->queue.end();) {
      if (it->kind != QueueItem::Kind::Message) {
        ++it;
        continue;
      }
      const QueueItem item = *it;
      ts->queue.erase(it);
      Window* target = nullptr;
      for (Window* w : ts->windows) {
        if (w->handle() == item.window) target = w;
      }
      lock.unlock();
      if (target != nullptr) target->applyMessage(item.message, item.wParam, item.lParam);
      lock.lock();
      it = ts->queue.begin();  // the procedure may have queued more
    }
  }
  std::this_thread::yield();
}

// --- Windows --------------------------------------------------------------------------------

WindowHandle Engine::registerWindow(Window& window) {
  WindowHandle handle = 0;
  {
    std::lock_guard lock(mutex_);
    handle = nextWindow_++;
    WindowInfo info{handle, tlsThreadId, window.props_.title, window.props_.visible,
                    window.props_.state};
    windows_[handle] = info;
    windowOrder_.push_back(handle);
  }
  tls()->windows.push_back(&window);
  return handle;
}

void Engine::unregisterWindow(Window& window) {
  const WindowHandle handle = window.handle();
  std::vector<TrayIcon> icons;
  {
    std::lock_guard lock(mutex_);
    windows_.erase(handle);
    windowOrder_.erase(std::remove(windowOrder_.begin(), windowOrder_.end(), handle),
                       windowOrder_.end());
    timers_.erase(handle);
    for (auto it = tray_.begin(); it != tray_.end();) {
      if (it->window == handle) {
        icons.push_back(*it);
        it = tray_.erase(it);
      } else {
        ++it;
      }
    }
    if (active_ == handle) active_ = 0;
  }
  if (ThreadState* ts = tls()) {
    std::lock_guard lock(ts->mutex);
    ts->queue.erase(std::remove_if(ts->queue.begin(), ts->queue.end(),
                                   [&](const QueueItem& q) { return q.window == handle; }),
                    ts->queue.end());
    ts->windows.erase(std::remove(ts->windows.begin(), ts->windows.end(), &window),
                      ts->windows.end());
  }
  // An icon outlives no window: the desktop would keep a dead icon until the mouse passes it.
  for (const auto& icon : icons) view_.trayRemove(icon.window, icon.id);
}

Window* Engine::ownWindow(WindowHandle window) const {
  ThreadState* ts = tls();
  if (ts == nullptr) return nullptr;
  const auto it = std::find_if(ts->windows.begin(), ts->windows.end(),
                               [&](const Window* w) { return w->handle() == window; });
  return it == ts->windows.end() ? nullptr : *it;
}

Window* Engine::innermostWindow() const {
  ThreadState* ts = tls();
  return ts == nullptr || ts->windows.empty() ? nullptr : ts->windows.back();
}

// Only the innermost window of a thread takes input: the ones below wait for it to close.
void Engine::refreshEnabled() {
  ThreadState* ts = tls();
  if (ts == nullptr) return;
  for (Window* w : ts->windows) {
    const bool want = w == ts->windows.back();
    if (w->props_.enabled != want) {
      w->props_.enabled = want;
      w->notifyWindow();
    }
  }
}

void Engine::windowPropsChanged(const WindowProps& props) {
  std::lock_guard lock(mutex_);
  const auto it = windows_.find(props.handle);
  if (it == windows_.end()) return;
  it->second.title = props.title;
  it->second.visible = props.visible;
  it->second.state = props.state;
}

bool Engine::isOpen(WindowHandle window) const {
  std::lock_guard lock(mutex_);
  return windows_.count(window) != 0;
}

ThreadId Engine::threadOf(WindowHandle window) const {
  std::lock_guard lock(mutex_);
  const auto it = windows_.find(window);
  return it == windows_.end() ? 0 : it->second.thread;
}

std::vector<WindowInfo> Engine::openWindows() const {
  std::lock_guard lock(mutex_);
  std::vector<WindowInfo> out;
  for (const WindowHandle h : windowOrder_) out.push_back(windows_.at(h));
  return out;
}

std::optional<WindowInfo> Engine::windowInfo(WindowHandle window) const {
  std::lock_guard lock(mutex_);
  const auto it = windows_.find(window);
  if (it == windows_.end()) return std::nullopt;
  return it->second;
}

WindowHandle Engine::activeWindow() const {
  std::lock_guard lock(mutex_);
  return active_;
}

void Engine::activate(WindowHandle window) {
  WindowHandle previous = 0;
  {
    std::lock_guard lock(mutex_);
    if (windows_.count(window) == 0 || active_ == window) return;
    previous = active_;
    active_ = window;
  }
  if (previous != 0) post(previous, event::LoseFocus);
  post(window, event::GainFocus);
  view_.activateWindow(window);
}

// --- Tray -----------------------------------------------------------------------------------

bool Engine::trayAdd(const TrayIcon& icon) {
  if (!isOpen(icon.window)) return false;
  if (!view_.trayAdd(icon)) return false;
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(tray_.begin(), tray_.end(), [&](const TrayIcon& t) {
    return t.window == icon.window && t.id == icon.id;
  });
  if (it != tray_.end()) {
    *it = icon;
  } else {
    tray_.push_back(icon);
  }
  return true;
}

bool Engine::trayRemove(WindowHandle window, unsigned id) {
  {
    std::lock_guard lock(mutex_);
    const auto it = std::find_if(tray_.begin(), tray_.end(), [&](const TrayIcon& t) {
      return t.window == window && t.id == id;
    });
    if (it == tray_.end()) return false;
    tray_.erase(it);
  }
  return view_.trayRemove(window, id);
}

std::vector<TrayIcon> Engine::trayIcons() const {
  std::lock_guard lock(mutex_);
  return tray_;
}

bool Engine::trayAction(WindowHandle window, unsigned id, TrayAction action) {
  TrayIcon icon;
  {
    std::lock_guard lock(mutex_);
    const auto it = std::find_if(tray_.begin(), tray_.end(), [&](const TrayIcon& t) {
      return t.window == window && t.id == id;
    });
    if (it == tray_.end()) return false;
    icon = *it;
  }
  unsigned mouse = message::LeftButtonUp;
  switch (action) {
    case TrayAction::Activate:
      mouse = message::LeftButtonUp;
      break;
    case TrayAction::DoubleActivate:
      mouse = message::LeftButtonDoubleClick;
      break;
    case TrayAction::Context:
      mouse = message::RightButtonUp;
      break;
    case TrayAction::ContextPress:
      mouse = message::RightButtonDown;
      break;
  }
  return postMessage(window, icon.callbackMessage, icon.id, static_cast<std::intptr_t>(mouse));
}

// --- Clock and timers -------------------------------------------------------------------------

std::int64_t Engine::ticks() const {
  if (manual_) return manualTicks_;
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() / 10;
}

void Engine::setManualClock(Moment moment) {
  clock_.setManual(moment);
  std::lock_guard lock(mutex_);
  manual_ = true;
  for (auto& [w, t] : timers_) t.due = manualTicks_ + t.period;
  tickerWake_.notify_all();
}

bool Engine::manualClock() const {
  std::lock_guard lock(mutex_);
  return manual_;
}

void Engine::setTimer(WindowHandle window, std::int64_t period) {
  std::lock_guard lock(mutex_);
  if (period <= 0) {
    timers_.erase(window);
    return;
  }
  timers_[window] = TimerEntry{window, period, ticks() + period, false};
  if (!manual_ && !ticker_.joinable() && !shutDown_)
    ticker_ = std::thread([this] { tickerLoop(); });
  tickerWake_.notify_all();
}

void Engine::timerTaken(WindowHandle window) {
  std::lock_guard lock(mutex_);
  const auto it = timers_.find(window);
  if (it != timers_.end()) it->second.pending = false;
}

void Engine::fireTimers(std::int64_t now) {
  std::vector<WindowHandle> due;
  {
    std::lock_guard lock(mutex_);
    for (auto& [w, t] : timers_) {
      if (now < t.due) continue;
      const std::int64_t missed = (now - t.due) / t.period;
      t.due += (missed + 1) * t.period;
      if (!t.pending) {
        t.pending = true;
        due.push_back(w);
      }
    }
  }
  for (const WindowHandle w : due) {
    QueueItem item;
    item.kind = QueueItem::Kind::Tick;
    enqueue(w, std::move(item));
  }
}

void Engine::advanceClock(std::int64_t hundredths) {
  std::int64_t now = 0;
  {
    std::lock_guard lock(mutex_);
    if (!manual_ || hundredths < 0) return;
    manualTicks_ += hundredths;
    now = manualTicks_;
  }
  clock_.advance(hundredths);
  fireTimers(now);
}

// Real-clock timers: one helper thread sleeps until the earliest timer is due.
void Engine::tickerLoop() {
  std::unique_lock lock(mutex_);
  while (!shutDown_) {
    if (manual_) {
      tickerWake_.wait(lock);
      continue;
    }
    std::int64_t next = std::numeric_limits<std::int64_t>::max();
    for (const auto& [w, t] : timers_) next = std::min(next, t.due);
    if (next == std::numeric_limits<std::int64_t>::max()) {
      tickerWake_.wait(lock);
      continue;
    }
    const std::int64_t now = ticks();
    if (now < next) {
      tickerWake_.wait_for(lock, std::chrono::milliseconds((next - now) * 10));
      continue;
    }
    lock.unlock();
    fireTimers(now);
    lock.lock();
  }
}

// --- Rich-text documents -----------------------------------------------------------------------

bool Engine::editDocument(WindowHandle window, int control, DocumentEdit edit) {
  if (halting_.load() || !isOpen(window)) return false;
  auto wait = std::make_shared<EditWait>();
  {
    std::lock_guard lock(mutex_);
    if (shutDown_) return false;
    edits_.push_back(wait);
  }
  ThreadState* ts = tls();
  // While the view has the edit, the caller waits for the view as for a dialog: a test that
  // waits for the program to settle must not wait for it (the view may be that test's thread).
  std::shared_ptr<ThreadState> owner = ts != nullptr ? threadState(ts->id) : nullptr;
  DocumentEdit guarded = [wait, edit = std::move(edit)](QTextDocument& document,
                                                        TextSelection& selection) {
    {
      std::lock_guard lock(wait->mutex);
      if (wait->abandoned) return;
      wait->started = true;
    }
    edit(document, selection);
  };
  view_.editDocument(window, control, std::move(guarded), [wait, owner](bool ran) {
    {
      std::lock_guard lock(wait->mutex);
      wait->finished = true;
      wait->ran = ran && wait->started;
    }
    if (owner) {
      std::lock_guard lock(owner->mutex);
      if (owner->status == ThreadStatus::InDialog) owner->status = ThreadStatus::Busy;
    }
    wait->cv.notify_all();
  });
  if (owner) {
    std::lock_guard done(wait->mutex);
    if (!wait->finished) {
      std::lock_guard lock(owner->mutex);
      owner->status = ThreadStatus::InDialog;
      owner->statusCv.notify_all();
    }
  }
  bool ran = false;
  {
    std::unique_lock lock(wait->mutex);
    wait->cv.wait(lock, [&] { return wait->finished || (wait->halted && !wait->started); });
    if (!wait->finished) wait->abandoned = true;
    ran = wait->ran;
  }
  if (ts != nullptr) {
    std::lock_guard lock(ts->mutex);
    ts->status = ThreadStatus::Busy;
    ++activity_;
  }
  std::lock_guard lock(mutex_);
  edits_.erase(std::remove(edits_.begin(), edits_.end(), wait), edits_.end());
  return ran;
}

void Engine::releaseEdits() {
  std::vector<std::shared_ptr<EditWait>> edits;
  {
    std::lock_guard lock(mutex_);
    edits = edits_;
  }
  for (const auto& e : edits) {
    std::lock_guard lock(e->mutex);
    e->halted = true;
    e->cv.notify_all();
  }
}

// --- Dialogs and halt -------------------------------------------------------------------------

DialogAnswer Engine::runDialog(DialogRequest request) {
  if (request.thread == 0) request.thread = tlsThreadId;
  if (request.owner == 0) {
    if (Window* w = innermostWindow()) request.owner = w->handle();
  }
  auto wait = std::make_shared<DialogWait>();
  wait->request = request;
  {
    // Checked under the lock halt() takes to collect the waiting dialogs: a dialog is either
    // refused here or found and answered there, never left waiting after a halt.
    std::lock_guard lock(mutex_);
    if (shutDown_ || halting_.load() || ending()) return cancelledAnswer(request);
    dialogs_.push_back(wait);
  }
  ThreadState* ts = tls();
  // The answer marks the thread busy at once, so a waitIdle right after answering cannot see
  // the thread still "in a dialog" before it has woken.
  std::shared_ptr<ThreadState> owner = ts != nullptr ? threadState(ts->id) : nullptr;
  view_.showDialog(request, [wait, owner](DialogAnswer answer) {
    {
      std::lock_guard lock(wait->mutex);
      if (wait->answer) return;
      wait->answer = std::move(answer);
    }
    if (owner) {
      std::lock_guard lock(owner->mutex);
      if (owner->status == ThreadStatus::InDialog) owner->status = ThreadStatus::Busy;
    }
    wait->cv.notify_all();
  });
  if (owner) {
    // Only a dialog still open counts as waiting: one the view answered at once (a scripted
    // answer) must not look like a pause to a test that waits for the thread to settle.
    std::lock_guard answered(wait->mutex);
    if (!wait->answer) {
      std::lock_guard lock(owner->mutex);
      owner->status = ThreadStatus::InDialog;
      owner->statusCv.notify_all();
    }
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
  if (ts != nullptr) {
    std::lock_guard lock(ts->mutex);
    ts->status = ThreadStatus::Busy;
    ++activity_;
  }
  return answer;
}

void Engine::setHaltHandler(std::function<void(int, std::string_view)> handler) {
  std::lock_guard lock(mutex_);
  haltHandler_ = std::move(handler);
}

std::optional<int> Engine::haltCode() const {
  std::lock_guard lock(mutex_);
  return haltCode_;
}

bool Engine::halting() const {
  return halting_.load();
}

void Engine::halt(int code, std::string_view text) {
  std::function<void(int, std::string_view)> handler;
  std::vector<std::shared_ptr<DialogWait>> dialogs;
  std::vector<std::shared_ptr<ThreadState>> threads;
  {
    std::lock_guard lock(mutex_);
    handler = haltHandler_;
    if (!haltCode_) haltCode_ = code;
  }
  if (handler) handler(code, text);
  {
    std::lock_guard lock(mutex_);
    halting_.store(true);
    dialogs = dialogs_;
    for (const auto& [id, ts] : threads_) threads.push_back(ts);
  }
  for (const auto& d : dialogs) {
    std::lock_guard lock(d->mutex);
    if (!d->answer) d->answer = cancelledAnswer(d->request);
    d->cv.notify_all();
  }
  releaseEdits();
  for (const auto& ts : threads) {
    std::lock_guard lock(ts->mutex);
    ts->wake.notify_all();
  }
  if (tls() != nullptr) throw HaltUnwind{code};
}

void Engine::shutdown() {
  // A program thread cannot join itself: from there, shutting down is halting.
  if (tls() != nullptr) {
    halt(0, "shutdown");
    return;
  }
  {
    std::lock_guard lock(mutex_);
    if (shutDown_) return;
  }
  {
    // Ending every loop is what a halt does, without recording a halt code.
    std::lock_guard lock(mutex_);
    halting_.store(true);
    shutDown_ = true;
    tickerWake_.notify_all();
  }
  std::vector<std::shared_ptr<DialogWait>> dialogs;
  std::vector<std::shared_ptr<ThreadState>> threads;
  {
    std::lock_guard lock(mutex_);
    dialogs = dialogs_;
    for (const auto& [id, ts] : threads_) threads.push_back(ts);
  }
  for (const auto& d : dialogs) {
    std::lock_guard lock(d->mutex);
    if (!d->answer) d->answer = cancelledAnswer(d->request);
    d->cv.notify_all();
  }
  releaseEdits();
  for (const auto& ts : threads) {
    {
      std::lock_guard lock(ts->mutex);
      ts->wake.notify_all();
    }
    if (ts->joinable) {
      pthread_join(ts->handle, nullptr);
      ts->joinable = false;
    }
  }
  if (ticker_.joinable()) ticker_.join();
}

}  // namespace marlo::win
