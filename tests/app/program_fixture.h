// The whole program under the headless view: a fresh temporary current directory per test (the
// folder table, the log and .\Saved.INI live there), the per-user settings folder inside it, the
// program started on its first thread and a driver acting as the person.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/files_table.h"
#include "app/globals.h"
#include "app/program.h"
#include "app/tray.h"
#include "app/trayicon.h"
#include "app/up_folder.h"
#include "framework/user_interface.h"
#include "framework/window/windowed_interface.h"
#include "platform/headless/headless_view.h"
#include "platform/headless/test_driver.h"
#include "platform/storage/text_file.h"
#include "platform/window/control_id.h"
#include "platform/window/engine.h"
#include "temp_folder.h"

namespace app::test {

using namespace marlo::win;       // NOLINT
using namespace marlo::headless;  // NOLINT
namespace button = marlo::button;
using marlo::MessageIcon;

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::string trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      out.push_back(text.substr(start));
      break;
    }
    out.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return out;
}

// Rewrites `file` with a time an hour ahead, so that an update takes it as changed.
inline void makeNewer(const std::filesystem::path& file, const std::string& text) {
  std::ofstream(file) << text;
  std::filesystem::last_write_time(
      file, std::filesystem::file_time_type::clock::now() + std::chrono::hours(1));
}

// Flips one byte of `text` where it is stored in the file (tiny files are stored as they are).
inline void damage(const std::string& file, const std::string& text) {
  std::string bytes = readFile(file);
  const std::size_t at = bytes.find(text);
  ASSERT_NE(at, std::string::npos);
  bytes[at] = static_cast<char>(bytes[at] ^ 0x20);
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

// Puts a folder with a few files under the test folder and returns its full path.
inline std::string makeFolder(const std::string& name, int files = 2) {
  std::filesystem::create_directories(name + "/sub");
  for (int i = 1; i <= files; ++i)
    std::ofstream(name + "/file" + std::to_string(i) + ".txt") << name << " file " << i;
  std::ofstream(name + "/sub/inner.txt") << "inner of " << name;
  return (std::filesystem::current_path() / name).string();
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
    glo::resetAll();  // the program-wide variables start as a fresh process has them
    marlo::setUserInterface(&ui);
  }

  void TearDown() override {
    engine.shutdown();
    marlo::setUserInterface(nullptr);
  }

  // Writes folders straight into the table, as an earlier run of the program left them.
  static void seedFolders(const std::vector<std::pair<int, std::string>>& folders) {
    marlo::KeyedTable table(files::declaration());
    if (table.open(marlo::kAccessReadWrite | marlo::kDenyNone) != 0) {
      ASSERT_EQ(table.create(), 0);
      ASSERT_EQ(table.open(marlo::kAccessReadWrite | marlo::kDenyNone), 0);
    }
    for (const auto& [rbr, name] : folders) {
      files::RBR = rbr;
      files::NAZIV_FOLDERA = name;
      files::TEST_FOLDER = "";
      ASSERT_EQ(table.add(), 0);
    }
  }

  // Reads the stored records, in folder-number order: number, folder, fragment.
  static std::vector<std::tuple<int, std::string, std::string>> storedFolders() {
    std::vector<std::tuple<int, std::string, std::string>> out;
    marlo::KeyedTable table(files::declaration());
    if (table.open(marlo::kAccessReadWrite | marlo::kDenyNone) != 0) return out;
    table.setBefore(files::kRbrKey);
    while (table.next() == 0)
      out.emplace_back(files::RBR, files::NAZIV_FOLDERA.str(), files::TEST_FOLDER.str());
    return out;
  }

  WindowHandle startProgram() {
    driver.start([this] { program.run(); });
    main = driver.waitForProcedure("Trayicon");
    return main;
  }

  // The shown rows of the main list, cells without their padding.
  std::vector<std::vector<std::string>> listRows() {
    auto rows = driver.rows(main, n(MainControl::LIST));
    for (auto& row : rows)
      for (auto& cell : row) cell = trim(cell);
    return rows;
  }

  bool press(MainControl control) { return driver.press(main, n(control)); }

  // Inserts one folder through the folder form, typed.
  void insertFolder(const std::string& path) {
    ASSERT_TRUE(press(MainControl::INSERT));
    const WindowHandle form = driver.waitForProcedure("up_folder");
    ASSERT_NE(form, 0);
    ASSERT_TRUE(driver.type(form, n(FolderFormControl::Folder), path));
    ASSERT_TRUE(driver.press(form, n(FolderFormControl::Ok)));
    ASSERT_TRUE(driver.waitForClose(form));
  }

  void closeProgram() {
    ASSERT_TRUE(press(MainControl::CANCELBUTTON));
    ASSERT_TRUE(driver.waitEnded());
  }

  marlo::testing::TempFolder folder;
  HeadlessView view;
  Engine engine{view};
  TestDriver driver{engine, view};
  marlo::WindowedInterface ui;
  Program program;
  WindowHandle main = 0;
};

}  // namespace app::test
