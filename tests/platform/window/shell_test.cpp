// The Windows stand-ins and the dialogs, and the demo program run headless: the tray round trip,
// message boxes, file dialogs and two threads' windows.
#include <gmock/gmock.h>

#include <cstring>
#include <filesystem>

#include "platform/dialogs/dialogs.h"
#include "platform/shell/shell.h"
#include "platform/window/control_id.h"
#include "tests/platform/window/demo_window.h"
#include "tests/platform/window/window_fixture.h"

namespace marlo::test {
namespace {

using namespace marlo::shell;  // NOLINT
using demo::MainControl;
using ::testing::ElementsAre;

using marlo::win::n;

TEST_F(WindowTest, NotifyIconAddsOnceAndDeletesWhatIsThere) {
  std::atomic<int> results[5] = {-1, -1, -1, -1, -1};
  driver.start([&] {
    Window w("Main");
    w.open();
    NOTIFYICONDATAA d{};
    d.cbSize = sizeof d;
    d.hWnd = w.handle();
    d.uID = 100;
    d.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    d.uCallbackMessage = WM_USER + 64;
    d.hIcon = LoadIconA(0, "icon11_ico");
    std::strcpy(d.szTip, "Left-RESTORE, Right-CLOSE");
    results[0] = Shell_NotifyIconA(NIM_ADD, &d);
    results[1] = Shell_NotifyIconA(NIM_ADD, &d);  // already there
    results[2] = Shell_NotifyIconA(NIM_DELETE, &d);
    results[3] = Shell_NotifyIconA(NIM_DELETE, &d);  // gone already
    d.cbSize = 40;
    results[4] = Shell_NotifyIconA(NIM_ADD, &d);  // a record of the wrong size
    d.cbSize = sizeof d;
    Shell_NotifyIconA(NIM_ADD, &d);
    while (w.accept()) {
    }
  });
  EXPECT_EQ(results[0].load(), TRUE);
  EXPECT_EQ(results[1].load(), FALSE);
  EXPECT_EQ(results[2].load(), TRUE);
  EXPECT_EQ(results[3].load(), FALSE);
  EXPECT_EQ(results[4].load(), FALSE);
  const auto icons = view.trayIcons();
  ASSERT_EQ(icons.size(), 1u);
  EXPECT_EQ(icons[0].tip, "Left-RESTORE, Right-CLOSE");
  EXPECT_EQ(icons[0].icon, "icon11_ico");
  EXPECT_EQ(icons[0].callbackMessage, 1088u);
  EXPECT_EQ(LoadIconA(0, "icon11_ico"), LoadIconA(0, "icon11_ico"));
  driver.closeBox(driver.window("Main"));
  EXPECT_TRUE(driver.waitEnded());
  EXPECT_TRUE(view.trayIcons().empty()) << "a closed window leaves no icon behind";
}

// A message goes to an icon that is there, through the engine, from the icon's thread.
TEST_F(WindowTest, ATrayMessageNeedsItsIcon) {
  std::atomic<int> results[3] = {-1, -1, -1};
  driver.start([&] {
    Window w("Main");
    w.open();
    const TrayMessage message{w.handle(), 7, "Backup", "Done.", MessageIcon::Hand};
    results[0] = Engine::instance().trayMessage(message);  // no icon yet
    engine.trayAdd({w.handle(), 7, 1088, "icon11_ico", "tip"});
    results[1] = Engine::instance().trayMessage(message);
    engine.trayRemove(w.handle(), 7);
    results[2] = Engine::instance().trayMessage(message);
    while (w.accept()) {
    }
  });
  EXPECT_EQ(results[0].load(), 0);
  EXPECT_EQ(results[1].load(), 1);
  EXPECT_EQ(results[2].load(), 0);
  const auto messages = view.trayMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].id, 7u);
  EXPECT_EQ(messages[0].title, "Backup");
  EXPECT_EQ(messages[0].text, "Done.");
  EXPECT_EQ(messages[0].icon, MessageIcon::Hand);
  driver.closeBox(driver.window("Main"));
  EXPECT_TRUE(driver.waitEnded());
}

std::atomic<int> gSubclassed{0};
WNDPROC gPrevious = nullptr;
LRESULT countingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_USER + 1) {
    ++gSubclassed;
    return 7;
  }
  return CallWindowProcA(gPrevious, w, m, wp, lp);
}

