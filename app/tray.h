// The main window's place in the notification area: while the window is minimised it is hidden
// and an icon stands for it; a left click on the icon brings the window back, a right click ends
// the program. The icon talks to the window through the window's message procedure, which the
// main window replaces by TrayWindowProc when it opens.
#pragma once

#include <cstdint>

#include "platform/shell/shell.h"

namespace app {

inline constexpr unsigned kTrayIconId = 100;
inline constexpr unsigned kTrayCallbackMessage = marlo::shell::WM_USER + 64;  // 1088
inline constexpr const char* kTrayIconName = "icon11_ico";
inline constexpr const char* kTrayTip = "Left-RESTORE, Right-CLOSE";

// Events the icon's procedure posts to the main window, which it receives and ignores.
inline constexpr int kTrayLeftUp = 1089;
inline constexpr int kTrayRightUp = 1090;
inline constexpr int kTrayLeftDouble = 1091;
inline constexpr int kTrayRightDouble = 1092;

// Program-wide state of the icon.
extern std::uint8_t InTray;                         // 1 while the icon shows and the window hides
extern marlo::shell::WNDPROC OldWindowProc;         // the main window's procedure before ours
extern marlo::shell::NOTIFYICONDATAA TrayIconData;  // the icon as the shell receives it

// Describes the icon for `window` (its handle is taken now).
void FillTrayIconData(marlo::shell::HWND window);
// Shows the icon and hides the window; when the desktop refuses the icon the window simply
// stays minimised, and the next minimising tries again.
void AddTrayIcon();
// Takes the icon away and has the main window's thread restore the window.
void RemoveTrayIcon();
marlo::shell::LRESULT TrayWindowProc(marlo::shell::HWND window, marlo::shell::UINT message,
                                     marlo::shell::WPARAM wParam, marlo::shell::LPARAM lParam);

// What the main window does with EVENT:Restore: brings itself back to the front.
void restoreMainWindow(marlo::shell::HWND window);

}  // namespace app
