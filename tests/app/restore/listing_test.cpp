// Opening the Restore window, listing archives, cancelling the archive dialog, and the single
// Restore window.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "tests/app/restore/restore_fixture.h"

namespace restore_test {
namespace {

using Rows = std::vector<std::vector<std::string>>;

const std::vector<std::string>* rowNamed(const Rows& rows, std::string_view name) {
  const auto it =
      std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r[0] == name; });
  return it == rows.end() ? nullptr : &*it;
}

// A whole number with its commas where they belong.
bool wellGrouped(std::string_view shown) {
  std::string text = trimmed(shown);
  if (!text.empty() && text[0] == '-') text.erase(0, 1);
  const std::size_t firstComma = std::min(text.find(','), text.size());
  if (firstComma == 0 || firstComma > 3) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool commaPlace = i >= firstComma && (i - firstComma) % 4 == 0;
    if (commaPlace ? text[i] != ',' : (text[i] < '0' || text[i] > '9')) return false;
  }
  return (text.size() - firstComma) % 4 == 0;
}

TEST_F(RestoreTest, OpensWithItsControlsInOrderAndKeepsThePanelsHeightWhenResized) {
  const WindowHandle w = openRestore();
  ASSERT_NE(w, 0);
  const auto screen = driver.screen(w);
  EXPECT_EQ(screen.props.title, "Restore");
  EXPECT_EQ(screen.controls.size(), 19u);
  const std::map<int, std::pair<ControlKind, std::string>> expected = {
      {1, {ControlKind::Panel, ""}},
      {2, {ControlKind::Prompt, "Archive Name:"}},
      {4, {ControlKind::Button, "..."}},
      {5, {ControlKind::Button, "&Test"}},
      {6, {ControlKind::Button, "&Log"}},
      {7, {ControlKind::Button, "&Restore"}},
      {13, {ControlKind::Button, "&Close"}},
      {15, {ControlKind::List, ""}},
      {17, {ControlKind::Prompt, "Extract Folder:"}},
      {19, {ControlKind::Button, "..."}}};
  for (const auto& [number, kindAndText] : expected) {
    EXPECT_EQ(screen.controls.at(number).kind, kindAndText.first) << number;
    EXPECT_EQ(screen.controls.at(number).text, kindAndText.second) << number;
  }
  EXPECT_FALSE(screen.controls.at(14).visible());
  EXPECT_EQ(glo::RestoreOutSize, 999999);
  EXPECT_EQ(glo::RestoreThread, engine.threadOf(w));

  const Rect panel = screen.controls.at(1).rect;
  const Rect designed = screen.props.rect;
  // Smaller than designed is refused; larger moves the panel's width only.
  driver.resize(w, {designed.x, designed.y, designed.width / 2, designed.height / 2});
  EXPECT_GE(driver.screen(w).props.rect.width, designed.width);
  driver.resize(w, {designed.x, designed.y, designed.width * 2, designed.height * 2});
  const Rect grown = driver.control(w, 1).rect;
  EXPECT_EQ(grown.height, panel.height);
  EXPECT_EQ(grown.y, panel.y);
  EXPECT_GT(grown.width, panel.width);

  ASSERT_TRUE(driver.press(w, kClose));
  EXPECT_TRUE(driver.waitEnded());
  EXPECT_EQ(glo::RestoreThread, 0);
}