TEST_F(WindowTest, SubclassingThroughWindowLongOnlyOnTheOwningThread) {
  std::atomic<LONG_PTR> fromOther{-1};
  std::atomic<LRESULT> direct{0};
  driver.start([&] {
    Window w("Main");
    w.open();
    gPrevious = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(w.handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&countingProc)));
    direct = CallWindowProcA(GetWindowProc(w.handle()), w.handle(), WM_USER + 1, 0, 0);
    while (const Event* e = w.accept()) log.add(*e);
  });
  const WindowHandle h = driver.window("Main");
  EXPECT_EQ(gPrevious, &Engine::defaultWindowProc);
  EXPECT_EQ(direct.load(), 7);
  driver.start([&] { fromOther = GetWindowLongPtrA(h, GWLP_WNDPROC); });
  EXPECT_EQ(fromOther.load(), 0) << "another thread cannot read a window's procedure";
  EXPECT_EQ(PostMessageA(h, WM_USER + 1, 0, 0), TRUE);
  EXPECT_EQ(PostMessageA(h, WM_CLOSE, 0, 0), TRUE);  // passed on to the default procedure
  EXPECT_TRUE(driver.waitEnded());
  EXPECT_EQ(gSubclassed.load(), 2);
  EXPECT_EQ(PostMessageA(h, WM_USER + 1, 0, 0), FALSE) << "the window has gone";
}

TEST(SystemParameters, FullWindowDraggingReadsOffUntilSet) {
  BOOL value = TRUE;
  EXPECT_EQ(SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &value, 0), TRUE);
  EXPECT_EQ(value, FALSE);
  EXPECT_EQ(SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, 1, nullptr, 0), TRUE);
  SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &value, 0);
  EXPECT_EQ(value, TRUE);
  SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, 0, nullptr, 0);
  EXPECT_EQ(SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, nullptr, 0), FALSE);
  EXPECT_EQ(SystemParametersInfoA(0x1234, 0, &value, 0), FALSE);
}

TEST(MaskList, PairsDescriptionsWithPatterns) {
  const auto masks = dialogs::parseMaskList("Archive|*.LZH|All|*.*|Lonely");
  ASSERT_EQ(masks.size(), 3u);
  EXPECT_EQ(masks[0], (FileMask{"Archive", "*.LZH"}));
  EXPECT_EQ(masks[2], (FileMask{"Lonely", "*.*"}));
  EXPECT_TRUE(dialogs::parseMaskList("").empty());
}

TEST_F(WindowTest, MessageBoxesBeepAndStopBox) {
  std::atomic<unsigned> pressed{0};
  std::atomic<unsigned> fallback{0};
  std::atomic<bool> afterStop{false};
  engine.setHaltHandler([](int, std::string_view) {});
  driver.answerNextMessage(button::No);
  driver.answerNextMessage(button::Retry);  // not offered: the default counts
  driver.answerNextMessage(button::Ignore);
  driver.answerNextMessage(button::Abort);
  driver.start([&] {
    Window w("Main");
    w.open();
    pressed = dialogs::messageBox("First line|second line", "Save Record", MessageIcon::Question,
                                  button::Yes | button::No | button::Cancel, button::Cancel);
    fallback = dialogs::messageBox("Text", "Title", MessageIcon::Exclamation,
                                   button::Yes | button::No, 77);
    dialogs::beep(BeepKind::Exclamation);
    dialogs::stop("Move Fail: 5");  // Ignore: goes on
    dialogs::stop("Move Fail: 6");  // Abort: ends the program
    afterStop = true;
  });
  EXPECT_TRUE(driver.waitEnded());
  EXPECT_EQ(pressed.load(), button::No);
  EXPECT_EQ(fallback.load(), button::Yes)
      << "a default that is not a button falls back to the first";
  EXPECT_FALSE(afterStop.load());
  EXPECT_EQ(engine.haltCode(), 0);
  const auto shown = driver.dialogs();
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0].request.text, "First line\nsecond line");
  EXPECT_EQ(shown[0].request.title, "Save Record");
  EXPECT_EQ(shown[0].request.defaultButton, button::Cancel);
  EXPECT_EQ(shown[2].request.title, "Stop");
  EXPECT_EQ(shown[2].request.buttons, button::Abort | button::Ignore);
  EXPECT_THAT(view.beeps(), ElementsAre(BeepKind::Exclamation));
}

