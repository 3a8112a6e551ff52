// The backup run: every folder of the folder table, in folder-number order, into the one archive
// named by PAT, one compression-library call per folder, each call's report kept as one line of
// "Back_Log.TXT", then a test of the archive. The "&Backup NOW" handler runs it on the main
// window's thread with a progress window that runs each library call on a thread of its own,
// so the windows keep taking events; `marlo-backup --backup` runs the same work without one.
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

// The library's test of the archive after the folders.
struct VerifyOutcome {
  bool ran = false;  // not when switched off, after a cancel, or when there is no archive
  int result = 0;
  std::string closing;              // the test's closing line ("The archive is OK: ...")
  std::vector<std::string> errors;  // its error lines, naming the bad members

  // Stopped on request: the archive was stored whole, only its test did not finish.
  [[nodiscard]] bool stopped() const { return ran && result == kUnlhaCancelled; }
  [[nodiscard]] bool failed() const { return ran && result != 0 && !stopped(); }
};

struct BackupOutcome {
  std::vector<FolderOutcome> folders;  // in the order they were backed up
  bool cancelled = false;              // stopped on request; the later folders were not started
  bool putBack = false;  // after a cancel: the archive is again what it was before the run
  VerifyOutcome verify;
  std::string archive;  // the archive file, as the run found it
  std::string log;      // "Back_Log.TXT" with its whole path

  [[nodiscard]] std::size_t failedFolders() const;
  // Every folder stored and the archive, when tested, good.
  [[nodiscard]] bool allStored() const {
    return !cancelled && failedFolders() == 0 && !verify.failed();
  }
  // One line for a person: "Backup: 3 folders, 120 members, 5,242,880 -> 1,234,567 bytes,
  // 1 folder failed, archive OK."
  [[nodiscard]] std::string summary() const;
};

// Told how a run gets on, for a window that shows it and offers to stop it. Every call comes on
// the run's thread but `member`, which comes on the thread `run` runs the work on.
class BackupProgress {
 public:
  virtual ~BackupProgress() = default;
  // Before the first folder: what the run will store, counted from the folders on disk and
  // the archive's headers without storing anything.
  virtual void counted(std::uint64_t members, std::uint64_t bytes) = 0;
  // Folder `position` (from 1) of `count` begins.
  virtual void folderStarting(std::size_t position, std::size_t count,
                              const std::string& folder) = 0;
  // Before and after each member, with the counts of this library call. False asks the run to
  // stop after this member: the archive is then put back as it was before the run, and no
  // later folder is started. During the archive's test it stops only the test.
  virtual bool member(const MemberProgress& progress) = 0;
  // The folders are done; the library tests the archive now (`member` tells its members).
  virtual void verifying(const std::string& /*archive*/) {}
  // Runs one long piece of the run's work (a library call, counting, copying the archive) and
  // returns its result. A window runs it on a thread of its own and takes its events meanwhile.
  virtual int run(const std::function<int()>& work) { return work(); }
  // The run is over; what it did is shown after this.
  virtual void finished() {}
  // Whether the person asked the run to stop. The library hears it only at its next member, so
  // the run asks too once the folders are done: a stop asked for after the last member was told
  // (while the library wrote the archive out) still puts the archive back.
  [[nodiscard]] virtual bool stopRequested() const { return false; }
};

// Seams for tests; empty in the program.
struct BackupRunHooks {
  // Each step of every library call, on the thread of the call, before the progress hears it.
  std::function<void(const MemberProgress&)> step;
  // Between the last folder and the test of the archive, with the archive's file name.
  std::function<void(const std::string&)> beforeVerify;
};
BackupRunHooks& backupRunHooks();

// The "Verify" setting of .\Saved.INI: 0 leaves the archive untested after a run.
inline constexpr const char* kVerifySetting = "Verify";

// The backup run's work, with or without a window: the folders of `numbers` in that order into
// the one archive named by PAT, one library call each, each call's report one record of
// "Back_Log.TXT" (made afresh), each folder's TEST_FOLDER stored, then (unless "Verify" is 0)
// the library's test of the archive, whose closing line is one more record. `afterFolder` runs
// once each folder is done. With a progress that stops the run, the archive is put back as it
// was before and the log says so.
BackupOutcome backUpFolders(const std::vector<std::int32_t>& numbers,
                            BackupProgress* progress = nullptr,
                            const std::function<void()>& afterFolder = {});

// The run of "&Backup NOW": `window` is the main window, `list` its folder list (which holds
// every record, in rbr_key order), `minimize` the " Minimize" setting, `showLog` the " Show LOG"
// setting: when 1, the log viewer shows the last folder's report once the run is over. With
// "Write to CDRW" set (glo::CEK) the disc writer then writes the archive to a disc, unless the
// run was cancelled; the run waits for both.
BackupOutcome runBackup(marlo::win::Window& window, marlo::BrowseList& list, std::uint8_t minimize,
                        std::uint8_t showLog, BackupProgress* progress = nullptr);

}  // namespace app
