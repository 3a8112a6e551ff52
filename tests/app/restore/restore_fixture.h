// Shared set-up of the Restore window's tests: a headless view, an engine and a driver per
// test, the framework's dialogs and settings wired to them, a fresh current directory with the
// settings folder inside it, and the Restore window's variables as at program start.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/backup_command.h"
#include "app/compression.h"
#include "app/globals.h"
#include "app/restore/rest.h"
#include "app/restore/restore_state.h"
#include "framework/error_manager.h"
#include "framework/ini_manager.h"
#include "framework/window/windowed_interface.h"
#include "platform/headless/headless_view.h"
#include "platform/headless/test_driver.h"
#include "platform/window/engine.h"

namespace restore_test {

namespace fs = std::filesystem;
using namespace marlo::win;       // NOLINT
using namespace marlo::headless;  // NOLINT
namespace button = marlo::button;
using marlo::MessageIcon;

// Control numbers of the Restore window, as a person finds them.
inline constexpr int kArchiveEntry = 3;
inline constexpr int kLookupFile = 4;
inline constexpr int kTest = 5;
inline constexpr int kLog = 6;
inline constexpr int kRestore = 7;
inline constexpr int kUncompressedTotal = 9;
inline constexpr int kFileCount = 12;
inline constexpr int kClose = 13;
inline constexpr int kList = 15;
inline constexpr int kCompressedTotal = 16;
inline constexpr int kExtractEntry = 18;
inline constexpr int kChooseFolder = 19;

// CRC-16 as LZH archives keep it (reflected polynomial 0xA001, start 0), worked out here
// independently of the library.
inline std::uint32_t crc16(const std::string& data) {
  std::uint32_t crc = 0;
  for (const unsigned char byte : data) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

// Bytes no compressor can shrink, the same in every run.
inline std::string noise(std::size_t size, std::uint32_t seed) {
  std::string out(size, '\0');
  std::uint32_t x = seed | 1;
  for (char& c : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x & 0xFF);
  }
  return out;
}

inline void writeFile(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

inline std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

class RestoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    std::string pattern = (fs::temp_directory_path() / "marlo-restore-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    // The real path: the library refuses to extract through a symbolic link, and archives
    // store the folders' full paths.
    dir_ = fs::canonical(pattern);
    fs::current_path(dir_);
    ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    marlo::globalErrors.init(nullptr);
    marlo::setUserInterface(&ui_);
    marlo::globalIni.init("cd_rw.ini");
    resetProgramState();
  }

  void TearDown() override {
    engine.shutdown();
    marlo::globalIni.kill();
    marlo::setUserInterface(nullptr);
    marlo::globalErrors.kill();
    fs::current_path(previous_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // A fresh process, with what the main window has set by the time Restore can be pressed.
  static void resetProgramState() {
    glo::resetAll();
    glo::HWND = "4096";
    glo::SAJZ = 999999;
  }

  [[nodiscard]] const fs::path& dir() const { return dir_; }

  // An archive written as a backup run writes it: the folder with its full path, recursively.
  fs::path backup(const fs::path& folder, const fs::path& archive) {
    glo::CMD = app::backupCommandLine(archive.string(), folder.string());
    glo::OUT_.clear();
    const int result = app::Unlha(glo::HWND.view(), glo::CMD, glo::OUT_, glo::SAJZ);
    EXPECT_EQ(result, 0) << glo::OUT_.view();
    return archive;
  }

  WindowHandle openRestore() {
    driver.start([] { app::rest(); }, app::kRestoreStackHint);
    return driver.waitForProcedure("rest");
  }

  // Picks the archive in the dialog of "..." (an empty path cancels it).
  void listArchive(WindowHandle w, const fs::path& archive) {
    driver.answerNextOpenFile(archive.string());
    ASSERT_TRUE(driver.press(w, kLookupFile));
  }

  void chooseExtractFolder(WindowHandle w, const fs::path& folder) {
    driver.answerNextFolder(folder.string());
    ASSERT_TRUE(driver.press(w, kChooseFolder));
  }

  HeadlessView view;
  Engine engine{view};
  TestDriver driver{engine, view};

 private:
  marlo::WindowedInterface ui_;
  fs::path previous_;
  fs::path dir_;
};

}  // namespace restore_test
