// The open windows of the whole program, by handle: which thread owns each, what other threads
// may know of it (title, visibility, state), the order they opened in, and which one is active.
// Any thread may ask; the window models themselves stay with their threads.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/window/control.h"
#include "platform/window/view.h"

namespace marlo::win {

struct WindowInfo {
  WindowHandle handle = 0;
  ThreadId thread = 0;
  std::string title;
  bool visible = true;
  WindowState state = WindowState::Normal;
};

class WindowRegistry {
 public:
  // Gives a new window its handle (never reused).
  WindowHandle add(ThreadId thread, const WindowProps& props);
  // Forgets a closed window; the active window becomes none when it was this one.
  void remove(WindowHandle window);
  void update(const WindowProps& props);

  [[nodiscard]] bool isOpen(WindowHandle window) const;
  [[nodiscard]] ThreadId threadOf(WindowHandle window) const;  // 0 when not open
  [[nodiscard]] std::vector<WindowInfo> all() const;           // in the order they opened
  [[nodiscard]] std::optional<WindowInfo> info(WindowHandle window) const;

  [[nodiscard]] WindowHandle active() const;
  // Makes an open window the active one and returns the one it replaces (0 = none); nullopt
  // when the window is not open or is active already.
  std::optional<WindowHandle> activate(WindowHandle window);

 private:
  mutable std::mutex mutex_;
  std::map<WindowHandle, WindowInfo> windows_;
  std::vector<WindowHandle> order_;
  WindowHandle next_ = 0x1000;
  WindowHandle active_ = 0;
};

// The notification-area icons of the open windows, as the engine knows them.
class TrayIcons {
 public:
  // Adds the icon, or replaces the one with the same window and id.
  void put(const TrayIcon& icon);
  bool remove(WindowHandle window, unsigned id);
  // Removes and returns every icon of a window.
  std::vector<TrayIcon> removeAll(WindowHandle window);
  [[nodiscard]] std::optional<TrayIcon> find(WindowHandle window, unsigned id) const;
  [[nodiscard]] std::vector<TrayIcon> all() const;

 private:
  mutable std::mutex mutex_;
  std::vector<TrayIcon> icons_;
};

}  // namespace marlo::win
