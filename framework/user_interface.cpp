#include "framework/user_interface.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace marlo {

namespace {

ConsoleInterface& consoleInterface() {
  static ConsoleInterface console;
  return console;
}

std::atomic<UserInterface*> installed{nullptr};

}  // namespace

UserInterface& userInterface() {
  UserInterface* ui = installed.load();
  return ui != nullptr ? *ui : consoleInterface();
}

void setUserInterface(UserInterface* ui) {
  installed.store(ui);
}

unsigned ConsoleInterface::messageBox(const MessageBoxRequest& request) {
  std::fprintf(stderr, "[%s] %s\n", request.caption.c_str(), request.text.c_str());
  return request.defaultButton;
}

unsigned ConsoleInterface::historyWindow(const HistoryRequest& request) {
  for (const HistoryEntry& entry : request.history) {
    std::fprintf(stderr, "[%s] %s\n", entry.CATEGORY.c_str(), entry.TXT.c_str());
  }
  return request.defaultButton;
}

std::optional<std::string> ConsoleInterface::fileDialog(const FileDialogRequest& /*request*/) {
  return std::nullopt;
}

void ConsoleInterface::halt(int exitCode, std::string_view text) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  std::exit(exitCode);
}

void ConsoleInterface::beep() {}

void ConsoleInterface::waitCursor(bool /*on*/) {}

int ConsoleInterface::threadNumber() {
  static std::atomic<int> lastNumber{0};
  thread_local const int number = ++lastNumber;
  return number;
}

}  // namespace marlo
