// The folder form behind the main list's Insert, Change and Delete, and the limit of the stored
// folder path.
#include <atomic>

#include "framework/error_manager.h"
#include "framework/file_manager.h"
#include "framework/relation_set.h"
#include "framework/window/window_component.h"
#include "program_fixture.h"

namespace app::test {
namespace {

constexpr int kFolder = n(FolderFormControl::Folder);

// A path of exactly `length` characters under the test folder; made on disk when `create`.
std::string pathOfLength(std::size_t length, bool create) {
  std::string path = std::filesystem::current_path().string();
  while (path.size() + 1 < length) {
    const std::size_t room = length - path.size() - 1;
    path += "/" + std::string(std::min<std::size_t>(room, 60), 'd');
    if (room > 60 && length - path.size() == 1) path.back() = 'e';  // never end on a lone "/"
  }
  if (path.size() != length) path.resize(length, 'x');
  if (create) std::filesystem::create_directories(path);
  return path;
}

TEST_F(ProgramTest, InsertChangeCancelAndDeleteMaintainTheList) {
  startProgram();
  insertFolder("/data/photos");
  insertFolder("/data/mail");
  ASSERT_EQ(listRows().size(), 2u);
  EXPECT_EQ(listRows()[0][0], "1");
  EXPECT_EQ(listRows()[1][1], "/data/mail");

  // Change the second folder.
  ASSERT_TRUE(driver.pickRow(main, n(MainControl::LIST), 2));
  ASSERT_TRUE(press(MainControl::CHANGE));
  WindowHandle form = driver.waitForProcedure("up_folder");
  EXPECT_EQ(driver.value(form, n(FolderFormControl::ActionMessage)), "Record will be Changed");
  EXPECT_EQ(driver.value(form, kFolder), "/data/mail");
  ASSERT_TRUE(driver.type(form, kFolder, "/data/letters"));
  ASSERT_TRUE(driver.press(form, n(FolderFormControl::Ok)));
  ASSERT_TRUE(driver.waitForClose(form));
  EXPECT_EQ(listRows()[1][1], "/data/letters");

  // An insert given up leaves nothing behind, not even its number.
  ASSERT_TRUE(press(MainControl::INSERT));
  form = driver.waitForProcedure("up_folder");
  EXPECT_EQ(driver.value(form, n(FolderFormControl::ActionMessage)), "Record will be Added");
  ASSERT_TRUE(driver.type(form, kFolder, "/data/never"));
  driver.answerNextMessage(button::No);  // the form asks whether to save what was typed
  ASSERT_TRUE(driver.press(form, n(FolderFormControl::Cancel)));
  ASSERT_TRUE(driver.waitForClose(form));
  ASSERT_EQ(listRows().size(), 2u);

  // Delete the first one after confirming.
  ASSERT_TRUE(driver.pickRow(main, n(MainControl::LIST), 1));
  driver.answerNextMessage(button::Yes);
  ASSERT_TRUE(press(MainControl::DELETE_));
  ASSERT_EQ(listRows().size(), 1u);
  EXPECT_EQ(listRows()[0][1], "/data/letters");
  // The next new folder gets the next number; freed ones are not reused.
  insertFolder("/data/music");
  closeProgram();
  const auto stored = storedFolders();
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(std::get<0>(stored[0]), 2);
  EXPECT_EQ(std::get<0>(stored[1]), 3);
  EXPECT_EQ(std::get<1>(stored[1]), "/data/music");
}

TEST_F(ProgramTest, TheListsKeysAndPopupMenuReachTheFolderFormToo) {
  seedFolders({{1, "/from/seed"}});
  startProgram();
  ASSERT_TRUE(driver.pressKey(main, n(MainControl::LIST), key::Insert));
  WindowHandle form = driver.waitForProcedure("up_folder");
  ASSERT_NE(form, 0);
  EXPECT_EQ(driver.value(form, n(FolderFormControl::ActionMessage)), "Record will be Added");
  ASSERT_TRUE(driver.press(form, n(FolderFormControl::Cancel)));
  ASSERT_TRUE(driver.waitForClose(form));

  driver.answerNextPopup(2);  // the list's menu: insert, change, delete
  ASSERT_TRUE(driver.rightClickRow(main, n(MainControl::LIST), 1));
  form = driver.waitForProcedure("up_folder");
  ASSERT_NE(form, 0);
  EXPECT_EQ(driver.value(form, n(FolderFormControl::ActionMessage)), "Record will be Changed");
  EXPECT_EQ(driver.value(form, kFolder), "/from/seed");
  ASSERT_TRUE(driver.press(form, n(FolderFormControl::Cancel)));
  ASSERT_TRUE(driver.waitForClose(form));
  closeProgram();
}

TEST_F(ProgramTest, TheFormHasItsCaptionControlsAndHistoryKey) {
  startProgram();
  ASSERT_TRUE(press(MainControl::INSERT));
  const WindowHandle form = driver.waitForProcedure("up_folder");
  const auto screen = driver.screen(form);
  EXPECT_EQ(screen.props.title, "Add folder");
  EXPECT_EQ(driver.text(form, n(FolderFormControl::FolderPrompt)), "Folder to Add:");
  EXPECT_EQ(driver.text(form, n(FolderFormControl::Browse)), "...");
  EXPECT_EQ(driver.text(form, n(FolderFormControl::Ok)), "OK");
  EXPECT_EQ(driver.text(form, n(FolderFormControl::Cancel)), "Cancel");
  EXPECT_FALSE(driver.control(form, n(FolderFormControl::Number)).visible());
  ASSERT_TRUE(driver.type(form, kFolder, "/typed/first"));
  ASSERT_TRUE(driver.press(form, n(FolderFormControl::Ok)));
  ASSERT_TRUE(driver.waitForClose(form));

  // The history key recalls the folder of the record saved last.
  ASSERT_TRUE(press(MainControl::INSERT));
  const WindowHandle next = driver.waitForProcedure("up_folder");
  ASSERT_TRUE(driver.pressKey(next, kFolder, 734));
  EXPECT_EQ(driver.value(next, kFolder), "/typed/first");
  driver.answerNextMessage(button::No);
  ASSERT_TRUE(driver.press(next, n(FolderFormControl::Cancel)));
  closeProgram();
}

TEST_F(ProgramTest, AnEmptyFolderNameIsStoredAsTyped) {
  startProgram();
  ASSERT_TRUE(press(MainControl::INSERT));
  const WindowHandle form = driver.waitForProcedure("up_folder");
  ASSERT_TRUE(driver.press(form, n(FolderFormControl::Ok)));
  ASSERT_TRUE(driver.waitForClose(form));
  ASSERT_EQ(listRows().size(), 1u);
  EXPECT_EQ(listRows()[0][1], "");
  closeProgram();
}

// A 221-character path fits whole and is backed up whole; the stored fragment is cut at its
// field's capacity, the command line is not.
TEST_F(ProgramTest, AFolderPathOf221CharactersIsKeptAndBackedUpWhole) {
  const std::string longPath = pathOfLength(221, /*create=*/true);
  ASSERT_EQ(longPath.size(), 221u);
  std::ofstream(longPath + "/deep.txt") << "deep";
  startProgram();
  insertFolder(longPath);
  ASSERT_EQ(listRows().size(), 1u);
  EXPECT_EQ(listRows()[0][1], longPath);
  ASSERT_TRUE(driver.type(main, n(MainControl::PAT), (folder.path() / "Long").string()));
  ASSERT_TRUE(press(MainControl::OKBUTTON));
  const std::string log = readFile("Back_Log.TXT");
  closeProgram();
  const auto stored = storedFolders();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(std::get<1>(stored[0]), longPath);
  EXPECT_EQ(std::get<2>(stored[0]), ("\"" + longPath).substr(0, 221));
  // The archive holds the folder's file: the line named the whole folder.
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "Long.lzh")) << log;
  EXPECT_NE(readFile(folder.path() / "Long.lzh").find("deep.txt"), std::string::npos);
}

