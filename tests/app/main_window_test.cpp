// The main window as a person meets it: first start, the backup into one archive, the log, the
// settings file and the timed-backup settings that are only shown.
#include <cstdio>
#include <memory>
#include <set>

#include "app/backup_command.h"
#include "app/compression.h"
#include "platform/core/number.h"
#include "program_fixture.h"

namespace app::test {
namespace {

std::string settingsText() {
  return readFile("Saved.INI");
}

// Names of the archive's members through the library's listing calls.
std::vector<std::string> archiveMembers(const std::string& archive) {
  std::vector<std::string> names;
  ArchiveHandle handle = UnlhaOpenArchive("0", archive, 0);
  if (handle == nullptr) return names;
  ArchiveEntry entry{};
  for (int found = UnlhaFindFirst(handle, "*.*", entry); found == 0;
       found = UnlhaFindNext(handle, entry)) {
    char name[256] = {};
    UnlhaGetFileName(handle, name, sizeof name);
    names.emplace_back(name);
  }
  UnlhaCloseArchive(handle);
  return names;
}

// Runs a command and returns its exit status.
int shell(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str());
}

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST_F(ProgramTest, FirstStartInAnEmptyFolderCreatesTheTableAndBacksUpNothing) {
  startProgram();
  ASSERT_NE(main, 0);
  EXPECT_TRUE(std::filesystem::exists("FILES.db"));
  EXPECT_TRUE(listRows().empty());
  EXPECT_EQ(driver.statusText(main, 1), "Welcome to the Marlo BACKUP 0.1 BETA");
  EXPECT_EQ(driver.statusText(main, 2), "Timed Backup NOT Activated!");
  const std::string start = std::filesystem::current_path().string();
  EXPECT_EQ(driver.value(main, n(MainControl::PAT)), start + "/Marlo_BACKUP");
  EXPECT_EQ(driver.value(main, n(MainControl::MINIMIZE)), "0");
  EXPECT_EQ(driver.value(main, n(MainControl::CEK)), "0");
  EXPECT_EQ(glo::SAJZ, 999999);
  EXPECT_EQ(marlo::toInteger(glo::HWND.view()), main);

  ASSERT_TRUE(press(MainControl::OKBUTTON));
  EXPECT_TRUE(std::filesystem::exists("Back_Log.TXT"));
  EXPECT_EQ(readFile("Back_Log.TXT"), "");
  EXPECT_FALSE(std::filesystem::exists("Marlo_BACKUP.lzh"));
  EXPECT_TRUE(glo::RESULT.view().empty());  // no library call at all

  closeProgram();
  const std::string ini = settingsText();
  for (const char* name : {"Timed", "Minimize", "Activated", "Write_CDRW", "Log"}) {
    EXPECT_NE(ini.find(std::string("[") + name + "]"), std::string::npos) << name;
    EXPECT_NE(ini.find(std::string(name) + "=0"), std::string::npos) << name;
  }
}

TEST_F(ProgramTest, TheMainWindowHasItsThirtyTwoControlsWithTheTimedOnesHidden) {
  startProgram();
  const auto screen = driver.screen(main);
  EXPECT_EQ(screen.props.title, "Marlo BACKUP 0.1 BETA*");
  ASSERT_EQ(screen.controls.size(), 32u);
  const std::set<int> hidden = {2, 4, 11, 12, 13, 14, 15, 18, 19, 25, 28, 29, 30, 31};
  for (const auto& [number, control] : screen.controls)
    EXPECT_EQ(!control.visible(), hidden.count(number) == 1) << control.name;
  EXPECT_EQ(driver.text(main, n(MainControl::OKBUTTON)), "&Backup NOW");
  EXPECT_EQ(driver.text(main, n(MainControl::CANCELBUTTON)), "&Close");
  EXPECT_EQ(driver.text(main, n(MainControl::BUTTON6)), "&Restore");
  EXPECT_EQ(driver.text(main, n(MainControl::CEK)), " Write to CDRW");
  EXPECT_EQ(driver.text(main, n(MainControl::MINIMIZE)), " Minimize");
  EXPECT_EQ(driver.text(main, n(MainControl::STRING8)), "Archive name:");
  const auto& columns = screen.controls.at(n(MainControl::LIST)).columns;
  ASSERT_EQ(columns.size(), 5u);
  EXPECT_EQ(columns[0].header, "Nr");
  EXPECT_EQ(columns[0].width, 32);
  EXPECT_EQ(columns[1].header, "Folder Name");
  EXPECT_EQ(columns[1].width, 431);
  for (std::size_t i = 2; i < columns.size(); ++i)
    EXPECT_EQ(columns[i].width, 0) << columns[i].header;
  closeProgram();
}

TEST_F(ProgramTest, FoldersAreBackedUpInNumberOrderIntoOneArchiveThatOtherToolsAccept) {
  const std::string one = makeFolder("one");
  const std::string three = makeFolder("three");
  const std::string seven = makeFolder("seven", 3);
  seedFolders({{3, three}, {1, one}, {7, seven}});
  std::filesystem::create_directory("Marlo_BACKUP");
  const std::filesystem::path start = std::filesystem::current_path();
  startProgram();
  ASSERT_EQ(listRows().size(), 3u);
  EXPECT_EQ(listRows()[0][1], one);

  ASSERT_TRUE(press(MainControl::OKBUTTON));
  // PAT names a folder, so the run went into it; the archive is PAT plus ".lzh".
  EXPECT_EQ(std::filesystem::current_path(), start / "Marlo_BACKUP");
  const std::string archive = (start / "Marlo_BACKUP.lzh").string();
  ASSERT_TRUE(std::filesystem::exists(archive));

  // Every file and subfolder of every folder, one call per folder in folder-number order.
  const std::vector<std::string> expected = {
      "one/file1.txt",      "one/file2.txt",   "one/sub",         "one/sub/inner.txt",
      "three/file1.txt",    "three/file2.txt", "three/sub",       "three/sub/inner.txt",
      "seven/file1.txt",    "seven/file2.txt", "seven/file3.txt", "seven/sub",
      "seven/sub/inner.txt"};
  const std::vector<std::string> members = archiveMembers(archive);
  ASSERT_EQ(members.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_TRUE(endsWith(members[i], "/" + expected[i])) << members[i] << " for " << expected[i];
  EXPECT_EQ(shell("7z t '" + archive + "'"), 0);
  EXPECT_EQ(shell("bsdtar -tf '" + archive + "'"), 0);
  // 7-Zip gets the files back as they were.
  ASSERT_EQ(shell("7z x -y -oout '" + archive + "'"), 0);
  const std::string relative = seven.substr(1);  // the archive keeps paths without the root
  EXPECT_EQ(readFile("out/" + relative + "/file3.txt"), "seven file 3");

  // The log, in the folder the run started in: one line per folder, then the archive's test.
  const std::vector<std::string> log = lines(readFile(start / "Back_Log.TXT"));
  ASSERT_EQ(log.size(), 4u);
  EXPECT_NE(log[0].find("/one/"), std::string::npos) << log[0];
  EXPECT_NE(log[1].find("/three/"), std::string::npos) << log[1];
  EXPECT_NE(log[2].find("/seven/"), std::string::npos) << log[2];
  EXPECT_EQ(log[3], "The archive is OK: 13 members tested.");
  EXPECT_EQ(glo::RESULT.view(), "0");
  EXPECT_EQ(glo::RBR, 7);
  EXPECT_EQ(glo::PATTERN.view(), "\\*.* -x1 -r");
  EXPECT_EQ(listRows()[2][3], "7");  // the hidden "glo : rbr" column

  closeProgram();
  // The settings follow the current directory, which the run moved into the archive folder.
  EXPECT_TRUE(std::filesystem::exists(start / "Marlo_BACKUP" / "Saved.INI"));
  std::filesystem::current_path(start);
  const auto stored = storedFolders();
  ASSERT_EQ(stored.size(), 3u);
  EXPECT_EQ(std::get<2>(stored[0]), "\"" + one + "\"\\*.* -x1 -r");
  EXPECT_EQ(std::get<2>(stored[2]), "\"" + seven + "\"\\*.* -x1 -r");
}

TEST_F(ProgramTest, AnArchivePathWithABlankStillGoesToThatArchive) {
  const std::string docs = makeFolder("docs");
  seedFolders({{1, docs}});
  std::filesystem::create_directory("My Backups");
  const std::string archive = (std::filesystem::current_path() / "My Backups" / "Week").string();
  startProgram();
  ASSERT_TRUE(driver.type(main, n(MainControl::PAT), archive));
  ASSERT_TRUE(press(MainControl::OKBUTTON));
  EXPECT_TRUE(std::filesystem::exists(archive + ".lzh"));
  EXPECT_FALSE(std::filesystem::exists("My.lzh"));
  EXPECT_EQ(archiveMembers(archive + ".lzh").size(), 4u);  // two files, a subfolder and its file
  closeProgram();
}

TEST_F(ProgramTest, TwoRunsInARowKeepOnlyTheSecondLog) {
  seedFolders({{1, makeFolder("a")}, {2, makeFolder("b")}});
  startProgram();
  ASSERT_TRUE(press(MainControl::OKBUTTON));
  ASSERT_EQ(lines(readFile("Back_Log.TXT")).size(), 3u);  // two folders and the test

  ASSERT_TRUE(driver.pickRow(main, n(MainControl::LIST), 1));
  driver.answerNextMessage(button::Yes);  // "Confirm Delete"
  ASSERT_TRUE(press(MainControl::DELETE_));
  ASSERT_EQ(listRows().size(), 1u);
  ASSERT_TRUE(press(MainControl::OKBUTTON));
  const std::vector<std::string> log = lines(readFile("Back_Log.TXT"));
  ASSERT_EQ(log.size(), 2u);
  closeProgram();
}

TEST_F(ProgramTest, TheStatusBarNamesTheHighlightedFolder) {
  seedFolders({{1, "/first/folder"}, {2, "/second/folder"}});
  startProgram();
  ASSERT_TRUE(driver.pickRow(main, n(MainControl::LIST), 2));
  EXPECT_EQ(driver.statusText(main, 1), "/second/folder");
  closeProgram();
}

TEST_F(ProgramTest, ArchiveNameDialogEditsPathAndCancelKeepsIt) {
  startProgram();
  const std::string before = driver.value(main, n(MainControl::PAT));
  driver.answerNextSaveFile("");
  ASSERT_TRUE(press(MainControl::BUTTON10));
  EXPECT_EQ(driver.value(main, n(MainControl::PAT)), before);
  const auto shown = driver.dialogs().back().request;
  EXPECT_EQ(shown.title, "Choose Archive name:");
  ASSERT_FALSE(shown.masks.empty());
  EXPECT_EQ(shown.masks[0].pattern, "*.LZH");

  const std::string chosen = (std::filesystem::current_path() / "elsewhere.lzh").string();
  driver.answerNextSaveFile(chosen);
  ASSERT_TRUE(press(MainControl::BUTTON10));
  EXPECT_EQ(driver.value(main, n(MainControl::PAT)), chosen);
  closeProgram();
}

// The timed backup is only stored and shown: nothing happens when its time comes.
TEST_F(ProgramTest, AnActivatedTimeAMinuteAheadStartsNothing) {
  seedFolders({{1, makeFolder("a")}});
  const marlo::StandardTime inAMinute = 10 * 360000 + 60 * 100 + 1;  // the driver's clock is 10:00
  {
    std::ofstream ini("Saved.INI");
    ini << "[Activated]\nActivated=1\n[Timed]\nTimed=" << inAMinute << "\n[Minimize]\nMinimize=1\n";
  }
  startProgram();
  EXPECT_EQ(driver.statusText(main, 2), "Timed Backup Activated!");
  EXPECT_EQ(trim(driver.value(main, n(MainControl::SAT2))), marlo::toText(inAMinute));
  ASSERT_TRUE(driver.advanceClock(2 * 60 * 100));
  EXPECT_FALSE(std::filesystem::exists("Back_Log.TXT"));
  EXPECT_FALSE(std::filesystem::exists("Marlo_BACKUP.lzh"));
  EXPECT_TRUE(driver.isOpen(main));
  EXPECT_EQ(engine.windowInfo(main)->state, WindowState::Normal);
  closeProgram();
  const std::string ini = settingsText();
  EXPECT_NE(ini.find("Timed=" + marlo::toText(inAMinute)), std::string::npos) << ini;
  EXPECT_NE(ini.find("Activated=1"), std::string::npos);
  EXPECT_NE(ini.find("Minimize=1"), std::string::npos);
}

TEST_F(ProgramTest, ClosingDeletesTheDiscImageEvenWhenNoDiscWasWritten) {
  std::filesystem::create_directories(std::filesystem::path(discImagePath()).parent_path());
  std::ofstream(discImagePath()) << "image";
  startProgram();
  closeProgram();
  EXPECT_FALSE(std::filesystem::exists(discImagePath()));
}

TEST_F(ProgramTest, RestoreOpensOneRestoreWindowOnAThreadOfItsOwn) {
  startProgram();
  ASSERT_TRUE(press(MainControl::BUTTON6));
  const WindowHandle restore = driver.waitForProcedure("rest");
  ASSERT_NE(restore, 0);
  ASSERT_TRUE(press(MainControl::BUTTON6));  // a second press brings the same window forward
  int restoreWindows = 0;
  for (const auto& info : engine.openWindows()) {
    if (info.title != "Restore") continue;
    ++restoreWindows;
    EXPECT_NE(info.thread, 1u);  // the main window's thread stays free
  }
  EXPECT_EQ(restoreWindows, 1);
  ASSERT_TRUE(driver.closeBox(restore));
  closeProgram();
}

}  // namespace
}  // namespace app::test

namespace app::test {
namespace {

TEST_F(ProgramTest, WithShowLogTheViewerShowsOnlyTheLastFoldersReport) {
  seedFolders({{1, makeFolder("first")}, {2, makeFolder("second")}});
  std::ofstream("Saved.INI") << "[Log]\nLog=1\n";
  startProgram();
  ASSERT_TRUE(press(MainControl::OKBUTTON));
  const marlo::win::WindowHandle viewer = driver.waitForProcedure("pokazi");
  ASSERT_NE(viewer, 0);
  const std::string shown = driver.value(viewer, 1);
  EXPECT_NE(shown.find("/second/"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("/first/"), std::string::npos) << shown;
  ASSERT_TRUE(driver.closeBox(viewer));
  closeProgram();
}

}  // namespace
}  // namespace app::test
