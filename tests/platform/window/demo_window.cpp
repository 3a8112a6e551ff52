#include "tests/platform/window/demo_window.h"

#include <cstring>

#include "platform/dialogs/dialogs.h"
#include "platform/shell/shell.h"
#include "platform/window/control_id.h"
#include "platform/window/engine.h"
#include "platform/window/window.h"

namespace marlo::demo {

using namespace marlo::win;    // NOLINT
using namespace marlo::shell;  // NOLINT

namespace {

DemoState* gState = nullptr;  // the tray procedure reaches the program's state through this
WNDPROC gOldProc = nullptr;
NOTIFYICONDATAA gTray;

using marlo::win::n;

void removeTrayIcon(HWND window) {
  if (!gState->inTray) return;
  Engine& e = Engine::instance();
  e.postToThread(1, event::Suspend);
  e.postToThread(1, event::Restore);
  if (Shell_NotifyIconA(NIM_DELETE, &gTray)) gState->inTray = false;
  e.postToThread(1, event::Resume);
  (void)window;
}

LRESULT trayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kTrayMessage) return CallWindowProcA(gOldProc, window, message, wParam, lParam);
  Engine& e = Engine::instance();
  switch (lParam & 0xFFFF) {
    case WM_LBUTTONUP:
      e.post(window, 1089);
      removeTrayIcon(window);
      break;
    case WM_LBUTTONDBLCLK:
      e.post(window, 1091);
      break;
    case WM_RBUTTONUP:
      e.post(window, 1090);
      e.post(window, event::CloseWindow);
      break;
    case WM_RBUTTONDBLCLK:
      e.post(window, 1092);
      break;
    default:
      break;
  }
  return 0;
}

}  // namespace

