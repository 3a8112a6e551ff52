// The program's dialogs: message boxes, the beep, file and folder dialogs, the stop box and the
// halt. Each one waits on the calling thread only, never on the view; the dialog is modal to
// the caller's innermost window. Under the headless view the answers come from the test.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/core/message_box.h"
#include "platform/window/view.h"

namespace marlo::dialogs {

using win::BeepKind;
using win::FileMask;

// Shows a message box and returns the pressed button (one of `buttons`). A "|" in the text
// starts a new line. A default that is not one of the buttons falls back to the first button;
// so does an empty button set, which becomes OK.
unsigned messageBox(std::string_view text, std::string_view caption,
                    MessageIcon icon = MessageIcon::None, unsigned buttons = button::Ok,
                    unsigned defaultButton = 0);
// As messageBox, for a text whose lines are apart already ('\n'): a "|" in it stays a "|", as it
// must in a name the text quotes (a folder's, an archive member's).
unsigned messageBoxOfLines(std::string_view text, std::string_view caption,
                           MessageIcon icon = MessageIcon::None, unsigned buttons = button::Ok,
                           unsigned defaultButton = 0);

void beep(BeepKind kind = BeepKind::Default);

// "Archive|*.LZH|All files|*.*" as description and pattern pairs. A description left without a
// pattern gets "*.*".
[[nodiscard]] std::vector<FileMask> parseMaskList(std::string_view masks);

struct FileDialogOptions {
  std::string title;
  std::vector<FileMask> masks;  // empty = every file
  std::string directory;        // where the dialog starts; empty = the current directory
  std::string fileName;         // the proposed name
  bool save = false;
  // Windows file dialogs leave the current directory in the folder where the person chose the
  // file, and relative file names later depend on that; set this to leave it alone.
  bool keepDirectory = false;
};

// The chosen file's full path, or empty text when the person cancelled.
std::string fileDialog(const FileDialogOptions& options);

// The chosen folder, or empty text on cancel. Like a file dialog, it leaves the current
// directory in the chosen folder unless keepDirectory is set.
std::string folderDialog(std::string_view title, std::string_view startFolder,
                         bool keepDirectory = false);

// The runtime's stop box: the text with Abort and Ignore under the title "Stop". Abort ends the
// program (halt 0); Ignore returns.
void stop(std::string_view text);

// Ends the program with an exit code (see Engine::halt). The text goes to the error stream.
void halt(int code = 0, std::string_view text = {});

}  // namespace marlo::dialogs
