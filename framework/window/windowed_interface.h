// The person's side of the framework's messages, files and halts, served by the window engine:
// message boxes and file dialogs through the view, the message history in its own window, the
// halt through the engine. The program installs it (setUserInterface) once the engine exists.
#pragma once

#include "framework/user_interface.h"

namespace marlo {

class WindowedInterface : public UserInterface {
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
