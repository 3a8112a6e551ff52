// What "&Backup NOW" tells the person: the summary, the box after a failure, the progress
// window with its Cancel, and the test of the archive after the run.
#include <chrono>
#include <mutex>

#include "app/archive_snapshot.h"
#include "app/backup_progress_window.h"
#include "app/windowed_backup.h"
#include "program_fixture.h"

namespace app::test {
namespace {

namespace fs = std::filesystem;

class BackupOutcomeTest : public ProgramTest {
 protected:
  std::string archive() const { return (folder.path() / "Marlo_BACKUP.lzh").string(); }

  std::vector<std::string> logLines() { return lines(readFile(folder.path() / "Back_Log.TXT")); }

  // The last message box shown.
  DialogRequest lastBox() {
    const auto shown = driver.dialogs();
    return shown.empty() ? DialogRequest{} : shown.back().request;
  }
};

TEST_F(BackupOutcomeTest, AMissingFolderIsNamedInABoxWhoseYesShowsTheLog) {
  const std::string kept = makeFolder("kept");
  // A "|" starts a new line in the program's own box texts, but not inside a folder's name.
  const std::string gone = (fs::current_path() / "gone|2023").string();
  seedFolders({{1, kept}, {2, gone}});
  startProgram();
  driver.answerNextMessage(button::Yes);
  ASSERT_TRUE(press(MainControl::OKBUTTON));

  const DialogRequest box = lastBox();
  EXPECT_EQ(box.title, "Marlo BACKUP");
  EXPECT_EQ(box.icon, MessageIcon::Hand);
  EXPECT_EQ(box.buttons, button::Yes | button::No);
  EXPECT_EQ(box.defaultButton, button::No);
  EXPECT_NE(box.text.find("Folder 2, " + gone + ": Error: the folder " + gone + " does not exist"),
            std::string::npos)
      << box.text;
  EXPECT_EQ(box.text.find("Folder 1"), std::string::npos) << box.text;
  EXPECT_EQ(driver.statusText(main, 1),
            "Backup: 2 folders, 4 members, 35 -> 35 bytes, 1 folder failed, archive OK.");
  // The progress window came and went; the main window takes input again.
  const auto titles = view.openedTitles();
  EXPECT_NE(std::find(titles.begin(), titles.end(), kProgressCaption), titles.end());
  EXPECT_EQ(driver.windowOf(kProgressProcedure), 0);

  // Yes: the whole log, the archive's test last.
  const WindowHandle viewer = driver.waitForProcedure("pokazi");
  ASSERT_NE(viewer, 0);
  const std::string shown = driver.value(viewer, 1);
  EXPECT_NE(shown.find(gone + " does not exist"), std::string::npos) << shown;
  EXPECT_NE(shown.find("/kept/"), std::string::npos) << shown;
  EXPECT_NE(logLines().back().find("The archive is OK: 4 members tested."), std::string::npos);
  ASSERT_TRUE(driver.closeBox(viewer));
  closeProgram();
}

TEST_F(BackupOutcomeTest, ACleanRunShowsItsSummaryUntilTheHighlightMovesAndTellsTheTray) {
  const std::string two = makeFolder("two");
  seedFolders({{1, makeFolder("one")}, {2, two}});
  startProgram();
  ASSERT_TRUE(press(MainControl::OKBUTTON));
  EXPECT_EQ(driver.statusText(main, 1),
            "Backup: 2 folders, 8 members, 64 -> 64 bytes, no errors, archive OK.");
  EXPECT_TRUE(driver.dialogs().empty());
  EXPECT_TRUE(view.trayMessages().empty());  // the window is not in the tray
  ASSERT_TRUE(driver.pickRow(main, n(MainControl::LIST), 2));
  EXPECT_EQ(driver.statusText(main, 1), two);

  // With " Minimize" the window is in the tray when the run is over: the icon says it.
  ASSERT_TRUE(press(MainControl::MINIMIZE));
  ASSERT_TRUE(press(MainControl::OKBUTTON));
  ASSERT_EQ(InTray, 1);
  const auto messages = view.trayMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].window, main);
  EXPECT_EQ(messages[0].id, kTrayIconId);
  EXPECT_EQ(messages[0].text,
            "Backup: 2 folders, 0 members, 0 -> 0 bytes, no errors, archive OK.");  // no changes
  EXPECT_EQ(messages[0].icon, MessageIcon::Asterisk);
  ASSERT_TRUE(driver.clickTray(main, TrayAction::Activate));
  closeProgram();
}