TEST_F(ProgramTest, ALongerTypedPathIsRefusedWithAMessageAndNothingIsStored) {
  const std::string tooLong = pathOfLength(222, /*create=*/false);
  startProgram();
  ASSERT_TRUE(press(MainControl::INSERT));
  const WindowHandle form = driver.waitForProcedure("up_folder");
  driver.answerNextMessage(button::Ok);
  ASSERT_TRUE(driver.type(form, kFolder, tooLong));
  ASSERT_FALSE(driver.dialogs().empty());
  const auto refusal = driver.dialogs().back().request;
  EXPECT_EQ(refusal.title, "Add folder");
  EXPECT_NE(refusal.text.find("222"), std::string::npos) << refusal.text;
  EXPECT_NE(refusal.text.find("221"), std::string::npos) << refusal.text;
  EXPECT_EQ(driver.value(form, kFolder), tooLong);  // the person still sees what was refused

  // OK refuses it again and the form stays open.
  driver.answerNextMessage(button::Ok);
  ASSERT_TRUE(driver.press(form, n(FolderFormControl::Ok)));
  EXPECT_TRUE(driver.isOpen(form));
  const std::size_t shown = driver.dialogs().size();
  ASSERT_TRUE(driver.type(form, kFolder, "/short"));
  EXPECT_EQ(driver.dialogs().size(), shown);
  ASSERT_TRUE(driver.press(form, n(FolderFormControl::Ok)));
  ASSERT_TRUE(driver.waitForClose(form));
  ASSERT_EQ(listRows().size(), 1u);
  EXPECT_EQ(listRows()[0][1], "/short");
  closeProgram();
}

