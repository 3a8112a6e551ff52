#include "platform/headless/headless_view.h"

#include <algorithm>
#include <chrono>

namespace marlo::headless {

void HeadlessView::changed() {
  ++version_;
  changed_.notify_all();
}

void HeadlessView::windowOpened(const WindowSnapshot& window) {
  std::lock_guard lock(mutex_);
  Screen s;
  s.props = window.props;
  for (const auto& c : window.controls) s.controls[c.number] = c;
  screens_[window.props.handle] = std::move(s);
  opened_.push_back(window.props.title);
  changed();
}

void HeadlessView::windowChanged(const WindowProps& props) {
  std::lock_guard lock(mutex_);
  const auto it = screens_.find(props.handle);
  if (it != screens_.end()) it->second.props = props;
  changed();
}

void HeadlessView::controlChanged(WindowHandle window, const ControlState& control) {
  std::lock_guard lock(mutex_);
  const auto it = screens_.find(window);
  if (it != screens_.end()) it->second.controls[control.number] = control;
  changed();
}

void HeadlessView::windowClosed(WindowHandle window) {
  std::lock_guard lock(mutex_);
  screens_.erase(window);
  if (active_ == window) active_ = 0;
  changed();
}

void HeadlessView::activateWindow(WindowHandle window) {
  std::lock_guard lock(mutex_);
  active_ = window;
  changed();
}

void HeadlessView::focusControl(WindowHandle window, int control) {
  std::lock_guard lock(mutex_);
  const auto it = screens_.find(window);
  if (it != screens_.end()) it->second.focus = control;
  changed();
}

void HeadlessView::editDocument(WindowHandle window, int control, DocumentEdit edit,
                                std::function<void(bool)> done) {
  std::lock_guard turn(editing_);
  std::shared_ptr<QTextDocument> document;
  TextSelection selection;
  {
    std::lock_guard lock(mutex_);
    const auto it = screens_.find(window);
    if (it != screens_.end()) {
      const auto c = it->second.controls.find(control);
      if (c != it->second.controls.end() && c->second.kind == ControlKind::RichText)
        document = c->second.document;
      selection = it->second.selections[control];
    }
  }
  if (!document) {
    done(false);
    return;
  }
  // The view's lock is not held while the edit runs: reading or writing a long document takes
  // a while, and the screen stays readable meanwhile.
  edit(*document, selection);
  {
    std::lock_guard lock(mutex_);
    const auto it = screens_.find(window);
    if (it != screens_.end()) it->second.selections[control] = selection;
    changed();
  }
  done(true);
}

void HeadlessView::showDialog(const DialogRequest& request, AnswerFn answer) {
  std::unique_lock lock(mutex_);
  ShownDialog shown{request, {}, false};
  const auto scripted = std::find_if(script_.begin(), script_.end(),
                                     [&](const auto& s) { return s.first == request.kind; });
  if (scripted != script_.end()) {
    shown.answer = scripted->second;
    shown.answered = true;
    script_.erase(scripted);
    shown_.push_back(shown);
    changed();
    lock.unlock();
    answer(shown.answer);
    return;
  }
  shown_.push_back(shown);
  waiting_.emplace_back(shown_.size() - 1, std::move(answer));
  changed();
}

void HeadlessView::script(DialogRequest::Kind kind, DialogAnswer answer) {
  std::lock_guard lock(mutex_);
  script_.emplace_back(kind, std::move(answer));
}

std::vector<HeadlessView::ShownDialog> HeadlessView::dialogs() const {
  std::lock_guard lock(mutex_);
  return shown_;
}

std::optional<DialogRequest> HeadlessView::waitingDialog() const {
  std::lock_guard lock(mutex_);
  if (waiting_.empty()) return std::nullopt;
  return shown_[waiting_.front().first].request;
}

bool HeadlessView::answerWaiting(DialogAnswer answer) {
  AnswerFn fn;
  {
    std::lock_guard lock(mutex_);
    if (waiting_.empty()) return false;
    auto& shown = shown_[waiting_.front().first];
    shown.answer = answer;
    shown.answered = true;
    fn = std::move(waiting_.front().second);
    waiting_.pop_front();
    changed();
  }
  fn(std::move(answer));
  return true;
}

bool HeadlessView::trayAdd(const TrayIcon& icon) {
  std::lock_guard lock(mutex_);
  if (!trayAvailable_) return false;
  const auto it = std::find_if(tray_.begin(), tray_.end(), [&](const TrayIcon& t) {
    return t.window == icon.window && t.id == icon.id;
  });
  if (it != tray_.end()) {
    *it = icon;
  } else {
    tray_.push_back(icon);
  }
  changed();
  return true;
}

bool HeadlessView::trayRemove(WindowHandle window, unsigned id) {
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(tray_.begin(), tray_.end(),
                               [&](const TrayIcon& t) { return t.window == window && t.id == id; });
  if (it == tray_.end()) return false;
  tray_.erase(it);
  changed();
  return true;
}

// The engine asks only for an icon it has added.
bool HeadlessView::trayMessage(const TrayMessage& message) {
  std::lock_guard lock(mutex_);
  trayMessages_.push_back(message);
  changed();
  return true;
}

void HeadlessView::setTrayAvailable(bool available) {
  std::lock_guard lock(mutex_);
  trayAvailable_ = available;
}

std::vector<TrayIcon> HeadlessView::trayIcons() const {
  std::lock_guard lock(mutex_);
  return tray_;
}

std::vector<TrayMessage> HeadlessView::trayMessages() const {
  std::lock_guard lock(mutex_);
  return trayMessages_;
}

void HeadlessView::beep(BeepKind kind) {
  std::lock_guard lock(mutex_);
  beeps_.push_back(kind);
}

std::vector<BeepKind> HeadlessView::beeps() const {
  std::lock_guard lock(mutex_);
  return beeps_;
}

void HeadlessView::programEnded() {
  std::lock_guard lock(mutex_);
  ended_ = true;
  changed();
}

bool HeadlessView::programHasEnded() const {
  std::lock_guard lock(mutex_);
  return ended_;
}

std::optional<HeadlessView::Screen> HeadlessView::screen(WindowHandle window) const {
  std::lock_guard lock(mutex_);
  const auto it = screens_.find(window);
  if (it == screens_.end()) return std::nullopt;
  return it->second;
}

std::vector<WindowHandle> HeadlessView::windowsTitled(std::string_view title) const {
  std::lock_guard lock(mutex_);
  std::vector<WindowHandle> out;
  for (const auto& [h, s] : screens_) {
    if (s.props.title == title) out.push_back(h);
  }
  return out;
}

WindowHandle HeadlessView::active() const {
  std::lock_guard lock(mutex_);
  return active_;
}

std::vector<std::string> HeadlessView::openedTitles() const {
  std::lock_guard lock(mutex_);
  return opened_;
}

bool HeadlessView::waitFor(const std::function<bool()>& ready, int guardSeconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(guardSeconds);
  std::unique_lock lock(mutex_);
  for (;;) {
    const std::uint64_t seen = version_;
    lock.unlock();
    if (ready()) return true;
    lock.lock();
    // Checked again after every change of the screen; the deadline only guards a broken test.
    if (!changed_.wait_until(lock, deadline, [&] { return version_ != seen; })) return false;
  }
}

}  // namespace marlo::headless
