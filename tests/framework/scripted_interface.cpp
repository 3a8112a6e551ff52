#include "scripted_interface.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace marlo::test {

unsigned ScriptedInterface::messageBox(const MessageBoxRequest& request) {
  boxes.push_back(request);
  if (answers.empty()) return request.defaultButton;
  const unsigned answer = answers.front();
  answers.pop_front();
  return answer;
}

unsigned ScriptedInterface::historyWindow(const HistoryRequest& request) {
  historyWindows.push_back(request);
  if (answers.empty()) return request.defaultButton;
  const unsigned answer = answers.front();
  answers.pop_front();
  return answer;
}

std::optional<std::string> ScriptedInterface::fileDialog(const FileDialogRequest& request) {
  fileDialogs.push_back(request);
  directoryDuringDialog = std::filesystem::current_path();
  if (files.empty()) return std::nullopt;
  auto chosen = files.front();
  files.pop_front();
  return chosen;
}

void ScriptedInterface::halt(int exitCode, std::string_view text) {
  halts.push_back({exitCode, std::string(text)});
}

int ScriptedInterface::threadNumber() {
  std::lock_guard lock(mutex_);
  const auto [it, added] =
      threads_.try_emplace(std::this_thread::get_id(), static_cast<int>(threads_.size()) + 1);
  return it->second;
}

void FrameworkTest::SetUp() {
  previousDir_ = std::filesystem::current_path();
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string pattern = (std::filesystem::temp_directory_path() /
                         (std::string("marlo-fw-") + info->name() + "-XXXXXX"))
                            .string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  dir = pattern;
  std::filesystem::current_path(dir);
  ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  ui.threadNumber();  // the test's own thread is thread 1
  setUserInterface(&ui);
}

void FrameworkTest::TearDown() {
  setUserInterface(nullptr);
  std::filesystem::current_path(previousDir_);
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
}

std::string readWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace marlo::test