void mainWindow(DemoState& state) {
  gState = &state;
  Window w(kMainTitle, {0, 0, 300, 200});
  w.setFont({"MS Sans Serif", 8});
  w.setCentred(true);
  Font big{"Tahoma", 16};
  big.bold = true;
  w.add(ControlKind::Text, "Marlo BACKUP 0.1", {8, 4, 200, 20}, flag::Transparent);
  w.setFont(n(MainControl::Title), big);
  const int list = w.add(ControlKind::List, "", {8, 28, 220, 90}, flag::VScroll | flag::Immediate);
  ListColumn nr = column("Nr", 24, Align::Right, "n_3");
  nr.headerAlign = Align::Center;
  w.setColumns(list, {nr, column("Folder Name", 190)});
  w.setSource(list, &state.folders);
  w.alert(list, key::MouseRightUp);
  w.add(ControlKind::Button, "&Insert", {236, 28, 56, 14});
  w.add(ControlKind::Button, "&Delete", {236, 46, 56, 14});
  w.add(ControlKind::Prompt, "Archive name:", {8, 126, 60, 10});
  const int archive = w.add(ControlKind::Entry, "", {70, 124, 140, 12});
  w.setPicture(archive, "s254");
  w.bind(archive, Binding::to(state.archive));
  w.add(ControlKind::Button, "...", {212, 124, 16, 12});
  const int minimize =
      w.add(ControlKind::CheckBox, " Minimize", {8, 142, 60, 12}, flag::Transparent);
  w.bind(minimize, Binding::to(state.minimize));
  w.add(ControlKind::Button, "&Restore", {180, 160, 50, 14});
  w.add(ControlKind::Button, "&Close", {236, 160, 56, 14});
  w.add(ControlKind::Progress, "", {8, 162, 160, 10});
  w.setStatusBar({150, -1});
  if (state.folders.rowCount() > 0) w.setSelection(list, 1);
  w.display();
  w.open();

  gOldProc = w.setWindowProc(&trayProc);
  std::memset(&gTray, 0, sizeof gTray);
  gTray.cbSize = sizeof gTray;
  gTray.hWnd = w.handle();
  gTray.uID = 100;
  gTray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  gTray.uCallbackMessage = kTrayMessage;
  gTray.hIcon = LoadIconA(0, "icon11_ico");
  std::strncpy(gTray.szTip, "Left-RESTORE, Right-CLOSE", sizeof gTray.szTip - 1);

  while (const Event* e = w.accept()) {
    if (e->code >= 1089 && e->code <= 1092) ++state.programEvents;
    switch (e->code) {
      case event::OpenWindow:
        w.setStatusText(1, "Welcome to the Marlo BACKUP demo");
        w.setStatusText(2, "Timed Backup NOT Activated!");
        break;
      case event::Iconized:
        if (!state.inTray) {
          if (Shell_NotifyIconA(NIM_ADD, &gTray)) {
            ShowWindow(w.handle(), SW_HIDE);
            state.inTray = true;
          } else {
            ++state.trayAddFailures;
          }
        }
        break;
      case event::Restore:
        SetForegroundWindow(w.handle());
        SetFocus(w.handle());
        BringWindowToTop(w.handle());
        ShowWindow(w.handle(), SW_SHOWNORMAL);
        break;
      case event::NewSelection:
        if (e->control == list && w.selection(list) > 0) {
          w.setStatusText(1, state.folders.cell(w.selection(list), 1));
        }
        break;
      case event::AlertKey:
        if (e->control == list && w.keyCode() == key::MouseRightUp) {
          if (w.mouseRow() > 0) w.setSelection(list, w.mouseRow());
          const int choice = w.popup("&Insert|&Delete");
          if (choice != 0)
            w.post(event::Accepted, choice == 1 ? n(MainControl::Insert) : n(MainControl::Delete));
        }
        break;
      case event::Accepted:
        switch (static_cast<MainControl>(e->control)) {
          case MainControl::Insert: {
            const int next = state.folders.rowCount() + 1;
            state.folders.add({std::to_string(next), "C:\\Folder " + std::to_string(next)});
            w.display(list);
            w.setSelection(list, next);
            w.setProgress(n(MainControl::Progress), next * 10);
            break;
          }
          case MainControl::Delete: {
            const int row = w.selection(list);
            if (row == 0) {
              dialogs::beep();
              break;
            }
            if (dialogs::messageBox("Are you sure you want to delete|the highlighted record?",
                                    "Confirm Delete", MessageIcon::Question,
                                    button::Yes | button::No, button::No) == button::Yes) {
              state.folders.remove(row);
              w.display(list);
            }
            break;
          }
          case MainControl::Browse: {
            dialogs::FileDialogOptions o;
            o.title = "Choose Archive name:";
            o.masks = dialogs::parseMaskList("Archive|*.LZH");
            o.save = true;
            o.keepDirectory = true;
            const std::string path = dialogs::fileDialog(o);
            if (!path.empty()) state.archive = path;
            w.display(archive);
            break;
          }
          case MainControl::Restore:
            if (state.restoreThread == 0) {
              Engine::instance().start([&state] { restoreWindow(state); }, 25000);
            } else {
              // A second start only brings the open one to the front.
              Engine::instance().postToThread(state.restoreThread, event::GainFocus);
            }
            break;
          case MainControl::Close:
            w.post(event::CloseWindow);
            break;
          default:
            break;
        }
        break;
      default:
        break;
    }
  }
  w.setWindowProc(gOldProc);
  if (state.inTray) {
    Shell_NotifyIconA(NIM_DELETE, &gTray);
    state.inTray = false;
  }
  w.close();
}

void restoreWindow(DemoState& state) {
  state.restoreThread = Engine::currentThread();
  Window w(kRestoreTitle, {40, 40, 200, 80});
  w.setFont({"Tahoma", 8});
  w.add(ControlKind::Prompt, "Archive Name:", {6, 8, 56, 10}, flag::Bold);
  const int entry = w.add(ControlKind::Entry, "", {64, 6, 128, 12});
  w.setValue(entry, std::string(state.archive.clipped()));
  const int close = w.add(ControlKind::Button, "&Close", {140, 56, 50, 14});
  w.open();
  while (const Event* e = w.accept()) {
    if (e->code == event::GainFocus) {
      Engine::instance().activate(w.handle());
      if (w.state() == WindowState::Minimized) w.setState(WindowState::Normal);
    }
    if (e->code == event::Accepted && e->control == close) w.post(event::CloseWindow);
  }
  w.close();
  state.restoreThread = 0;
}

}  // namespace marlo::demo