TEST_F(WindowTest, FileDialogGivesFullNameAndLeavesTheFolderCurrent) {
  namespace fs = std::filesystem;
  const fs::path start = fs::current_path();
  const fs::path folder =
      fs::temp_directory_path() / ("marlo-dialog-" + std::to_string(::getpid()));
  fs::create_directories(folder / "sub");
  std::string chosen, cancelled, kept, picked;
  driver.answerNextOpenFile((folder / "sub" / "a.lzh").string());
  driver.answerNextOpenFile("");
  driver.answerNextSaveFile((folder / "b.lzh").string());
  driver.answerNextFolder((folder / "sub").string());
  driver.start([&] {
    dialogs::FileDialogOptions o;
    o.title = "Choose Archive name:";
    o.masks = dialogs::parseMaskList("Archive|*.LZH");
    chosen = dialogs::fileDialog(o);
    cancelled = dialogs::fileDialog(o);
    o.save = true;
    o.keepDirectory = true;
    fs::current_path(start);
    kept = dialogs::fileDialog(o);
    picked = dialogs::folderDialog("Extract to", "");
  });
  EXPECT_TRUE(driver.waitEnded());
  EXPECT_EQ(chosen, (folder / "sub" / "a.lzh").string());
  EXPECT_EQ(cancelled, "");
  EXPECT_EQ(kept, (folder / "b.lzh").string());
  EXPECT_EQ(picked, (folder / "sub").string());
  EXPECT_EQ(fs::current_path(), folder / "sub") << "the folder dialog leaves its folder current";
  const auto shown = driver.dialogs();
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0].request.title, "Choose Archive name:");
  ASSERT_EQ(shown[0].request.masks.size(), 1u);
  EXPECT_EQ(shown[0].request.masks[0].pattern, "*.LZH");
  EXPECT_EQ(shown[2].request.kind, DialogRequest::Kind::SaveFile);
  EXPECT_EQ(shown[2].request.directory, start.string());
  fs::current_path(start);
  fs::remove_all(folder);
}

// --- The demo program, headless ----------------------------------------------------------------

class DemoTest : public WindowTest {
 protected:
  void SetUp() override {
    state.folders.add({"1", "C:\\Documents"});
    state.folders.add({"2", "C:\\Photos"});
    driver.start([this] { demo::mainWindow(state); });
    main = driver.window(demo::kMainTitle);
    ASSERT_NE(main, 0);
  }
  void TearDown() override {
    for (const auto& w : engine.openWindows()) engine.post(w.handle, event::CloseWindow);
    EXPECT_TRUE(driver.waitEnded());
  }
  demo::DemoState state;
  WindowHandle main = 0;
};

TEST_F(DemoTest, ShowsItsControlsAndStatusBar) {
  EXPECT_EQ(driver.statusText(main, 1), "Welcome to the Marlo BACKUP demo");
  EXPECT_EQ(driver.rows(main, n(MainControl::List)).size(), 2u);
  EXPECT_EQ(driver.rows(main, n(MainControl::List))[1][1], "C:\\Photos");
  EXPECT_EQ(driver.text(main, n(MainControl::Insert)), "&Insert");
  driver.pickRow(main, n(MainControl::List), 2);
  EXPECT_EQ(driver.statusText(main, 1), "C:\\Photos");
}

TEST_F(DemoTest, InsertAndDeleteThroughButtonsPopupAndMessageBox) {
  ASSERT_TRUE(driver.press(main, n(MainControl::Insert)));
  EXPECT_EQ(driver.rows(main, n(MainControl::List)).size(), 3u);
  EXPECT_EQ(driver.selection(main, n(MainControl::List)), 3);
  EXPECT_EQ(driver.control(main, n(MainControl::Progress)).progress, 30);

  // Right click on row 1, choose Delete from the popup, then answer the question.
  driver.answerNextPopup(2);
  ASSERT_TRUE(driver.rightClickRow(main, n(MainControl::List), 1));
  const auto question = driver.waitForDialog();
  ASSERT_TRUE(question.has_value());
  EXPECT_EQ(question->title, "Confirm Delete");
  EXPECT_EQ(question->owner, main);
  driver.answerMessage(button::Yes);
  const auto rows = driver.rows(main, n(MainControl::List));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][1], "C:\\Photos");
}

