// The two windows that show the compression library's last report from memory, never from a
// file: `pokazi` shows the backup run's output (glo::OUT_; the outcome box's "Show the log?" lends
// it the whole log read from Back_Log.TXT while it shows it), `pokazi1` the Restore window's
// (glo::OUT). Each runs on its caller's thread and returns when its window closes; each keeps
// its place and size in the framework's settings under its own name. `pokazi` lays a
// rich-text editor over a hidden control, without bars, and closes it with the window.
#pragma once

namespace marlo::richtext {
class RichTextBox;
}

namespace app {

// The rich-text editor of the open `pokazi` window; null while none is open.
extern marlo::richtext::RichTextBox* ViewerRichText;

void pokazi();
void pokazi1();

}  // namespace app
