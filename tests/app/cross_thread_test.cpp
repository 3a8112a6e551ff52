// The main window's thread and the Restore window's thread side by side: shared globals, the
// process's current directory, and the end of the program while the Restore window is open.
#include <atomic>
#include <filesystem>
#include <thread>

#include "app/restore/rest.h"
#include "app/restore/restore_state.h"
#include "framework/error_manager.h"
#include "framework/window/window_controller.h"
#include "program_fixture.h"

namespace app::test {
namespace {

namespace fs = std::filesystem;

// A person who answers every question No, at once and on any thread.
class RefusingInterface : public marlo::ConsoleInterface {
 public:
  unsigned messageBox(const marlo::MessageBoxRequest& /*request*/) override {
    return marlo::button::No;
  }
  int threadNumber() override { return 1; }
};

// The Restore window clears lastResponse as it opens, on its own thread. The folder form's
// caller must learn the form's own answer whatever another thread does to the global.
TEST_F(ProgramTest, TheFolderFormAnswersWithItsOwnResponseWhileAnotherThreadClearsTheGlobal) {
  RefusingInterface refuser;
  marlo::setUserInterface(&refuser);
  marlo::globalErrors.init(nullptr);
  files::initDeclarations();
  ASSERT_EQ(files::relations().open(), marlo::SevBenign);

  std::atomic<bool> stop{false};
  std::thread restoreStarts([&stop] {
    while (!stop) marlo::lastResponse = 0;
  });
  int wrong = 0;
  // A delete the person declines: the form never opens and answers Cancelled at once.
  for (int run = 0; run < 3000 && wrong == 0; ++run) {
    marlo::pendingRequest = marlo::RequestDelete;
    if (up_folder() != marlo::ResponseCancelled) ++wrong;
  }
  stop = true;
  restoreStarts.join();
  files::relations().close();
  files::killDeclarations();
  marlo::globalErrors.kill();
  EXPECT_EQ(wrong, 0);
}

// The process has one current directory. A backup moves it into the archive's folder while the
// Restore window's folder dialog may be open on the other thread; cancelling the dialog
// afterwards must not put back the directory the dialog saw when it opened.
TEST_F(ProgramTest, CancellingTheExtractFolderDialogLeavesTheBackupsCurrentDirectory) {
  const fs::path start = fs::current_path();
  fs::create_directories("archives");
  const fs::path archiveFolder = start / "archives";
  startProgram();
  ASSERT_TRUE(driver.type(main, n(MainControl::PAT), archiveFolder.string()));
  ASSERT_TRUE(press(MainControl::BUTTON6));
  const WindowHandle restore = driver.waitForProcedure("rest");
  ASSERT_TRUE(driver.press(restore, 19));  // "..." of the extract folder: the dialog waits
  ASSERT_TRUE(driver.waitForDialog().has_value());

  ASSERT_TRUE(press(MainControl::OKBUTTON));
  EXPECT_EQ(fs::current_path(), archiveFolder);
  ASSERT_TRUE(driver.answer({}));  // cancelled
  EXPECT_EQ(fs::current_path(), archiveFolder);

  // A confirmed folder still becomes the current directory, as every dialog leaves it.
  fs::create_directories(start / "target");
  driver.answerNextFolder((start / "target").string());
  ASSERT_TRUE(driver.press(restore, 19));
  EXPECT_EQ(fs::current_path(), start / "target");
  ASSERT_TRUE(driver.closeBox(restore));
  closeProgram();
}

// Another copy of the program deletes folders while this one shows them: the run takes the
// folder numbers as it starts, and a folder gone by the time its turn comes is passed over
// with a line in the log instead of read from a list that has shrunk under it.
TEST_F(ProgramTest, AFolderDeletedElsewhereBeforeItsTurnIsSkippedWithALineInTheLog) {
  const std::string one = makeFolder("one");
  seedFolders({{1, one}, {2, makeFolder("two")}, {3, makeFolder("three")}});
  startProgram();
  ASSERT_EQ(listRows().size(), 3u);
  {
    marlo::KeyedTable elsewhere(files::declaration());
    ASSERT_EQ(elsewhere.open(marlo::kAccessReadWrite | marlo::kDenyNone), 0);
    for (const std::int32_t gone : {2, 3}) {
      files::RBR = gone;
      ASSERT_EQ(elsewhere.get(files::kRbrKey), 0);
      ASSERT_EQ(elsewhere.erase(), 0);
    }
  }
  ASSERT_TRUE(press(MainControl::OKBUTTON));

  const std::vector<std::string> log = lines(readFile("Back_Log.TXT"));
  ASSERT_EQ(log.size(), 4u);
  EXPECT_NE(log[0].find("/one/"), std::string::npos) << log[0];
  EXPECT_EQ(log[1], "Folder 2 was not backed up: it is no longer in the folder list.");
  EXPECT_EQ(log[2], "Folder 3 was not backed up: it is no longer in the folder list.");
  EXPECT_EQ(log[3], "The archive is OK: 4 members tested.");
  EXPECT_TRUE(driver.dialogs().empty());  // gone from the list is no failure
  EXPECT_EQ(listRows().size(), 1u);
  closeProgram();
  const auto stored = storedFolders();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(std::get<2>(stored[0]), "\"" + one + "\"\\*.* -x1 -r");
}

// Closing the main window ends the program even with the Restore window open, waiting in its
// folder dialog: the Restore window closes first and its thread ends before the program's
// objects are released.
TEST_F(ProgramTest, ClosingTheMainWindowClosesTheRestoreWindowAndEndsTheProgram) {
  glo::RASPK.clear();
  startProgram();
  ASSERT_TRUE(press(MainControl::BUTTON6));
  const WindowHandle restore = driver.waitForProcedure("rest");
  ASSERT_NE(restore, 0);
  ASSERT_TRUE(driver.press(restore, 19));
  ASSERT_TRUE(driver.waitForDialog().has_value());

  ASSERT_TRUE(press(MainControl::CANCELBUTTON));
  ASSERT_TRUE(driver.waitEnded());
  EXPECT_TRUE(engine.openWindows().empty());
  EXPECT_EQ(glo::RestoreThread, 0);
  EXPECT_EQ(glo::RASPK.view(), "");  // the dialog ended as cancelled
}

}  // namespace
}  // namespace app::test
