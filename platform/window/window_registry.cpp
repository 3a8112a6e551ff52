#include "platform/window/window_registry.h"

#include <algorithm>

namespace marlo::win {

// --- Open windows -----------------------------------------------------------------------------

WindowHandle WindowRegistry::add(ThreadId thread, const WindowProps& props) {
  std::lock_guard lock(mutex_);
  const WindowHandle handle = next_++;
  windows_[handle] = WindowInfo{handle, thread, props.title, props.visible, props.state};
  order_.push_back(handle);
  return handle;
}

void WindowRegistry::remove(WindowHandle window) {
  std::lock_guard lock(mutex_);
  windows_.erase(window);
  order_.erase(std::remove(order_.begin(), order_.end(), window), order_.end());
  if (active_ == window) active_ = 0;
}

void WindowRegistry::update(const WindowProps& props) {
  std::lock_guard lock(mutex_);
  const auto it = windows_.find(props.handle);
  if (it == windows_.end()) return;
  it->second.title = props.title;
  it->second.visible = props.visible;
  it->second.state = props.state;
}

bool WindowRegistry::isOpen(WindowHandle window) const {
  std::lock_guard lock(mutex_);
  return windows_.count(window) != 0;
}

ThreadId WindowRegistry::threadOf(WindowHandle window) const {
  std::lock_guard lock(mutex_);
  const auto it = windows_.find(window);
  return it == windows_.end() ? 0 : it->second.thread;
}

std::vector<WindowInfo> WindowRegistry::all() const {
  std::lock_guard lock(mutex_);
  std::vector<WindowInfo> out;
  out.reserve(order_.size());
  for (const WindowHandle h : order_) out.push_back(windows_.at(h));
  return out;
}

std::optional<WindowInfo> WindowRegistry::info(WindowHandle window) const {
  std::lock_guard lock(mutex_);
  const auto it = windows_.find(window);
  if (it == windows_.end()) return std::nullopt;
  return it->second;
}

WindowHandle WindowRegistry::active() const {
  std::lock_guard lock(mutex_);
  return active_;
}

std::optional<WindowHandle> WindowRegistry::activate(WindowHandle window) {
  std::lock_guard lock(mutex_);
  if (windows_.count(window) == 0 || active_ == window) return std::nullopt;
  const WindowHandle previous = active_;
  active_ = window;
  return previous;
}

// --- Tray icons -------------------------------------------------------------------------------

namespace {
auto sameIcon(WindowHandle window, unsigned id) {
  return [=](const TrayIcon& t) { return t.window == window && t.id == id; };
}
}  // namespace

void TrayIcons::put(const TrayIcon& icon) {
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(icons_.begin(), icons_.end(), sameIcon(icon.window, icon.id));
  if (it != icons_.end()) {
    *it = icon;
  } else {
    icons_.push_back(icon);
  }
}

bool TrayIcons::remove(WindowHandle window, unsigned id) {
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(icons_.begin(), icons_.end(), sameIcon(window, id));
  if (it == icons_.end()) return false;
  icons_.erase(it);
  return true;
}

std::vector<TrayIcon> TrayIcons::removeAll(WindowHandle window) {
  std::lock_guard lock(mutex_);
  std::vector<TrayIcon> removed;
  const auto kept = std::stable_partition(icons_.begin(), icons_.end(),
                                          [&](const TrayIcon& t) { return t.window != window; });
  removed.assign(kept, icons_.end());
  icons_.erase(kept, icons_.end());
  return removed;
}

std::optional<TrayIcon> TrayIcons::find(WindowHandle window, unsigned id) const {
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(icons_.begin(), icons_.end(), sameIcon(window, id));
  if (it == icons_.end()) return std::nullopt;
  return *it;
}

std::vector<TrayIcon> TrayIcons::all() const {
  std::lock_guard lock(mutex_);
  return icons_;
}

}  // namespace marlo::win
