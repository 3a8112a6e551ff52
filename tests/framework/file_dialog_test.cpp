#include "framework/file_dialog.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "scripted_interface.h"

namespace marlo {
namespace {

namespace fs = std::filesystem;

class FileDialogTest : public test::FrameworkTest {
 protected:
  void SetUp() override {
    test::FrameworkTest::SetUp();
    fs::create_directories(dir / "archives");
    fs::create_directories(dir / "start");
    dialog.init();
  }
  FileDialog dialog;
};

TEST_F(FileDialogTest, CancellingReturnsAnEmptyName) {
  ui.files = {std::nullopt};
  EXPECT_EQ(dialog.ask(false), "");
  ASSERT_EQ(ui.fileDialogs.size(), 1U);
  EXPECT_EQ(ui.fileDialogs[0].title, "Odaberi datoteku");
  EXPECT_EQ(fs::current_path(), dir);
}

TEST_F(FileDialogTest, WithoutAMaskEveryFileIsOffered) {
  (void)dialog.ask(true);
  EXPECT_EQ(ui.fileDialogs[0].masks, "Sve datoteke|*.*");
}

TEST_F(FileDialogTest, MasksAreSetAndAdded) {
  dialog.addMask("Text|*.TXT  ");
  EXPECT_EQ(dialog.MASKSTRING, "Text|*.TXT  ");
  dialog.setMask("Archive  ", "*.LZH");
  EXPECT_EQ(dialog.MASKSTRING, "Archive|*.LZH");
  dialog.addMask("All|*.*  ");
  EXPECT_EQ(dialog.MASKSTRING, "Archive|*.LZH|All|*.*");
  dialog.FLAGS = 0x10;
  dialog.DEFAULTFILE = "backup.lzh";
  (void)dialog.ask(true);
  EXPECT_EQ(ui.fileDialogs[0].masks, "Archive|*.LZH|All|*.*");
  EXPECT_EQ(ui.fileDialogs[0].flags, 0x10U);
  EXPECT_EQ(ui.fileDialogs[0].fileName, "backup.lzh");
}

TEST_F(FileDialogTest, TheChosenFolderStaysCurrentUnlessKept) {
  const fs::path chosen = dir / "archives" / "b.lzh";
  dialog.DEFAULTDIRECTORY = (dir / "start").string();

  ui.files = {chosen.string()};
  EXPECT_EQ(dialog.ask(true), chosen.string());
  EXPECT_EQ(ui.directoryDuringDialog, dir / "start");  // the dialog starts there
  EXPECT_EQ(fs::current_path(), dir);                  // and the old one is back

  ui.files = {chosen.string()};
  EXPECT_EQ(dialog.ask(false), chosen.string());
  EXPECT_EQ(fs::current_path(), dir / "archives");

  fs::current_path(dir);
  ui.files = {std::nullopt};
  EXPECT_EQ(dialog.ask(false), "");
  EXPECT_EQ(fs::current_path(), dir / "start");  // cancelled where the dialog started
}

}  // namespace
}  // namespace marlo
