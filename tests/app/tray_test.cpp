// Minimising hides the main window behind a notification-area icon; the icon brings it back or
// ends the program.
#include "program_fixture.h"

namespace app::test {
namespace {

bool hasIcon(const HeadlessView& view, WindowHandle window) {
  for (const auto& icon : view.trayIcons())
    if (icon.window == window) return true;
  return false;
}

TEST_F(ProgramTest, MinimisingHidesTheWindowBehindAnIconAndALeftClickBringsItBack) {
  startProgram();
  ASSERT_TRUE(driver.minimize(main));
  ASSERT_TRUE(hasIcon(view, main));
  EXPECT_EQ(InTray, 1);
  EXPECT_FALSE(engine.windowInfo(main)->visible);
  const TrayIcon icon = view.trayIcons().front();
  EXPECT_EQ(icon.id, 100u);
  EXPECT_EQ(icon.callbackMessage, 1088u);
  EXPECT_EQ(icon.tip, "Left-RESTORE, Right-CLOSE");
  EXPECT_EQ(TrayIconData.cbSize, 88u);
  EXPECT_EQ(TrayIconData.uFlags, 7u);

  ASSERT_TRUE(driver.clickTray(main, TrayAction::Activate));
  EXPECT_FALSE(hasIcon(view, main));
  EXPECT_EQ(InTray, 0);
  EXPECT_TRUE(engine.windowInfo(main)->visible);
  EXPECT_EQ(engine.windowInfo(main)->state, WindowState::Normal);

  // And again: the round trip works more than once.
  ASSERT_TRUE(driver.minimize(main));
  EXPECT_TRUE(hasIcon(view, main));
  ASSERT_TRUE(driver.clickTray(main, TrayAction::Activate));
  EXPECT_TRUE(engine.windowInfo(main)->visible);
  closeProgram();
}

TEST_F(ProgramTest, ADoubleClickAndARightPressAloneChangeNothing) {
  startProgram();
  ASSERT_TRUE(driver.minimize(main));
  ASSERT_TRUE(driver.clickTray(main, TrayAction::DoubleActivate));
  ASSERT_TRUE(driver.clickTray(main, TrayAction::ContextPress));
  EXPECT_TRUE(hasIcon(view, main));
  EXPECT_TRUE(driver.isOpen(main));
  EXPECT_FALSE(engine.windowInfo(main)->visible);
  ASSERT_TRUE(driver.clickTray(main, TrayAction::Activate));
  closeProgram();
}

// The icon goes before the program ends, so none is left behind in the notification area.
TEST_F(ProgramTest, ARightClickOnTheIconRemovesItAndEndsTheProgramWritingTheSettings) {
  startProgram();
  ASSERT_TRUE(driver.minimize(main));
  ASSERT_EQ(InTray, 1);
  ASSERT_TRUE(driver.clickTray(main, TrayAction::Context));
  ASSERT_TRUE(driver.waitEnded());
  EXPECT_EQ(InTray, 0);
  EXPECT_TRUE(view.trayIcons().empty());
  EXPECT_TRUE(std::filesystem::exists("Saved.INI"));
}

TEST_F(ProgramTest, AFailedIconAddLeavesTheWindowMinimisedAndTheNextMinimiseRetries) {
  view.setTrayAvailable(false);
  startProgram();
  ASSERT_TRUE(driver.minimize(main));
  EXPECT_EQ(InTray, 0);
  EXPECT_TRUE(engine.windowInfo(main)->visible);
  EXPECT_EQ(engine.windowInfo(main)->state, WindowState::Minimized);

  view.setTrayAvailable(true);
  ASSERT_TRUE(driver.restore(main));
  ASSERT_TRUE(driver.minimize(main));
  EXPECT_EQ(InTray, 1);
  EXPECT_TRUE(hasIcon(view, main));
  EXPECT_FALSE(engine.windowInfo(main)->visible);
  ASSERT_TRUE(driver.clickTray(main, TrayAction::Activate));
  closeProgram();
}

TEST_F(ProgramTest, ABackupWithMinimizeSetGoesToTheTray) {
  seedFolders({{1, makeFolder("a")}});
  startProgram();
  ASSERT_TRUE(press(MainControl::MINIMIZE));
  ASSERT_EQ(driver.value(main, n(MainControl::MINIMIZE)), "1");
  ASSERT_TRUE(press(MainControl::OKBUTTON));
  EXPECT_EQ(InTray, 1);
  EXPECT_FALSE(engine.windowInfo(main)->visible);
  EXPECT_EQ(lines(readFile("Back_Log.TXT")).size(), 2u);  // the folder and the test
  ASSERT_TRUE(driver.clickTray(main, TrayAction::Activate));
  closeProgram();
}

}  // namespace
}  // namespace app::test
