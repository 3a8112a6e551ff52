// The Windows shell calls the program makes, with their Windows names and arguments, over the
// window engine: the notification-area icon, window procedures and their chaining, showing and
// activating windows, and the one system setting the program touches (full-window dragging).
//
// A window handle is the engine's WindowHandle. Calls that change a window may come from any
// thread: on the window's own thread they act at once, from another thread they are queued to
// the owning thread (as Windows sends them there) and act when its loop next runs.
#pragma once

#include <cstdint>

#include "platform/window/engine.h"

namespace marlo::shell {

using BOOL = int;
using UINT = unsigned;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using CHAR = char;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using LONG_PTR = std::intptr_t;
using HWND = win::WindowHandle;
using HICON = std::uint32_t;      // an icon registered by name; 0 = none
using HINSTANCE = std::uint32_t;  // the program itself; its value is not looked at
using LPCSTR = const char*;
using PVOID = void*;
using WNDPROC = win::WindowProc;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

inline constexpr DWORD NIM_ADD = 0;
inline constexpr DWORD NIM_MODIFY = 1;
inline constexpr DWORD NIM_DELETE = 2;
inline constexpr UINT NIF_MESSAGE = 1;
inline constexpr UINT NIF_ICON = 2;
inline constexpr UINT NIF_TIP = 4;

inline constexpr UINT WM_CLOSE = win::message::Close;
inline constexpr UINT WM_USER = win::message::User;
inline constexpr UINT WM_MOUSEMOVE = win::message::MouseMove;
inline constexpr UINT WM_LBUTTONDOWN = win::message::LeftButtonDown;
inline constexpr UINT WM_LBUTTONUP = win::message::LeftButtonUp;
inline constexpr UINT WM_LBUTTONDBLCLK = win::message::LeftButtonDoubleClick;
inline constexpr UINT WM_RBUTTONDOWN = win::message::RightButtonDown;
inline constexpr UINT WM_RBUTTONUP = win::message::RightButtonUp;
inline constexpr UINT WM_RBUTTONDBLCLK = win::message::RightButtonDoubleClick;

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWMINIMIZED = 2;
inline constexpr int SW_SHOWMAXIMIZED = 3;
inline constexpr int SW_SHOWNOACTIVATE = 4;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr int SW_SHOWMINNOACTIVE = 7;
inline constexpr int SW_SHOWNA = 8;
inline constexpr int SW_RESTORE = 9;

inline constexpr UINT SPI_SETDRAGFULLWINDOWS = 0x0025;
inline constexpr UINT SPI_GETDRAGFULLWINDOWS = 0x0026;

inline constexpr int GWLP_WNDPROC = -4;

// The icon record, laid out as the program fills it: 88 bytes with 32-bit handles. A plain
// record, as in Windows: clear it (= {} or memset) before filling it.
struct NOTIFYICONDATAA {
  DWORD cbSize;
  HWND hWnd;
  UINT uID;
  UINT uFlags;
  UINT uCallbackMessage;
  HICON hIcon;
  CHAR szTip[64];
};
static_assert(sizeof(NOTIFYICONDATAA) == 88, "the program relies on an 88-byte icon record");

// NIM_ADD: adds the window's icon; FALSE when the desktop has no notification area, when the
// icon (window and uID) is there already, or when the window is not open. NIM_MODIFY changes
// an icon that is there. NIM_DELETE removes it; FALSE when there was none. A record whose
// cbSize is smaller than the record fails, as a record from a newer program would.
BOOL Shell_NotifyIconA(DWORD message, NOTIFYICONDATAA* data);

// Registers an icon by its resource name and returns its handle (the same name gives the same
// handle). Never 0 for a non-empty name.
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
// The resource name behind an icon handle; empty for an unknown handle.
const char* iconName(HICON icon);

// Calls a window procedure the program saved when it subclassed a window; a null procedure
// gets the default one.
LRESULT CallWindowProcA(WNDPROC previous, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Queues a message for the window's procedure, run on the window's own thread.
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The window procedure of a window, and replacing it (subclassing). Only on the window's own
// thread: elsewhere they return 0 and change nothing.
WNDPROC GetWindowProc(HWND window);
LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
LONG_PTR GetWindowLongPtrA(HWND window, int index);

// Returns whether the window was visible before the call.
BOOL ShowWindow(HWND window, int command);
BOOL SetForegroundWindow(HWND window);
// Gives the window the keyboard focus; returns the window that had it (0 = none).
HWND SetFocus(HWND window);
BOOL BringWindowToTop(HWND window);

// SPI_GETDRAGFULLWINDOWS writes the setting (a BOOL) to `param`; SPI_SETDRAGFULLWINDOWS sets it
// from `uiParam`. Linux desktops have no such setting, so it reads off until it is set; the
// process keeps it. Other actions fail.
BOOL SystemParametersInfoA(UINT action, UINT uiParam, PVOID param, UINT winIni);

}  // namespace marlo::shell
