#include "app/tray.h"

#include <cstring>

#include "app/globals.h"
#include "platform/window/engine.h"

namespace app {

using namespace marlo::shell;  // NOLINT: the tray is written in the shell's own terms
namespace ev = marlo::win::event;

std::uint8_t InTray = 0;
WNDPROC OldWindowProc = nullptr;
NOTIFYICONDATAA TrayIconData{};

namespace {

const glo::Reset kReset{[] {
  InTray = 0;
  OldWindowProc = nullptr;
  TrayIconData = {};
}};

// The main window's procedures all run on the program's first thread.
constexpr marlo::win::ThreadId kMainThread = 1;

marlo::win::Engine& engine() {
  return marlo::win::Engine::instance();
}

void copyTip(const char* tip) {
  std::memset(TrayIconData.szTip, 0, sizeof TrayIconData.szTip);
  std::strncpy(TrayIconData.szTip, tip, sizeof TrayIconData.szTip - 1);
}

}  // namespace

void FillTrayIconData(HWND window) {
  TrayIconData = {};
  TrayIconData.cbSize = sizeof(NOTIFYICONDATAA);
  TrayIconData.hWnd = window;
  TrayIconData.uID = kTrayIconId;
  TrayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  TrayIconData.uCallbackMessage = kTrayCallbackMessage;
  TrayIconData.hIcon = LoadIconA(0, kTrayIconName);
  copyTip(kTrayTip);
}

void AddTrayIcon() {
  if (Shell_NotifyIconA(NIM_ADD, &TrayIconData) == FALSE) return;
  ShowWindow(TrayIconData.hWnd, SW_HIDE);
  InTray = 1;
}

void RemoveTrayIcon() {
  if (InTray != 1) return;
  engine().postToThread(kMainThread, ev::Suspend);
  engine().postToThread(kMainThread, ev::Restore);
  if (Shell_NotifyIconA(NIM_DELETE, &TrayIconData) != FALSE) InTray = 0;
  engine().postToThread(kMainThread, ev::Resume);
}

LRESULT TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kTrayCallbackMessage)
    return CallWindowProcA(OldWindowProc, window, message, wParam, lParam);
  switch (static_cast<UINT>(lParam & 0xFFFF)) {
    case WM_LBUTTONUP:
      engine().post(window, kTrayLeftUp);
      RemoveTrayIcon();
      break;
    case WM_LBUTTONDBLCLK:
      engine().post(window, kTrayLeftDouble);
      break;
    case WM_RBUTTONUP:
      engine().post(window, kTrayRightUp);
      // The program ends now; an icon left behind would stay in the notification area with
      // nobody to answer it.
      if (InTray == 1 && Shell_NotifyIconA(NIM_DELETE, &TrayIconData) != FALSE) InTray = 0;
      engine().post(window, ev::CloseWindow);
      break;
    case WM_RBUTTONDBLCLK:
      engine().post(window, kTrayRightDouble);
      break;
    default:
      break;
  }
  return 0;
}

void restoreMainWindow(HWND window) {
  SetForegroundWindow(window);
  SetFocus(window);
  BringWindowToTop(window);
  ShowWindow(window, SW_SHOWNORMAL);
  engine().postToThread(kMainThread, ev::Suspend);
  if (marlo::win::Engine::currentThread() != kMainThread)
    engine().postToThread(kMainThread, ev::Restore);
  ShowWindow(window, SW_SHOWNORMAL);
  SetForegroundWindow(window);
  engine().postToThread(kMainThread, ev::Resume);
}

}  // namespace app