// Cancel in the middle of the second folder: the first folder's update is thrown back too.
TEST_F(BackupOutcomeTest, CancelMidRunLeavesTheArchiveAsItWasAndTheLogSaysSo) {
  const std::string a = makeFolder("a");
  const std::string b = makeFolder("b");
  seedFolders({{1, a}, {2, b}});
  startProgram();
  ASSERT_TRUE(press(MainControl::OKBUTTON));
  ASSERT_EQ(driver.statusText(main, 1).rfind("Backup: 2 folders, 8 members", 0), 0u);
  const std::string before = readFile(archive());
  makeNewer("a/file1.txt", "changed");
  makeNewer("b/file1.txt", "changed too");
  makeNewer("b/file2.txt", "changed as well");
  // Left by a run that was killed: its process is gone, so the run clears it.
  const fs::path dead = ArchiveSnapshot::copyName(archive(), 999999999);
  std::ofstream(dead) << "an old archive";

  // As b/file1.txt is stored the person looks at the window, waits two seconds and cancels.
  std::mutex seenMutex;
  std::map<ProgressControl, std::string> seen;
  bool mainEnabled = true;
  backupRunHooks().step = [&](const MemberProgress& step) {
    if (!step.done || !std::string(step.member).ends_with("b/file1.txt")) return;
    const WindowHandle progress = driver.windowOf(kProgressProcedure);
    const auto text = [&](ProgressControl c) { return driver.text(progress, n(c)); };
    engine.advanceClock(200);
    view.waitFor([&] { return !text(ProgressControl::Speed).empty(); }, 30);
    {
      std::lock_guard lock(seenMutex);
      for (const ProgressControl c : {ProgressControl::Folder, ProgressControl::Member,
                                      ProgressControl::Counts, ProgressControl::Speed})
        seen[c] = text(c);
      mainEnabled = driver.screen(main).props.enabled;
    }
    engine.sendInput(progress, Input::press(n(ProgressControl::Cancel)));
    view.waitFor(
        [&] { return driver.control(progress, n(ProgressControl::Cancel)).has(flag::Disabled); },
        30);
  };
  ASSERT_TRUE(press(MainControl::OKBUTTON));

  {
    std::lock_guard lock(seenMutex);
    EXPECT_EQ(seen[ProgressControl::Folder], "Folder 2 of 2: " + b);
    EXPECT_TRUE(seen[ProgressControl::Member].starts_with("Storing: "))
        << seen[ProgressControl::Member];
    EXPECT_TRUE(seen[ProgressControl::Member].ends_with("b/file1.txt"))
        << seen[ProgressControl::Member];
    // a/file1.txt ("changed") is done; b's two files (11 and 15 bytes) are to come.
    EXPECT_EQ(seen[ProgressControl::Counts], "1 of 3 files, 7 of 33 bytes");
    EXPECT_EQ(seen[ProgressControl::Speed], "4 bytes/s, about 8 s left");
    EXPECT_FALSE(mainEnabled);  // the main window waits behind the progress window
  }
  EXPECT_EQ(readFile(archive()), before);
  const std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 3u);  // a, b stopped, and the cancel
  EXPECT_NE(log[1].find("Cancelled after"), std::string::npos) << log[1];
  EXPECT_EQ(log[2], "Backup cancelled: " + archive() + " is as it was before this backup.");
  EXPECT_EQ(driver.statusText(main, 1),
            "Backup cancelled: the archive is as it was before the backup.");
  EXPECT_TRUE(driver.dialogs().empty());
  for (const auto& entry : fs::directory_iterator(folder.path()))
    EXPECT_EQ(entry.path().filename().string().find("before-backup"), std::string::npos)
        << entry.path();  // neither this run's copy nor the dead run's
  closeProgram();
}

TEST_F(BackupOutcomeTest, TheTestAfterTheRunCatchesADamagedArchiveUnlessVerifyIsOff) {
  seedFolders({{1, makeFolder("a")}});
  backupRunHooks().beforeVerify = [this](const std::string& file) {
    EXPECT_EQ(file, archive());
    damage(file, "a file 2");
  };
  std::ofstream("Saved.INI") << "[Verify]\r\nVerify=0\r\n";
  startProgram();
  ASSERT_TRUE(press(MainControl::OKBUTTON));
  EXPECT_TRUE(driver.dialogs().empty());
  EXPECT_EQ(logLines().size(), 1u);  // untested
  EXPECT_EQ(driver.statusText(main, 1), "Backup: 1 folder, 4 members, 26 -> 26 bytes, no errors.");

  // The setting is read at each run; this time the hook damages the archive before its test.
  fs::remove(archive());
  std::ofstream("Saved.INI") << "[Verify]\r\nVerify=1\r\n";
  driver.answerNextMessage(button::No);
  ASSERT_TRUE(press(MainControl::OKBUTTON));
  const DialogRequest box = lastBox();
  EXPECT_EQ(box.icon, MessageIcon::Hand);
  EXPECT_NE(box.text.find("The archive failed its test after the backup: The archive is NOT OK: "
                          "first bad member"),
            std::string::npos)
      << box.text;
  EXPECT_NE(box.text.find("a/file2.txt"), std::string::npos) << box.text;
  EXPECT_EQ(driver.statusText(main, 1),
            "Backup: 1 folder, 4 members, 26 -> 26 bytes, no errors, archive NOT OK.");
  const std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_NE(log[1].find("The archive is NOT OK"), std::string::npos) << log[1];
  EXPECT_EQ(driver.windowOf("pokazi"), 0);  // No shows nothing
  closeProgram();
}

}  // namespace
}  // namespace app::test
