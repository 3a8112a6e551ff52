// `marlo-backup --backup`: the backup run of "&Backup NOW" over the folder table of the current
// directory, with no window and no display, for a timer, cron or a terminal. It runs on the
// program's first thread under the headless view, between the same start and end as the
// windows, with the same command lines, the same "Back_Log.TXT" and the same TEST_FOLDER
// updates and the same test of the archive. Messages of the framework (a table that cannot be
// opened, say) go to standard error; nothing waits for a person.
#pragma once

#include <iosfwd>

#include "app/backup_run.h"

namespace app {

// Exit codes of a run without windows (a fatal framework error ends the process with
// marlo::kFatalExitCode instead).
inline constexpr int kExitAllStored = 0;
inline constexpr int kExitSomeFailed = 1;  // a folder or the archive's test failed, or a stop
inline constexpr int kExitBadUsage = 2;

// The work between the program's start and end: opens the folder table (an empty one is made
// when there is none), backs up every folder in folder-number order into the archive named as
// the main window names it at first (Marlo_BACKUP in the current directory), and closes the
// table. `progress`, when given, is told how the run gets on. Runs on the program's first thread.
BackupOutcome backUpFolderTable(BackupProgress* progress = nullptr);

// Runs the above as the program's first thread under the headless view, then writes the
// summary and a line for each failed folder to `out`; returns kExitAllStored or
// kExitSomeFailed.
int backupWithoutWindows(std::ostream& out);

}  // namespace app
