// A person who answers from a script, and a fresh temporary folder to work in.
#pragma once

#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "framework/user_interface.h"

namespace marlo::test {

class ScriptedInterface : public UserInterface {
 public:
  unsigned messageBox(const MessageBoxRequest& request) override;
  unsigned historyWindow(const HistoryRequest& request) override;
  std::optional<std::string> fileDialog(const FileDialogRequest& request) override;
  void halt(int exitCode, std::string_view text) override;
  void beep() override { ++beeps; }
  void waitCursor(bool on) override { cursorChanges.push_back(on); }
  int threadNumber() override;

  // Answers in order; when they run out the default button is pressed.
  std::deque<unsigned> answers;
  std::vector<MessageBoxRequest> boxes;
  std::vector<HistoryRequest> historyWindows;
  // Chosen files in order (nullopt = cancel); when they run out the dialog is cancelled.
  std::deque<std::optional<std::string>> files;
  std::vector<FileDialogRequest> fileDialogs;
  std::filesystem::path directoryDuringDialog;
  struct Halt {
    int exitCode;
    std::string text;
  };
  std::vector<Halt> halts;
  int beeps = 0;
  std::vector<bool> cursorChanges;

 private:
  std::mutex mutex_;
  std::map<std::thread::id, int> threads_;
};

// Installs a scripted person and works in a fresh temporary folder (also the per-user
// configuration folder) for the length of one test.
class FrameworkTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  ScriptedInterface ui;
  std::filesystem::path dir;

 private:
  std::filesystem::path previousDir_;
};

std::string readWholeFile(const std::filesystem::path& path);

}  // namespace marlo::test
