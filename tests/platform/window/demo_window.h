// A demo program written against the engine the way the application's window procedures are:
// a main window with entries, buttons, a list and a status bar that hides into the tray when
// minimised, and a second window on a thread of its own. The headless tests and the Qt tests
// run the same procedures, and the screenshot script shows them.
#pragma once

#include <atomic>
#include <string>

#include "platform/core/text.h"
#include "platform/window/binding.h"
#include "platform/window/event.h"

namespace marlo::demo {

// Control numbers of the main window, in layout order.
enum class MainControl : int {
  Title = 1,
  List,
  Insert,
  Delete,
  ArchivePrompt,
  Archive,
  Browse,
  Minimize,
  Restore,
  Close,
  Progress,
};

inline constexpr const char* kMainTitle = "Marlo BACKUP demo";
inline constexpr const char* kRestoreTitle = "Restore demo";
inline constexpr unsigned kTrayMessage = 1088;

struct DemoState {
  win::RowQueue folders;
  CString<255> archive;
  int minimize = 0;
  std::atomic<bool> inTray{false};
  std::atomic<int> restoreThread{0};
  std::atomic<int> trayAddFailures{0};
  std::atomic<int> programEvents{0};  // 1089..1092 seen by the main window
};

// The main window procedure; returns when the main window closes.
void mainWindow(DemoState& state);
// The second window, started by the main window's Restore button on a thread of its own.
void restoreWindow(DemoState& state);

}  // namespace marlo::demo
