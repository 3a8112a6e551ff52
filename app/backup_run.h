// The backup run: every folder of the folder table, in folder-number order, into the one archive
// named by PAT, one compression-library call per folder, each call's report kept as one line of
// "Back_Log.TXT". It runs inside the "&Backup NOW" handler on the main window's thread, so the
// window takes no other event until it is over.
#pragma once

#include <cstdint>

namespace marlo {
class BrowseList;
namespace win {
class Window;
}
}  // namespace marlo

namespace app {

inline constexpr const char* kBackupLogName = "Back_Log.TXT";

// `window` is the main window, `list` its folder list (which holds every record, in rbr_key
// order), `minimize` the " Minimize" setting, `showLog` the " Show LOG" setting: when 1, the
// log viewer shows the last folder's report once the run is over. With "Write to CDRW" set
// (glo::CEK) the disc writer then writes the archive to a disc; the run waits for both.
void runBackup(marlo::win::Window& window, marlo::BrowseList& list, std::uint8_t minimize,
               std::uint8_t showLog);

}  // namespace app
