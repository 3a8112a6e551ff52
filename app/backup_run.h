// The backup run: every folder of the folder table, in folder-number order, into the one archive
// named by PAT, one compression-library call per folder, each call's report kept as one line of
// "Back_Log.TXT". It runs inside the "&Backup NOW" handler on the main window's thread, so the
// window takes no other event until it is over; `marlo-backup --backup` runs the same work
// without a window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/compression.h"

namespace marlo {
class BrowseList;
namespace win {
class Window;
}
}  // namespace marlo

namespace app {

inline constexpr const char* kBackupLogName = "Back_Log.TXT";

// What became of one folder of a run.
struct FolderOutcome {
  std::int32_t number = 0;
  std::string folder;   // as its record holds it; empty when the record could not be read
  int result = 0;       // the library's result; -1 when the library was not called for it
  bool failed = false;  // not stored: the folder is missing, a file could not be read ...
  std::string why;      // for a failed folder: the report's first error line (or its last)
  std::uint64_t members = 0, bytesIn = 0, bytesOut = 0;  // stored: members, original, packed
};

struct BackupOutcome {
  std::vector<FolderOutcome> folders;  // in the order they were backed up
  bool cancelled = false;              // stopped on request; the later folders were not started

  [[nodiscard]] std::size_t failedFolders() const;
  [[nodiscard]] bool allStored() const { return !cancelled && failedFolders() == 0; }
  // One line for a person: "Backup: 3 folders, 120 members, 5,242,880 -> 1,234,567 bytes,
  // 1 folder failed."
  [[nodiscard]] std::string summary() const;
};

// Told how a run gets on, for a window that shows it and offers to stop it. Every call comes on
// the run's thread, between members.
class BackupProgress {
 public:
  virtual ~BackupProgress() = default;
  // Before the first folder: what the run will store, counted from the folders on disk and
  // the archive's headers without storing anything.
  virtual void counted(std::uint64_t members, std::uint64_t bytes) = 0;
  // Folder `position` (from 1) of `count` begins.
  virtual void folderStarting(std::size_t position, std::size_t count,
                              const std::string& folder) = 0;
  // Before and after each member, with the counts of this folder's call. False asks the run
  // to stop after this member: this folder's update is then dropped whole (the archive keeps
  // what the folders before it stored) and no later folder is started.
  virtual bool member(const MemberProgress& progress) = 0;
};

// The backup run's work, with or without a window: the folders of `numbers` in that order into
// the one archive named by PAT, one library call each, each call's report one record of
// "Back_Log.TXT" (made afresh), each folder's TEST_FOLDER stored. `afterFolder` runs once each
// folder is done.
BackupOutcome backUpFolders(const std::vector<std::int32_t>& numbers,
                            BackupProgress* progress = nullptr,
                            const std::function<void()>& afterFolder = {});

// The run of "&Backup NOW": `window` is the main window, `list` its folder list (which holds
// every record, in rbr_key order), `minimize` the " Minimize" setting, `showLog` the " Show LOG"
// setting: when 1, the log viewer shows the last folder's report once the run is over. With
// "Write to CDRW" set (glo::CEK) the disc writer then writes the archive to a disc; the run
// waits for both.
BackupOutcome runBackup(marlo::win::Window& window, marlo::BrowseList& list, std::uint8_t minimize,
                        std::uint8_t showLog, BackupProgress* progress = nullptr);

}  // namespace app
