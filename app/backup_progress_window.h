// The window a backup run shows while it works, in front of the main window (which waits
// disabled behind it): the folder (n of m), the member being stored, a bar, members and bytes
// done of the counted total, speed and time left, and "Cancel".
//
// The run stays on the main window's thread, where the folder table, the log and the windows
// are; each long piece of its work (a library call, the count, keeping the archive) runs on a
// logical thread of its own while this window's loop takes events, so both windows stay
// painted and Cancel can be pressed. The library's callback, on that thread, only stores its
// latest step and posts one event; the window shows the step when its loop takes the event.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "app/backup_run.h"
#include "platform/core/clock.h"
#include "platform/window/window.h"

namespace app {

inline constexpr const char* kProgressProcedure = "backup_progress";
inline constexpr const char* kProgressCaption = "Backing up";

// Control numbers, in layout order.
enum class ProgressControl : int { Folder = 1, Member, Bar, Counts, Speed, Cancel };

class BackupProgressWindow : public BackupProgress {
 public:
  BackupProgressWindow();
  ~BackupProgressWindow() override;

  void counted(std::uint64_t members, std::uint64_t bytes) override;
  void folderStarting(std::size_t position, std::size_t count, const std::string& folder) override;
  bool member(const MemberProgress& progress) override;  // on the work's thread
  void verifying(const std::string& archive) override;
  int run(const std::function<int()>& work) override;
  void finished() override;

  // Cancel was pressed (or the window's close box).
  [[nodiscard]] bool stopRequested() const override { return cancel_.load(); }

 private:
  enum class Phase { Counting, Storing, Verifying };
  struct Step {
    std::string member;
    std::uint64_t filesDone = 0, filesTotal = 0, bytesDone = 0, bytesTotal = 0;
  };

  void open();
  void requestCancel();
  void showStep();
  void showCounts();
  void showSpeed();
  [[nodiscard]] std::int64_t elapsedHundredths() const;

  marlo::win::Window window_;
  std::atomic<bool> cancel_{false};

  // Written by the work's thread, read by the window's.
  std::mutex mutex_;
  Step latest_;
  bool posted_ = false;  // an event for the latest step is on its way

  // The window's thread only.
  Phase phase_ = Phase::Counting;
  Step shown_;
  std::uint64_t runFiles_ = 0, runBytes_ = 0;        // counted before the first folder
  std::uint64_t doneFiles_ = 0, doneBytes_ = 0;      // by the folders before this one
  std::uint64_t folderFiles_ = 0, folderBytes_ = 0;  // by this folder's call so far
  marlo::Moment phaseStart_;
};

}  // namespace app
