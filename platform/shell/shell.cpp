#include "platform/shell/shell.h"

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/window/window.h"

namespace marlo::shell {

namespace {

std::atomic<bool> gDragFullWindows{false};

struct IconRegistry {
  std::mutex mutex;
  std::map<std::string, HICON> byName;
  std::map<HICON, std::string> byHandle;
};

IconRegistry& icons() {
  static IconRegistry registry;
  return registry;
}

win::TrayIcon trayIconFrom(const NOTIFYICONDATAA& d) {
  win::TrayIcon icon;
  icon.window = d.hWnd;
  icon.id = d.uID;
  if (d.uFlags & NIF_MESSAGE) icon.callbackMessage = d.uCallbackMessage;
  if (d.uFlags & NIF_ICON) icon.icon = iconName(d.hIcon);
  if (d.uFlags & NIF_TIP) icon.tip.assign(d.szTip, ::strnlen(d.szTip, sizeof d.szTip));
  return icon;
}

}  // namespace

BOOL Shell_NotifyIconA(DWORD message, NOTIFYICONDATAA* data) {
  win::Engine* e = win::Engine::find();
  if (e == nullptr || data == nullptr || data->cbSize < sizeof(NOTIFYICONDATAA)) return FALSE;
  const auto present = [&] {
    for (const auto& t : e->trayIcons()) {
      if (t.window == data->hWnd && t.id == data->uID) return true;
    }
    return false;
  };
  switch (message) {
    case NIM_ADD:
      if (present()) return FALSE;
      return e->trayAdd(trayIconFrom(*data)) ? TRUE : FALSE;
    case NIM_MODIFY:
      if (!present()) return FALSE;
      return e->trayAdd(trayIconFrom(*data)) ? TRUE : FALSE;
    case NIM_DELETE:
      return e->trayRemove(data->hWnd, data->uID) ? TRUE : FALSE;
    default:
      return FALSE;
  }
}

HICON LoadIconA(HINSTANCE, LPCSTR name) {
  if (name == nullptr || *name == '\0') return 0;
  auto& r = icons();
  std::lock_guard lock(r.mutex);
  const auto it = r.byName.find(name);
  if (it != r.byName.end()) return it->second;
  const HICON handle = static_cast<HICON>(r.byName.size() + 1);
  r.byName[name] = handle;
  r.byHandle[handle] = name;
  return handle;
}

const char* iconName(HICON icon) {
  auto& r = icons();
  std::lock_guard lock(r.mutex);
  const auto it = r.byHandle.find(icon);
  return it == r.byHandle.end() ? "" : it->second.c_str();  // entries are never removed
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return win::Engine::defaultWindowProc(window, message, wParam, lParam);
}

LRESULT CallWindowProcA(WNDPROC previous, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (previous == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  return previous(window, message, wParam, lParam);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  win::Engine* e = win::Engine::find();
  return e != nullptr && e->postMessage(window, message, wParam, lParam) ? TRUE : FALSE;
}

WNDPROC GetWindowProc(HWND window) {
  win::Engine* e = win::Engine::find();
  win::Window* w = e != nullptr ? e->ownWindow(window) : nullptr;
  return w != nullptr ? w->windowProc() : nullptr;
}

LONG_PTR GetWindowLongPtrA(HWND window, int index) {
  if (index != GWLP_WNDPROC) return 0;
  return reinterpret_cast<LONG_PTR>(GetWindowProc(window));
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
  if (index != GWLP_WNDPROC) return 0;
  win::Engine* e = win::Engine::find();
  win::Window* w = e != nullptr ? e->ownWindow(window) : nullptr;
  if (w == nullptr) return 0;
  return reinterpret_cast<LONG_PTR>(w->setWindowProc(reinterpret_cast<WNDPROC>(value)));
}

BOOL ShowWindow(HWND window, int command) {
  win::Engine* e = win::Engine::find();
  if (e == nullptr) return FALSE;
  const auto info = e->windowInfo(window);
  if (!info) return FALSE;
  const BOOL wasVisible = info->visible ? TRUE : FALSE;
  bool visible = true;
  bool changeState = true;
  win::WindowState state = win::WindowState::Normal;
  switch (command) {
    case SW_HIDE:
      visible = false;
      changeState = false;
      break;
    case SW_SHOW:
    case SW_SHOWNA:
      changeState = false;
      break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
      state = win::WindowState::Minimized;
      break;
    case SW_SHOWMAXIMIZED:
      state = win::WindowState::Maximized;
      break;
    default:  // SW_SHOWNORMAL, SW_SHOWNOACTIVATE, SW_RESTORE and anything unknown
      break;
  }
  if (win::Window* w = e->ownWindow(window)) {
    w->setVisible(visible);
    if (changeState) w->setState(state);
  } else {
    e->sendInput(window,
                 changeState ? win::Input::show(visible, state) : win::Input::show(visible));
  }
  return wasVisible;
}

BOOL SetForegroundWindow(HWND window) {
  win::Engine* e = win::Engine::find();
  if (e == nullptr || !e->isOpen(window)) return FALSE;
  e->activate(window);
  return TRUE;
}

HWND SetFocus(HWND window) {
  win::Engine* e = win::Engine::find();
  if (e == nullptr) return 0;
  const HWND previous = e->activeWindow();
  if (e->isOpen(window)) e->activate(window);
  return previous;
}

BOOL BringWindowToTop(HWND window) {
  return SetForegroundWindow(window);
}

BOOL SystemParametersInfoA(UINT action, UINT uiParam, PVOID param, UINT) {
  switch (action) {
    case SPI_GETDRAGFULLWINDOWS:
      if (param == nullptr) return FALSE;
      *static_cast<BOOL*>(param) = gDragFullWindows.load() ? TRUE : FALSE;
      return TRUE;
    case SPI_SETDRAGFULLWINDOWS:
      gDragFullWindows.store(uiParam != 0);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace marlo::shell