TEST_F(DemoTest, BrowseButtonFillsTheEntryFromTheSaveDialog) {
  driver.answerNextSaveFile("/tmp/backup.lzh");
  ASSERT_TRUE(driver.press(main, n(MainControl::Browse)));
  EXPECT_EQ(driver.value(main, n(MainControl::Archive)), "/tmp/backup.lzh");
  EXPECT_EQ(state.archive.view(), "/tmp/backup.lzh");
  driver.answerNextSaveFile("");
  driver.press(main, n(MainControl::Browse));
  EXPECT_EQ(state.archive.view(), "/tmp/backup.lzh") << "cancelling leaves the path";
}

TEST_F(DemoTest, TrayRoundTripMinimiseIconActivateRestore) {
  ASSERT_TRUE(driver.minimize(main));
  EXPECT_TRUE(state.inTray.load());
  EXPECT_FALSE(driver.screen(main).props.visible);
  ASSERT_EQ(view.trayIcons().size(), 1u);
  EXPECT_EQ(view.trayIcons()[0].tip, "Left-RESTORE, Right-CLOSE");

  // A double activation is a left release followed by a double click: restores once.
  ASSERT_TRUE(driver.clickTray(main, TrayAction::Activate));
  EXPECT_FALSE(driver.clickTray(main, TrayAction::DoubleActivate)) << "the icon is gone by then";
  EXPECT_FALSE(state.inTray.load());
  EXPECT_TRUE(view.trayIcons().empty());
  const auto props = driver.screen(main).props;
  EXPECT_TRUE(props.visible);
  EXPECT_EQ(props.state, WindowState::Normal);
  EXPECT_EQ(view.active(), main);
  EXPECT_EQ(state.programEvents.load(), 1);  // 1089

  // Again, and this time the right button closes the program.
  driver.minimize(main);
  ASSERT_TRUE(state.inTray.load());
  EXPECT_TRUE(driver.clickTray(main, TrayAction::ContextPress));
  EXPECT_TRUE(driver.isOpen(main)) << "a right press alone does nothing";
  driver.clickTray(main, TrayAction::Context);
  EXPECT_TRUE(driver.waitEnded());
  EXPECT_FALSE(driver.isOpen(main));
  EXPECT_TRUE(view.trayIcons().empty());
}

TEST_F(DemoTest, WithoutATrayTheWindowStaysMinimisedAndTriesAgain) {
  view.setTrayAvailable(false);
  driver.minimize(main);
  EXPECT_EQ(state.trayAddFailures.load(), 1);
  EXPECT_TRUE(driver.screen(main).props.visible);
  EXPECT_EQ(driver.screen(main).props.state, WindowState::Minimized);
  view.setTrayAvailable(true);
  driver.restore(main);
  driver.minimize(main);
  EXPECT_TRUE(state.inTray.load());
}

TEST_F(DemoTest, RestoreWindowRunsOnItsOwnThreadAndStartsOnce) {
  ASSERT_TRUE(driver.press(main, n(MainControl::Restore)));
  const WindowHandle rest = driver.waitForWindow(demo::kRestoreTitle);
  ASSERT_NE(rest, 0);
  EXPECT_EQ(engine.threadOf(rest), 2);
  driver.minimize(rest);
  driver.press(main, n(MainControl::Restore));  // only brings the open one back
  EXPECT_EQ(view.windowsTitled(demo::kRestoreTitle).size(), 1u);
  EXPECT_EQ(driver.screen(rest).props.state, WindowState::Normal);
  EXPECT_EQ(view.active(), rest);
  // Both windows take input at once.
  driver.press(main, n(MainControl::Insert));
  EXPECT_EQ(driver.rows(main, n(MainControl::List)).size(), 3u);
  driver.press(rest, 3);
  EXPECT_TRUE(driver.waitForClose(rest));
  EXPECT_EQ(state.restoreThread.load(), 0);
}

}  // namespace
}  // namespace marlo::test
