// The Restore window `rest`: choose an archive, see its members with their sizes and CRCs and
// the archive's totals, test it, extract it into a chosen folder, and read the library's last
// report. It runs on a logical thread of its own, next to the main window, and at most one is
// open at a time.
#pragma once

#include <cstddef>

#include "platform/window/event.h"

namespace app {

// The stack the Restore window's thread asks for; the platform's own minimum wins when larger.
inline constexpr std::size_t kRestoreStackHint = 25000;

// The window procedure itself; it returns when the window closes. A second one started while
// a Restore window is open brings that window to the front (restoring it when minimised) and
// ends at once without opening a window.
void rest();

// Starts `rest` on a new logical thread and returns at once with the thread's number; the main
// window's "&Restore" calls it.
marlo::win::ThreadId startRest();

}  // namespace app