TEST_F(RestoreTest, ListsABackupArchiveWithSizesCrcsFoldersAndTotals) {
  const std::string big = noise(1234567, 7);
  const std::string text = "restore me, restore me, restore me\n";
  writeFile(dir() / "src/big.bin", big);
  writeFile(dir() / "src/docs/readme.txt", text);
  writeFile(dir() / "src/empty.txt", "");
  fs::create_directories(dir() / "archives");
  const fs::path archive = backup(dir() / "src", dir() / "archives/Marlo_BACKUP.lzh");

  const WindowHandle w = openRestore();
  listArchive(w, archive);

  EXPECT_EQ(glo::NAZ_REST.view(), archive.string());
  EXPECT_EQ(driver.value(w, kArchiveEntry), archive.string().substr(0, 99));
  EXPECT_EQ(glo::RestoreCMD.view(), "-l1 \"" + archive.string() + "\"");
  EXPECT_EQ(glo::RestoreRESULT.view(), "0");
  EXPECT_NE(glo::OUT.view().find("big.bin"), std::string_view::npos);
  // The archive's folder is the current directory now.
  EXPECT_EQ(fs::current_path(), dir() / "archives");

  // Stored with the full path less the root.
  const std::string prefix = (dir() / "src").relative_path().string() + "/";
  const Rows rows = driver.rows(w, kList);
  const auto* bigRow = rowNamed(rows, prefix + "big.bin");
  ASSERT_NE(bigRow, nullptr) << "no " << prefix << "big.bin";
  EXPECT_EQ((*bigRow)[1], "   1,234,567");
  EXPECT_EQ(trimmed((*bigRow)[2]), "1,234,567");  // noise is stored as it is
  EXPECT_EQ(trimmed((*bigRow)[3]), std::to_string(crc16(big)));
  const auto* readme = rowNamed(rows, prefix + "docs/readme.txt");
  ASSERT_NE(readme, nullptr);
  EXPECT_EQ(trimmed((*readme)[1]), std::to_string(text.size()));
  EXPECT_EQ(trimmed((*readme)[3]), std::to_string(crc16(text)));
  // Folders, and any member of size 0, show "<DIR>"; a size of 0 is a plain 0.
  const auto* folder = rowNamed(rows, prefix + "docs");
  ASSERT_NE(folder, nullptr);
  EXPECT_EQ(trimmed((*folder)[1]), "<DIR>");
  EXPECT_EQ(trimmed((*folder)[2]), "0");
  const auto* empty = rowNamed(rows, prefix + "empty.txt");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(trimmed((*empty)[1]), "<DIR>");

  for (const auto& row : rows) {
    EXPECT_TRUE(row[1] == "<DIR>" || wellGrouped(row[1])) << row[0] << ": " << row[1];
    EXPECT_TRUE(wellGrouped(row[2])) << row[0] << ": " << row[2];
  }
  // Each row holds its name, not the buffer the library wrote it into: with a hundred
  // kilobytes per row a real backup could not be listed.
  for (const app::ListingEntry& entry : glo::ListingQueue.entries()) {
    EXPECT_LT(entry.FILE_NAME_.capacity(), 2 * entry.FILE_NAME_.size() + 64) << entry.FILE_NAME_;
  }

  // Totals: as the library gives them, with thousands commas.
  EXPECT_EQ(glo::FILE_COUNT, static_cast<std::int32_t>(rows.size()));
  EXPECT_EQ(trimmed(driver.value(w, kFileCount)), std::to_string(rows.size()));
  EXPECT_EQ(glo::UNLHAGETARCORIGINALSIZE_, static_cast<std::int32_t>(big.size() + text.size()));
  EXPECT_EQ(trimmed(driver.value(w, kUncompressedTotal)), "1,234,602");
  const app::ArchiveHandle handle = app::UnlhaOpenArchive("0", archive.string(), 0);
  EXPECT_EQ(glo::ARC_FILE_SIZE, app::UnlhaGetArcFileSize(handle));
  app::UnlhaCloseArchive(handle);
  EXPECT_GT(glo::ARC_FILE_SIZE, 1234567);
  EXPECT_NE(trimmed(driver.value(w, kCompressedTotal)).find(','), std::string::npos);
}

TEST_F(RestoreTest, ListsAnArchiveThatJlhaWrote) {
  if (std::system("command -v jlha >/dev/null 2>&1") != 0) GTEST_SKIP() << "jlha missing";
  const std::string a = "alpha alpha alpha alpha beta\n";
  const std::string b = noise(5000, 3);
  writeFile(dir() / "j/one.txt", a);
  writeFile(dir() / "j/sub/two.bin", b);
  ASSERT_EQ(std::system("cd j && jlha c2o5q ../j.lzh one.txt sub >/dev/null 2>&1"), 0);

  const WindowHandle w = openRestore();
  listArchive(w, dir() / "j.lzh");
  const Rows rows = driver.rows(w, kList);
  const auto* one = rowNamed(rows, "one.txt");
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(trimmed((*one)[1]), std::to_string(a.size()));
  EXPECT_EQ(trimmed((*one)[3]), std::to_string(crc16(a)));
  const auto* two = rowNamed(rows, "sub/two.bin");
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(trimmed((*two)[1]), "5,000");
  EXPECT_EQ(trimmed((*two)[3]), std::to_string(crc16(b)));
  const auto* sub = rowNamed(rows, "sub");
  ASSERT_NE(sub, nullptr);
  EXPECT_EQ(trimmed((*sub)[1]), "<DIR>");
  EXPECT_EQ(glo::FILE_COUNT, static_cast<std::int32_t>(rows.size()));
  EXPECT_EQ(trimmed(driver.value(w, kUncompressedTotal)), "5,029");
  for (const auto& row : rows) EXPECT_TRUE(wellGrouped(row[2])) << row[0] << ": " << row[2];
  EXPECT_TRUE(wellGrouped(driver.value(w, kCompressedTotal)));
  EXPECT_TRUE(wellGrouped(driver.value(w, kFileCount)));
}

