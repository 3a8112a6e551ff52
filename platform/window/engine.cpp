#include "platform/window/engine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/window/window.h"

namespace marlo::win {

namespace {

std::atomic<Engine*> gEngine{nullptr};

// The window of a thread with this handle; null when the thread has no such window open.
Window* windowOf(const ProgramThread& thread, WindowHandle handle) {
  const auto it = std::find_if(thread.windows.begin(), thread.windows.end(),
                               [&](const Window* w) { return w->handle() == handle; });
  return it == thread.windows.end() ? nullptr : *it;
}

}  // namespace

Engine::Engine(View& view)
    : view_(view), timers_([this](WindowHandle window) {
        QueueItem item;
        item.kind = QueueItem::Kind::Tick;
        enqueue(window, std::move(item));
      }) {
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

// One engine exists per process and it joins its threads before it goes, so a program thread's
// engine is the process's.
Engine* Engine::current() {
  return ProgramThreads::current() != nullptr ? gEngine.load() : nullptr;
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

Engine* Engine::find() {
  return gEngine.load();
}

// --- Threads --------------------------------------------------------------------------------

ThreadId Engine::start(std::function<void()> procedure, std::size_t stackHint) {
  return threads_.start([this, procedure = std::move(procedure)] { runThread(procedure); },
                        stackHint,
                        [this](bool last) {
                          if (last) view_.programEnded();
                        });
}

void Engine::runThread(const std::function<void()>& procedure) {
  try {
    procedure();
  } catch (const HaltUnwind&) {
    // halt() ended the procedure; its windows close below.
  }
  ProgramThread* self = ProgramThreads::current();
  while (!self->windows.empty()) self->windows.back()->close();
}

ThreadId Engine::currentThread() {
  const ProgramThread* self = ProgramThreads::current();
  return self != nullptr ? self->id : 0;
}

ThreadStatus Engine::status(ThreadId thread) const {
  return threads_.status(thread);
}

bool Engine::isRunning(ThreadId thread) const {
  return status(thread) != ThreadStatus::Ended;
}

std::vector<ThreadId> Engine::runningThreads() const {
  return threads_.running();
}

ThreadStatus Engine::waitIdle(ThreadId thread) {
  return threads_.waitIdle(thread);
}

bool Engine::waitAllIdle() {
  return threads_.waitAllIdle();
}

bool Engine::waitAllEnded() {
  return threads_.waitAllEnded();
}

bool Engine::endThread(ThreadId thread) {
  const auto t = threads_.find(thread);
  if (!t) return false;
  t->queue.requestEnd();
  waits_.closeThread(thread);
  return t->queue.status() != ThreadStatus::Ended;
}

void Engine::waitForEnd(ThreadId thread) {
  if (const auto t = threads_.find(thread)) t->queue.waitEnded();
}

bool Engine::ending() {
  const ProgramThread* self = ProgramThreads::current();
  return self != nullptr && self->queue.endRequested();
}

void Engine::yield() {
  if (ProgramThread* self = ProgramThreads::current()) {
    self->queue.dispatchMessages([self](const QueueItem& item) { dispatchMessage(*self, item); });
  }
  std::this_thread::yield();
}

// --- Posting --------------------------------------------------------------------------------

std::shared_ptr<EventQueue> Engine::queueOf(ProgramThread* thread) const {
  const auto t = thread != nullptr ? threads_.find(thread->id) : nullptr;
  return t ? std::shared_ptr<EventQueue>(t, &t->queue) : nullptr;
}

bool Engine::push(const std::shared_ptr<ProgramThread>& thread, QueueItem item) {
  return thread && thread->queue.push(std::move(item));
}

bool Engine::enqueue(WindowHandle window, QueueItem item) {
  item.window = window;
  return push(threads_.find(windows_.threadOf(window)), std::move(item));
}

bool Engine::post(WindowHandle window, EventCode code, int control) {
  QueueItem item;
  item.event = Event{code, window, control, 0, 0};
  return enqueue(window, std::move(item));
}

bool Engine::postToThread(ThreadId thread, EventCode code, int control) {
  QueueItem item;
  item.event = Event{code, 0, control, 0, 0};
  return push(threads_.find(thread), std::move(item));
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
// waiting, as a modal loop dispatches them; events wait for their own window's loop, and those
// posted to the thread for its innermost window.
std::optional<QueueItem> Engine::take(Window& window) {
  ProgramThread* self = ProgramThreads::current();
  if (self == nullptr) return std::nullopt;
  using Route = EventQueue::Route;
  const auto route = [&](const QueueItem& item) {
    const bool mine =
        item.window == window.handle() ||
        (item.window == 0 && !self->windows.empty() && self->windows.back() == &window);
    if (mine) return item.kind == QueueItem::Kind::Message ? Route::Dispatch : Route::Take;
    if (item.window == 0) return Route::Keep;
    if (windowOf(*self, item.window) == nullptr) return Route::Drop;  // its window has closed
    return item.kind == QueueItem::Kind::Message ? Route::Dispatch : Route::Keep;
  };
  const auto dispatch = [self](const QueueItem& item) { dispatchMessage(*self, item); };
  return self->queue.next(route, dispatch, [&] { return halting_.load() || window.closed_; });
}

// --- Windows --------------------------------------------------------------------------------

WindowHandle Engine::registerWindow(Window& window) {
  ProgramThread* self = ProgramThreads::current();
  const WindowHandle handle = windows_.add(self->id, window.props_);
  self->windows.push_back(&window);
  return handle;
}

void Engine::unregisterWindow(Window& window) {
  const WindowHandle handle = window.handle();
  windows_.remove(handle);
  timers_.remove(handle);
  const std::vector<TrayIcon> icons = tray_.removeAll(handle);
  if (ProgramThread* self = ProgramThreads::current()) {
    self->queue.drop(handle);
    self->windows.erase(std::remove(self->windows.begin(), self->windows.end(), &window),
                        self->windows.end());
  }
  // An icon outlives no window: the desktop would keep a dead icon until the mouse passes it.
  for (const auto& icon : icons) view_.trayRemove(icon.window, icon.id);
}

Window* Engine::ownWindow(WindowHandle window) const {
  const ProgramThread* self = ProgramThreads::current();
  return self != nullptr ? windowOf(*self, window) : nullptr;
}

void Engine::dispatchMessage(const ProgramThread& thread, const QueueItem& item) {
  if (Window* target = windowOf(thread, item.window))
    target->applyMessage(item.message, item.wParam, item.lParam);
}

Window* Engine::innermostWindow() {
  const ProgramThread* self = ProgramThreads::current();
  return self == nullptr || self->windows.empty() ? nullptr : self->windows.back();
}

// Only the innermost window of a thread takes input: the ones below wait for it to close.
void Engine::refreshEnabled() {
  const ProgramThread* self = ProgramThreads::current();
  if (self == nullptr) return;
  for (Window* w : self->windows) {
    const bool want = w == self->windows.back();
    if (w->props_.enabled != want) {
      w->props_.enabled = want;
      w->notifyWindow();
    }
  }
}

bool Engine::isOpen(WindowHandle window) const {
  return windows_.isOpen(window);
}

ThreadId Engine::threadOf(WindowHandle window) const {
  return windows_.threadOf(window);
}

std::vector<WindowInfo> Engine::openWindows() const {
  return windows_.all();
}

std::optional<WindowInfo> Engine::windowInfo(WindowHandle window) const {
  return windows_.info(window);
}

WindowHandle Engine::activeWindow() const {
  return windows_.active();
}

void Engine::activate(WindowHandle window) {
  const std::optional<WindowHandle> previous = windows_.activate(window);
  if (!previous) return;
  if (*previous != 0) post(*previous, event::LoseFocus);
  post(window, event::GainFocus);
  view_.activateWindow(window);
}

// --- Tray -----------------------------------------------------------------------------------

bool Engine::trayAdd(const TrayIcon& icon) {
  if (!isOpen(icon.window) || !view_.trayAdd(icon)) return false;
  tray_.put(icon);
  return true;
}

bool Engine::trayRemove(WindowHandle window, unsigned id) {
  return tray_.remove(window, id) && view_.trayRemove(window, id);
}

std::vector<TrayIcon> Engine::trayIcons() const {
  return tray_.all();
}

bool Engine::trayAction(WindowHandle window, unsigned id, TrayAction action) {
  const std::optional<TrayIcon> icon = tray_.find(window, id);
  if (!icon) return false;
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
  return postMessage(window, icon->callbackMessage, icon->id, static_cast<std::intptr_t>(mouse));
}

bool Engine::trayMessage(const TrayMessage& message) {
  return tray_.find(message.window, message.id).has_value() && view_.trayMessage(message);
}

// --- Clock ----------------------------------------------------------------------------------

void Engine::setManualClock(Moment moment) {
  timers_.setManual(moment);
}

bool Engine::manualClock() const {
  return timers_.manual();
}

void Engine::advanceClock(std::int64_t hundredths) {
  timers_.advance(hundredths);
}

// --- Waits for the view ---------------------------------------------------------------------

bool Engine::editDocument(WindowHandle window, int control, DocumentEdit edit) {
  if (halting_.load() || !isOpen(window)) return false;
  return waits_.edit(std::move(edit), queueOf(ProgramThreads::current()),
                     [&](DocumentEdit guarded, std::function<void(bool)> done) {
                       view_.editDocument(window, control, std::move(guarded), std::move(done));
                     });
}

DialogAnswer Engine::runDialog(DialogRequest request) {
  if (request.thread == 0) request.thread = currentThread();
  if (request.owner == 0) {
    if (Window* w = innermostWindow()) request.owner = w->handle();
  }
  if (halting_.load() || ending()) return refusedAnswer(request);
  const std::optional<DialogAnswer> answer = waits_.dialog(
      request, queueOf(ProgramThreads::current()),
      [this](const DialogRequest& r, AnswerFn a) { view_.showDialog(r, std::move(a)); });
  return answer ? *answer : refusedAnswer(request);
}

// --- Halt -----------------------------------------------------------------------------------

void Engine::setHaltHandler(std::function<void(int, std::string_view)> handler) {
  std::lock_guard lock(haltMutex_);
  haltHandler_ = std::move(handler);
}

std::optional<int> Engine::haltCode() const {
  std::lock_guard lock(haltMutex_);
  return haltCode_;
}

bool Engine::halting() const {
  return halting_.load();
}

void Engine::endLoops() {
  halting_.store(true);
  waits_.closeAll();
  threads_.wakeAll();
}

void Engine::halt(int code, std::string_view text) {
  std::function<void(int, std::string_view)> handler;
  {
    std::lock_guard lock(haltMutex_);
    handler = haltHandler_;
    if (!haltCode_) haltCode_ = code;
  }
  if (handler) handler(code, text);
  endLoops();
  if (ProgramThreads::current() != nullptr) throw HaltUnwind{code};
}

void Engine::shutdown() {
  // A program thread cannot join itself: from there, shutting down is halting.
  if (ProgramThreads::current() != nullptr) {
    halt(0, "shutdown");
    return;
  }
  if (!threads_.close()) return;
  // Ending every loop is what a halt does, without recording a halt code.
  endLoops();
  timers_.stop();
  threads_.joinAll();
}

}  // namespace marlo::win