TEST_F(ProgramTest, BrowsingChoosesTheFolderAndMovesTheCurrentDirectoryThere) {
  const std::string chosen = makeFolder("chosen");
  const std::string tooLong = pathOfLength(230, /*create=*/true);
  startProgram();
  ASSERT_TRUE(press(MainControl::INSERT));
  const WindowHandle form = driver.waitForProcedure("up_folder");

  // A chosen path that is too long is refused; the directory stays where it was.
  const auto before = std::filesystem::current_path();
  driver.answerNextFolder(tooLong);
  driver.answerNextMessage(button::Ok);
  ASSERT_TRUE(driver.press(form, n(FolderFormControl::Browse)));
  EXPECT_EQ(driver.value(form, kFolder), "");
  EXPECT_EQ(std::filesystem::current_path(), before);

  driver.answerNextFolder(chosen);
  ASSERT_TRUE(driver.press(form, n(FolderFormControl::Browse)));
  bool titled = false;
  for (const auto& d : driver.dialogs())
    titled |= d.request.title == "Choose Directory to Compress:";
  EXPECT_TRUE(titled);
  EXPECT_EQ(driver.value(form, kFolder), chosen);
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(chosen));
  ASSERT_TRUE(driver.press(form, n(FolderFormControl::Ok)));
  ASSERT_TRUE(driver.waitForClose(form));
  EXPECT_EQ(listRows()[0][1], chosen);
  closeProgram();
  // Settings follow the directory the dialog left.
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(chosen) / "Saved.INI"));
}

// The main list never asks for it, but a form shown for viewing closes on OK and its caller
// always learns that nothing was done.
TEST_F(ProgramTest, InViewModeOkClosesTheFormAndTheCallerLearnsCancelled) {
  seedFolders({{1, "/viewed/folder"}});
  std::atomic<int> response{-1};
  driver.start([&response] {
    marlo::globalErrors.init(nullptr);
    files::initDeclarations();
    files::relations().open();
    files::RBR = 1;
    files::manager().tryFetch(files::kRbrKey);
    marlo::pendingRequest = marlo::RequestView;
    response = up_folder();
    files::relations().close();
    files::killDeclarations();
    marlo::globalErrors.kill();
  });
  const WindowHandle form = driver.waitForProcedure("up_folder");
  ASSERT_NE(form, 0);
  EXPECT_EQ(driver.value(form, kFolder), "/viewed/folder");
  EXPECT_EQ(driver.value(form, n(FolderFormControl::ActionMessage)), "View Record");
  ASSERT_TRUE(driver.press(form, n(FolderFormControl::Ok)));
  ASSERT_TRUE(driver.waitEnded());
  EXPECT_EQ(response.load(), marlo::ResponseCancelled);
  EXPECT_EQ(std::get<1>(storedFolders().at(0)), "/viewed/folder");
}

}  // namespace
}  // namespace app::test
