// Test, Restore and Log of the Restore window, and a backup running beside them.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/app/restore/restore_fixture.h"

namespace restore_test {
namespace {

std::string switches() {
  return " -jf0 -gj0 -c -jyo0 -l1";
}

// The source tree of the restore tests: a few files in nested folders, one name with a blank.
struct SourceTree {
  fs::path root;
  std::map<std::string, std::string> files;  // relative path -> content

  void write() const {
    for (const auto& [name, content] : files) writeFile(root / name, content);
  }
  // Every file below `folder` (which holds the tree under the root's full path) equals ours.
  void expectRestoredBelow(const fs::path& folder) const {
    const fs::path base = folder / root.relative_path();
    for (const auto& [name, content] : files) {
      EXPECT_EQ(readFile(base / name), content) << (base / name);
    }
  }
};

SourceTree makeTree(const fs::path& root) {
  SourceTree tree{root,
                  {{"a.txt", "first file\n"},
                   {"My Docs/b c.txt", std::string(20000, 'b') + "end"},
                   {"deep/er/noise.bin", noise(70000, 11)},
                   {"empty.dat", ""}}};
  tree.write();
  return tree;
}

class RestoreActions : public RestoreTest {};

TEST_F(RestoreActions, TestReportsAGoodArchiveAndNamesTheBadMemberOfADamagedCopy) {
  makeTree(dir() / "src");
  const fs::path good = backup(dir() / "src", dir() / "good.lzh");
  std::string bytes = readFile(good);
  // Inside the incompressible member's stored data.
  const std::size_t at = bytes.find(noise(70000, 11).substr(30000, 16));
  ASSERT_NE(at, std::string::npos);
  bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
  writeFile(dir() / "bad.lzh", bytes);

  const WindowHandle w = openRestore();
  listArchive(w, good);
  driver.answerNextMessage(button::Ok);
  ASSERT_TRUE(driver.press(w, kTest));
  EXPECT_EQ(glo::RestoreCMD.view(), "T \"" + good.string() + "\" \"\\\"" + switches());
  EXPECT_EQ(glo::RestoreRESULT.view(), "0");
  EXPECT_NE(glo::OUT.view().find("The archive is OK"), std::string_view::npos) << glo::OUT.view();
  // The library's closing line, as information.
  const DialogRequest told = driver.dialogs().back().request;
  EXPECT_EQ(told.title, "Test");
  EXPECT_EQ(told.icon, MessageIcon::Asterisk);
  EXPECT_EQ(told.text, "The archive is OK: 7 members tested.");

  listArchive(w, dir() / "bad.lzh");
  driver.answerNextMessage(button::Yes);
  ASSERT_TRUE(driver.press(w, kTest));
  EXPECT_EQ(glo::RestoreRESULT.view(), "5");
  const std::string_view report = glo::OUT.view();
  EXPECT_NE(report.find("NOT OK"), std::string_view::npos) << report;
  EXPECT_NE(report.find("deep/er/noise.bin"), std::string_view::npos) << report;
  // An error box with the closing line and the bad member; Yes shows the report.
  const DialogRequest failed = driver.dialogs().back().request;
  EXPECT_EQ(failed.icon, MessageIcon::Hand);
  EXPECT_EQ(failed.buttons, button::Yes | button::No);
  EXPECT_EQ(failed.defaultButton, button::No);
  EXPECT_EQ(failed.text.rfind("The archive is NOT OK: first bad member ", 0), 0u) << failed.text;
  EXPECT_NE(
      failed.text.find("\n\nError: " + (dir() / "src/deep/er/noise.bin").relative_path().string()),
      std::string::npos)
      << failed.text;
  EXPECT_TRUE(failed.text.ends_with("\n\nShow the log?")) << failed.text;
  const WindowHandle viewer = driver.waitForProcedure("pokazi1");
  ASSERT_NE(viewer, 0);
  EXPECT_EQ(driver.value(viewer, 1), std::string(marlo::clip(report)));
  ASSERT_TRUE(driver.press(viewer, 2));
}

TEST_F(RestoreActions, RestoresIntoAnEmptyFolderByteForByte) {
  const SourceTree tree = makeTree(dir() / "src");
  const fs::path archive = backup(dir() / "src", dir() / "a.lzh");
  fs::create_directory(dir() / "out");

  const WindowHandle w = openRestore();
  listArchive(w, archive);
  chooseExtractFolder(w, dir() / "out");
  EXPECT_EQ(glo::RASPK.view(), (dir() / "out").string());
  EXPECT_EQ(driver.value(w, kExtractEntry), (dir() / "out").string());
  EXPECT_EQ(fs::current_path(), dir() / "out");
  driver.answerNextMessage(button::Ok);
  ASSERT_TRUE(driver.press(w, kRestore));
  EXPECT_EQ(glo::RestoreCMD.view(),
            "x \"" + archive.string() + "\" \"" + (dir() / "out").string() + "\\\"" + switches());
  EXPECT_EQ(glo::RestoreRESULT.view(), "0") << glo::OUT.view();
  EXPECT_EQ(driver.dialogs().back().request.text.rfind(
                "4 files extracted (90,014 bytes) to " + (dir() / "out").string() + "/;", 0),
            0u);
  tree.expectRestoredBelow(dir() / "out");
  EXPECT_TRUE(fs::is_directory(dir() / "out" / (dir() / "src/deep/er").relative_path()));
}

TEST_F(RestoreActions, AFolderEndingInASeparatorAndPathsWithBlanksRestoreWhereChosen) {
  const SourceTree tree = makeTree(dir() / "My Source");
  fs::create_directories(dir() / "My Backups");
  const fs::path archive = backup(dir() / "My Source", dir() / "My Backups/Saved Set.lzh");
  fs::create_directories(dir() / "Restored Here");
  fs::create_directories(dir() / "Restored There");

  const WindowHandle w = openRestore();
  listArchive(w, archive);
  // Typed with its separator: the line gets a second one, which the library takes as one.
  ASSERT_TRUE(driver.type(w, kExtractEntry, (dir() / "Restored Here").string() + "/"));
  driver.answerNextMessage(button::Ok);
  ASSERT_TRUE(driver.press(w, kRestore));
  EXPECT_EQ(glo::RestoreCMD.view(), "x \"" + archive.string() + "\" \"" +
                                        (dir() / "Restored Here").string() + "/\\\"" + switches());
  EXPECT_EQ(glo::RestoreRESULT.view(), "0") << glo::OUT.view();
  tree.expectRestoredBelow(dir() / "Restored Here");

  ASSERT_TRUE(driver.type(w, kExtractEntry, (dir() / "Restored There").string()));
  driver.answerNextMessage(button::Ok);
  ASSERT_TRUE(driver.press(w, kRestore));
  EXPECT_EQ(glo::RestoreRESULT.view(), "0") << glo::OUT.view();
  tree.expectRestoredBelow(dir() / "Restored There");
  // Nothing went to a folder named after a part of either path.
  EXPECT_FALSE(fs::exists(dir() / "My Backups/Saved"));
  EXPECT_FALSE(fs::exists(dir() / "Restored"));
}

TEST_F(RestoreActions, AnEmptyExtractFolderAsksFirstThenRestoresWhereTheFilesCameFrom) {
  const SourceTree tree = makeTree(dir() / "src");
  const fs::path archive = backup(dir() / "src", dir() / "a.lzh");
  fs::remove_all(dir() / "src");

  const WindowHandle w = openRestore();
  listArchive(w, archive);
  driver.answerNextMessage(button::No);
  ASSERT_TRUE(driver.press(w, kRestore));
  const DialogRequest asked = driver.dialogs().back().request;
  EXPECT_EQ(asked.buttons, button::Yes | button::No);
  EXPECT_EQ(asked.defaultButton, button::No);
  EXPECT_NE(asked.text.find("original place, overwriting"), std::string::npos) << asked.text;
  EXPECT_EQ(driver.dialogs().size(), 2u);  // the archive dialog and the question: no outcome
  EXPECT_FALSE(fs::exists(dir() / "src"));
  EXPECT_EQ(glo::RestoreCMD.view().rfind("-l1 ", 0), 0u);  // the listing's: nothing was called

  driver.answerNextMessage(button::Yes);
  driver.answerNextMessage(button::Ok);
  ASSERT_TRUE(driver.press(w, kRestore));
  EXPECT_EQ(glo::RestoreCMD.view(), "x \"" + archive.string() + "\" \"\\\"" + switches());
  EXPECT_EQ(glo::RestoreRESULT.view(), "0") << glo::OUT.view();
  tree.expectRestoredBelow("/");
}

TEST_F(RestoreActions, AnArchivePathLongerThanTheEntryShowsSurvivesTheCommit) {
  const fs::path folder = dir() / std::string(120, 'l') / "My Backups";
  fs::create_directories(folder);
  makeTree(dir() / "src");
  const fs::path archive = backup(dir() / "src", folder / "a.lzh");
  ASSERT_GT(archive.string().size(), 99u);

  const WindowHandle w = openRestore();
  listArchive(w, archive);
  EXPECT_EQ(driver.value(w, kArchiveEntry).size(), 99u);
  driver.answerNextMessage(button::Ok);
  driver.answerNextMessage(button::No);  // the other archive's failure
  ASSERT_TRUE(driver.press(w, kTest));
  EXPECT_EQ(glo::NAZ_REST.view(), archive.string());
  EXPECT_EQ(glo::RestoreRESULT.view(), "0") << glo::OUT.view();
  // A path typed over it replaces it.
  ASSERT_TRUE(driver.type(w, kArchiveEntry, "other.lzh"));
  ASSERT_TRUE(driver.press(w, kTest));
  EXPECT_EQ(glo::NAZ_REST.view(), "other.lzh");
  EXPECT_NE(glo::RestoreRESULT.view(), "0");
}

TEST_F(RestoreActions, LogBeforeAnyCallWritesABlankRecordAndShowsAnEmptyViewer) {
  const WindowHandle w = openRestore();
  ASSERT_TRUE(driver.press(w, kLog));
  const WindowHandle viewer = driver.waitForProcedure("pokazi1");
  ASSERT_NE(viewer, 0);
  EXPECT_EQ(driver.value(viewer, 1), "");
  EXPECT_EQ(readFile(dir() / "outfile.txt"), "\r\n");
  EXPECT_FALSE(driver.screen(w).props.enabled);  // the Restore window waits for the viewer
  ASSERT_TRUE(driver.press(viewer, 2));
  ASSERT_TRUE(driver.waitForClose(viewer));
  EXPECT_TRUE(driver.screen(w).props.enabled);
  EXPECT_EQ(glo::RestoreLogFileName.clipped(), "outfile.txt");
}

TEST_F(RestoreActions, TheFolderDialogStartsInTheExtractFolderOrElseInTheCurrentDirectory) {
  fs::create_directories(dir() / "here/there");
  const WindowHandle w = openRestore();
  const auto lastFolderDialog = [&] {
    const auto shown = driver.dialogs();
    EXPECT_FALSE(shown.empty());
    return shown.back().request;
  };
  ASSERT_TRUE(driver.type(w, kExtractEntry, "here"));  // relative to the current directory
  driver.answerNextFolder("");
  ASSERT_TRUE(driver.press(w, kChooseFolder));
  EXPECT_EQ(lastFolderDialog().title, "Choose Directory to DeCompress to:");
  EXPECT_EQ(lastFolderDialog().directory, (dir() / "here").string());
  EXPECT_EQ(fs::current_path(), dir());  // put back after the dialog

  ASSERT_TRUE(driver.type(w, kExtractEntry, (dir() / "missing").string()));
  chooseExtractFolder(w, dir() / "here/there");
  EXPECT_EQ(lastFolderDialog().directory, dir().string());
  EXPECT_EQ(glo::RASPK.view(), (dir() / "here/there").string());
  EXPECT_EQ(fs::current_path(), dir() / "here/there");
}

TEST_F(RestoreActions, OutfileLandsInTheFolderChosenLastAndHoldsTheLastReport) {
  makeTree(dir() / "src");
  fs::create_directories(dir() / "archives");
  const fs::path archive = backup(dir() / "src", dir() / "archives/a.lzh");
  fs::create_directories(dir() / "target");

  const WindowHandle w = openRestore();
  listArchive(w, archive);
  driver.answerNextFolder("");  // cancelled: the extract folder and directory stay
  ASSERT_TRUE(driver.press(w, kChooseFolder));
  EXPECT_EQ(glo::RASPK.view(), "");
  EXPECT_EQ(fs::current_path(), dir() / "archives");
  ASSERT_TRUE(driver.press(w, kLog));
  ASSERT_TRUE(driver.press(driver.waitForProcedure("pokazi1"), 2));
  EXPECT_TRUE(fs::exists(dir() / "archives/outfile.txt"));

  chooseExtractFolder(w, dir() / "target");
  driver.answerNextMessage(button::Ok);
  ASSERT_TRUE(driver.press(w, kTest));
  ASSERT_TRUE(driver.press(w, kLog));
  const WindowHandle viewer = driver.waitForProcedure("pokazi1");
  const std::string report(glo::OUT.view());
  EXPECT_EQ(driver.value(viewer, 1), report);
  ASSERT_TRUE(driver.press(viewer, 2));
  EXPECT_EQ(readFile(dir() / "target/outfile.txt"), report + "\r\n");
  EXPECT_NE(report.find("The archive is OK"), std::string::npos);
}

TEST_F(RestoreActions, ABackupRunningBesideARestoreTestKeepsItsOwnLineAndReport) {
  // Large enough that the test takes a while.
  writeFile(dir() / "big/one.bin", noise(3000000, 5));
  writeFile(dir() / "big/two.txt", std::string(3000000, 'x'));
  const fs::path bigArchive = backup(dir() / "big", dir() / "big.lzh");
  writeFile(dir() / "daily/note.txt", "a small daily folder\n");

  const WindowHandle w = openRestore();
  listArchive(w, bigArchive);

  std::atomic<bool> stop{false};
  std::atomic<int> runs{0};
  std::atomic<int> corrupted{0};
  const std::string backupLine =
      app::backupCommandLine((dir() / "daily.lzh").string(), (dir() / "daily").string());
  // The backup run's side: its own command line and report, on another thread.
  std::thread backupThread([&] {
    while (!stop) {
      glo::CMD = backupLine;
      glo::OUT_.clear();
      const int result = app::Unlha(glo::HWND.view(), glo::CMD, glo::OUT_, glo::SAJZ);
      const bool own = result == 0 && glo::CMD.view() == backupLine &&
                       glo::OUT_.view().find("one.bin") == std::string_view::npos;
      if (!own) ++corrupted;
      ++runs;
    }
  });
  while (runs == 0) std::this_thread::yield();
  const int before = runs;
  driver.answerNextMessage(button::Ok);
  ASSERT_TRUE(driver.press(w, kTest));
  const int during = runs - before;
  stop = true;
  backupThread.join();

  EXPECT_GE(during, 1);
  EXPECT_EQ(corrupted, 0);
  EXPECT_EQ(glo::RestoreCMD.view(), "T \"" + bigArchive.string() + "\" \"\\\"" + switches());
  EXPECT_EQ(glo::RestoreRESULT.view(), "0");
  const std::string_view report = glo::OUT.view();
  EXPECT_NE(report.find("The archive is OK"), std::string_view::npos) << report;
  EXPECT_NE(report.find("one.bin"), std::string_view::npos);
  EXPECT_EQ(report.find("note.txt"), std::string_view::npos);
  EXPECT_EQ(glo::CMD.view(), backupLine);
}

}  // namespace
}  // namespace restore_test