TEST_F(RestoreTest, CancellingTheArchiveDialogListsTheEmptyPath) {
  writeFile(dir() / "src/a.txt", "aaa");
  const fs::path archive = backup(dir() / "src", dir() / "a.lzh");
  const WindowHandle w = openRestore();
  listArchive(w, archive);
  ASSERT_FALSE(driver.rows(w, kList).empty());

  listArchive(w, "");
  EXPECT_EQ(glo::NAZ_REST.view(), "");
  EXPECT_EQ(driver.value(w, kArchiveEntry), "");
  EXPECT_EQ(glo::RestoreCMD.view(), "-l1 \"\"");
  EXPECT_NE(glo::RestoreRESULT.view(), "0");
  EXPECT_FALSE(glo::OUT.clipped().empty());  // the library says what went wrong
  EXPECT_TRUE(driver.rows(w, kList).empty());
  EXPECT_LE(glo::FILE_COUNT, 0);
  EXPECT_EQ(glo::UNLHAGETARCORIGINALSIZE_, 0);
  const DialogRequest asked = driver.dialogs().back().request;
  EXPECT_EQ(asked.kind, DialogRequest::Kind::OpenFile);
  EXPECT_EQ(asked.masks, (std::vector<FileMask>{{"Archive", "*.LZH"}}));

  // Test with no archive still asks the library, whose report says what is wrong.
  ASSERT_TRUE(driver.press(w, kTest));
  EXPECT_EQ(glo::RestoreCMD.view(), "T \"\" \"\\\" -jf0 -gj0 -c -jyo0 -l1");
  EXPECT_NE(glo::RestoreRESULT.view(), "0");
  EXPECT_FALSE(glo::OUT.clipped().empty());
}

TEST_F(RestoreTest, TypingAnArchiveNameListsNothing) {
  writeFile(dir() / "src/a.txt", "aaa");
  const fs::path archive = backup(dir() / "src", dir() / "a.lzh");
  const WindowHandle w = openRestore();
  ASSERT_TRUE(driver.type(w, kArchiveEntry, archive.string()));
  EXPECT_EQ(glo::NAZ_REST.view(), archive.string());
  EXPECT_TRUE(driver.rows(w, kList).empty());
  EXPECT_TRUE(glo::RestoreCMD.view().empty());
}

TEST_F(RestoreTest, ASecondStartBringsTheOpenWindowBackInsteadOfOpeningAnother) {
  const WindowHandle w = openRestore();
  const ThreadId owner = engine.threadOf(w);
  ASSERT_TRUE(driver.minimize(w));
  ASSERT_EQ(driver.screen(w).props.state, WindowState::Minimized);

  const ThreadId second = app::startRest();
  ASSERT_NE(second, 0);
  ASSERT_TRUE(driver.settle());
  EXPECT_EQ(engine.status(second), ThreadStatus::Ended);
  int restoreWindows = 0;
  for (const auto& info : engine.openWindows()) restoreWindows += info.title == "Restore" ? 1 : 0;
  EXPECT_EQ(restoreWindows, 1);
  EXPECT_EQ(driver.screen(w).props.state, WindowState::Normal);
  EXPECT_EQ(engine.activeWindow(), w);
  EXPECT_EQ(glo::RestoreThread, owner);

  // Once it is closed, the next start opens a window again.
  ASSERT_TRUE(driver.press(w, kClose));
  ASSERT_TRUE(driver.waitForClose(w));
  ASSERT_TRUE(driver.settle());
  EXPECT_EQ(glo::RestoreThread, 0);
  app::startRest();
  EXPECT_NE(driver.waitForProcedure("rest"), 0);
}

}  // namespace
}  // namespace restore_test
