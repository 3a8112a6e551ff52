// The two windows that show the compression library's last report from memory, never from a
// file: `pokazi` shows the backup run's output (glo::OUT_), `pokazi1` the Restore window's
// (glo::OUT). Each runs on its caller's thread and returns when its window closes; each keeps
// its place and size in the framework's settings under its own name.
#pragma once

namespace app {

void pokazi();
void pokazi1();

}  // namespace app
