// The program's life on its first thread: what is set up before the main window opens, the main
// window itself, and what is released after it closes, in the reverse order. One Program object
// lives in main(), whichever view shows the windows; a backup without windows has the same
// start and end around its run.
#pragma once

#include "app/backup_run.h"
#include "app/text_matcher.h"

namespace app {

class Program {
 public:
  // Start, the main window until it closes, end. Runs on the program's first thread.
  void run();
  // Start, the backup run over the folder table with no window, end. Runs on the program's
  // first thread; `progress`, when given, is told how the run gets on.
  BackupOutcome backUp(BackupProgress* progress = nullptr);

 private:
  void start();
  void closeOtherWindows();
  void end();

  TextMatcher matcher_;
  bool dragWasOn_ = false;
};

}  // namespace app
