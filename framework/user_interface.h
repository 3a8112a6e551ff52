// The few places where the framework's window-free half reaches the person: message boxes, the
// file dialog, the message history, the halt, the wait cursor, and which program thread is
// asking. Everything goes through one replaceable object so that tests answer from a script and
// the window engine plugs in its real dialogs without the framework knowing about widgets.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/message_box.h"

namespace marlo {

struct MessageBoxRequest {
  std::string text;  // "|" starts a new line
  std::string caption;
  MessageIcon icon = MessageIcon::Asterisk;
  unsigned buttons = 1;        // button:: bits
  unsigned defaultButton = 1;  // one of them
};

// One kept message, as the history window lists it.
struct HistoryEntry {
  std::string CATEGORY;
  std::string TXT;  // the substituted text, up to 1023 characters
  std::uint16_t ID = 0;
};

// A request to show the history window: the whole history with the last entry selected.
struct HistoryRequest {
  std::vector<HistoryEntry> history;
  std::string caption;
  MessageIcon icon = MessageIcon::Asterisk;
  unsigned buttons = 1;
  unsigned defaultButton = 1;
};

// Flags of the file dialog as the runtime's file dialog takes them.
namespace file_dialog_flag {
inline constexpr unsigned kSave = 0x1;
inline constexpr unsigned kKeepDirectory = 0x2;
inline constexpr unsigned kNoError = 0x4;
inline constexpr unsigned kMulti = 0x8;
inline constexpr unsigned kLongName = 0x10;
inline constexpr unsigned kDirectory = 0x20;
}  // namespace file_dialog_flag

struct FileDialogRequest {
  std::string title;
  std::string fileName;  // proposed name
  std::string masks;     // description|pattern|description|pattern...
  unsigned flags = 0;
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // Shows a message box and returns the code of the pressed button.
  virtual unsigned messageBox(const MessageBoxRequest& request) = 0;
  // Shows the message history window and returns the code of the pressed button.
  virtual unsigned historyWindow(const HistoryRequest& request) = 0;
  // The full name of the chosen file, nullopt when the person cancelled.
  virtual std::optional<std::string> fileDialog(const FileDialogRequest& request) = 0;
  // Ends the program after a fatal message. The real one does not return; a test's does, and
  // the caller then goes on as if nothing had ended.
  virtual void halt(int exitCode, std::string_view text) = 0;
  virtual void beep() = 0;
  virtual void waitCursor(bool on) = 0;
  // The program's logical thread number (1 = the program's first thread).
  virtual int threadNumber() = 0;
};

// The exit code of a halt after a fatal message: whatever started the program must see that
// it failed.
inline constexpr int kFatalExitCode = 3;

// The interface in force; the default until one is installed.
UserInterface& userInterface();
// Installs `ui` (not owned); nullptr returns to the default.
void setUserInterface(UserInterface* ui);

// The default: prints messages on standard error and answers with the default button (the
// window engine installs the real dialogs), cancels file dialogs, halts with std::exit.
// Threads are numbered from 1 in the order they first ask.
class ConsoleInterface : public UserInterface {
 public:
  unsigned messageBox(const MessageBoxRequest& request) override;
  unsigned historyWindow(const HistoryRequest& request) override;
  std::optional<std::string> fileDialog(const FileDialogRequest& request) override;
  void halt(int exitCode, std::string_view text) override;
  void beep() override;
  void waitCursor(bool on) override;
  int threadNumber() override;
};

}  // namespace marlo
