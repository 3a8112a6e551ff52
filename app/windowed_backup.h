// "&Backup NOW" as the main window runs it: the backup run with its progress window, then what
// became of it told to the person. Status-bar zone 1 shows the run's one-line summary (until
// the highlight next moves); when the window is in the notification area the summary is also
// the icon's message; when a folder failed or the archive failed its test, a box names them
// and offers the log.
//
// The outcome is told from an event the run posts to the main window, so that it comes after
// what the run left queued there: with " Minimize" set the window goes to the notification
// area first, and the message then finds its icon.
#pragma once

#include <cstdint>
#include <string>

#include "app/backup_run.h"  // also declares marlo::BrowseList and marlo::win::Window
#include "platform/window/event.h"

namespace app {

inline constexpr marlo::win::EventCode kBackupOutcomeEvent =
    marlo::win::event::FirstProgramEvent + 0x202;
inline constexpr const char* kOutcomeCaption = "Marlo BACKUP";

// The text of the box after a run that did not store everything, its lines apart with '\n';
// empty when there is nothing to tell (every folder stored and the archive good, or only
// cancelled).
[[nodiscard]] std::string failureText(const BackupOutcome& outcome);

class WindowedBackup {
 public:
  // The run of "&Backup NOW" on the main window `main` (see runBackup for the rest).
  void run(marlo::win::Window& main, marlo::BrowseList& list, std::uint8_t minimize,
           std::uint8_t showLog);

 private:
  void tell(marlo::win::Window& main);

  BackupOutcome outcome_;
  int handler_ = 0;
};

}  // namespace app
