// The disc-writer window over a scripted stand-in control, under the headless driver: the busy
// readings come from the test, one per tick of the window's timer, and the control's events are
// raised from a thread of their own, as the real control raises them.
#include "app/pis_cd.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "app/cd_writer_control.h"
#include "app/globals.h"
#include "app/trayicon.h"
#include "framework/error_manager.h"
#include "framework/ini_manager.h"
#include "framework/user_interface.h"
#include "framework/window/windowed_interface.h"
#include "platform/activex/host.h"
#include "platform/core/picture.h"
#include "platform/headless/headless_view.h"
#include "platform/headless/test_driver.h"
#include "platform/window/control_id.h"
#include "platform/window/engine.h"
#include "program_fixture.h"
#include "scripted_control.h"
#include "temp_folder.h"

namespace app::test {
namespace {

using marlo::activex::CallKind;
using marlo::activex::CallResult;
using marlo::activex::Host;
using marlo::activex::Value;
using marlo::activex::testing::ScriptedControl;
using marlo::win::n;
namespace win = marlo::win;

std::shared_ptr<ScriptedControl> standIn;
std::shared_ptr<marlo::activex::Control> makeStandIn() {
  return standIn;
}

constexpr int kStatus = n(PisCdControl::STRING9);
constexpr int kProgress = n(PisCdControl::PROGRES);
constexpr int kList = n(PisCdControl::LIST2);

// The status field and the progress bar as last shown: the window may close right after its
// last text, and the test still wants to see that text.
class RecordingView : public marlo::headless::HeadlessView {
 public:
  struct Shown {
    std::string text;
    win::Colour fill = win::kNoColour;
    bool progressVisible = false;
  };
  void controlChanged(win::WindowHandle window, const win::ControlState& control) override {
    {
      std::lock_guard lock(mutex_);
      if (control.number == kProgress) progressVisible_ = control.visible();
      if (control.number == kStatus || control.number == kProgress) {
        const Shown now{control.number == kStatus ? control.text : last_.text,
                        control.number == kStatus ? control.fillColour : last_.fill,
                        progressVisible_};
        last_ = now;
      }
    }
    HeadlessView::controlChanged(window, control);
  }
  Shown last() const {
    std::lock_guard lock(mutex_);
    return last_;
  }

 private:
  mutable std::mutex mutex_;
  Shown last_;
  bool progressVisible_ = false;
};

class DiscWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", folder_.path().c_str(), 1);
    marlo::setUserInterface(&ui_);
    // Many regional settings write the short date with slashes.
    marlo::setShortDateFormat("%d/%m/%Y");
    glo::resetAll();
    glo::PAT = (folder_.path() / "Marlo_BACKUP").string();
    standIn = std::make_shared<ScriptedControl>();
    standIn->answer(
        33, [this](const std::vector<Value>&) { return CallResult::success(Value(busy_.load())); });
    Host::instance().registerClass(CdWriterControl::kClassId, CdWriterControl::kFileName,
                                   &makeStandIn);
  }
  void TearDown() override {
    if (window_ != 0 && driver_.isOpen(window_)) driver_.closeBox(window_);
    driver_.waitEnded();
    engine_.shutdown();
    marlo::setUserInterface(nullptr);
    Host::instance().unregisterClass(CdWriterControl::kClassId);
    standIn.reset();
  }

  void open() {
    driver_.start([] {
      marlo::globalErrors.init();
      marlo::globalIni.init("cd_rw.ini");
      Pis_cd();
      marlo::globalIni.kill();
      marlo::globalErrors.kill();
    });
    window_ = driver_.waitForProcedure("Pis_cd");
    ASSERT_NE(window_, 0);
  }
  // An image as an earlier run may have left it, for the window to delete when it closes.
  static void leaveAnImage() {
    std::filesystem::create_directories(std::filesystem::path(discImagePath()).parent_path());
    std::ofstream(discImagePath()) << "image";
  }
  void closeByHand() {
    ASSERT_TRUE(driver_.closeBox(window_));
    ASSERT_TRUE(driver_.waitEnded());
  }
  // One tick of the window's timer, at which the control reads `busy`.
  void tick(int busy) {
    busy_ = busy;
    ASSERT_TRUE(driver_.advanceClock(kDiscWriterTick));
  }
  // From opening to the first write: the image built (busy, then idle), an idle reading that
  // lets the blank step come at the next tick, which blanks and writes at once.
  void runToFirstWrite() {
    tick(1);
    tick(0);
    tick(0);
  }
  static void raise(std::string_view name, std::vector<Value> parameters) {
    std::thread([&] { standIn->raise(name, std::move(parameters)); }).join();
  }
  void raiseAndSettle(std::string_view name, std::vector<Value> parameters = {}) {
    raise(name, std::move(parameters));
    driver_.settle();
  }

  std::string status() const { return driver_.text(window_, kStatus); }
  win::ControlState control(int number) const { return driver_.control(window_, number); }
  std::vector<std::string> listLines() const {
    std::vector<std::string> lines;
    for (const auto& row : driver_.rows(window_, kList)) lines.emplace_back(marlo::clip(row.at(0)));
    return lines;
  }
  // Calls of a member (not property assignments) since the last forget.
  int callsOf(int member) const {
    int count = 0;
    for (const auto& c : standIn->calls())
      count += c.member == member && c.kind != CallKind::Put ? 1 : 0;
    return count;
  }
  // Each call as "24(image)" or "13=0", in order.
  static std::vector<std::string> callTrace() {
    std::vector<std::string> trace;
    for (const auto& c : standIn->calls()) {
      std::string args;
      for (const Value& v : c.args) args += (args.empty() ? "" : ",") + v.toText();
      trace.push_back(std::to_string(c.member) + (c.kind == CallKind::Put ? "=" + args
                                                  : args.empty()          ? ""
                                                                          : "(" + args + ")"));
    }
    return trace;
  }
  std::string logText() const { return readFile(folder_.path() / "LOG -01-01-2024"); }

  marlo::testing::TempFolder folder_;
  RecordingView view_;
  win::Engine engine_{view_};
  marlo::headless::TestDriver driver_{engine_, view_};
  marlo::WindowedInterface ui_;
  win::WindowHandle window_ = 0;
  std::atomic<int> busy_{1};
};

TEST_F(DiscWindowTest, OpensWithTheStatusAndProgressHiddenAndHasTheImageBuiltFromTheArchive) {
  std::filesystem::create_directories(folder_.path() / "marlo-backup");
  std::ofstream(folder_.path() / "marlo-backup" / "cd_rw.ini")
      << "[Disc writer]\r\nDrive=stdio:/media/usb/backup.iso\r\n";
  open();
  const auto screen = driver_.screen(window_);
  ASSERT_EQ(screen.controls.size(), 4u);
  EXPECT_EQ(screen.controls.at(1).kind, win::ControlKind::ActiveX);
  EXPECT_FALSE(control(kStatus).visible());
  EXPECT_FALSE(control(kProgress).visible());
  ASSERT_EQ(control(kList).columns.size(), 1u);
  EXPECT_EQ(control(kList).columns[0].header, " Statistiscs");
  EXPECT_EQ(control(kList).font.name, "Tahoma");

  // The named drive goes to the control before the scan; the image holds the archive PAT names.
  const std::string image = discImagePath();
  EXPECT_EQ(callTrace(),
            (std::vector<std::string>{
                "23(0)", "9=stdio:/media/usb/backup.iso", "31", "15=1", "1=1", "2=0", "3=0", "22",
                "27", "26(" + glo::PAT.str() + ".lzh,1,\\Backup\\)", "25(" + image + ")"}));
  EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(image).parent_path()));
  EXPECT_EQ(callsOf(21), 0);
  EXPECT_EQ(callsOf(24), 0);
}

TEST_F(DiscWindowTest, AControlIdleAtEveryTickBlanksAndWritesInOneTickThenAsksToWriteAtEach) {
  open();
  tick(0);  // the first reading after opening: the image is ready, nothing happens yet
  EXPECT_EQ(callsOf(21), 0);
  standIn->forgetCalls();
  tick(0);  // now the blank step, and in the same tick the first write
  const std::string image = discImagePath();
  EXPECT_EQ(callTrace(), (std::vector<std::string>{"33", "1=1", "2=0", "3=0", "13=0", "21", "22",
                                                   "13=0", "24(" + image + ")"}));
  EXPECT_EQ(status(), "Please wait! ...");
  EXPECT_TRUE(control(kStatus).visible());
  EXPECT_EQ(listLines(),
            std::vector<std::string>{"              Blanking disc ... Please wait ..."});
  for (int i = 0; i < 3; ++i) tick(0);
  EXPECT_EQ(callsOf(24), 4);
  EXPECT_EQ(status(), "Please wait! ...");
  tick(1);  // the write has started: no more write calls until it is over
  EXPECT_EQ(status(), "Preparing to write ... Please wait!");
  EXPECT_EQ(control(kStatus).fillColour, 33023);
  tick(1);
  EXPECT_EQ(callsOf(24), 4);
  EXPECT_TRUE(driver_.isOpen(window_));
}

TEST_F(DiscWindowTest, ABusyReadingAtTheBlankStepWritesOnlyOnceTheControlIsIdle) {
  open();
  tick(1);
  tick(0);
  tick(1);  // the step waiting for blanking blanks, but the control reads busy
  EXPECT_EQ(callsOf(21), 1);
  EXPECT_EQ(callsOf(24), 0);
  EXPECT_EQ(status(), "Blanking disc ... Please wait!");
  EXPECT_EQ(control(kStatus).fillColour, 65535);
  tick(1);
  EXPECT_EQ(callsOf(24), 0);
  tick(0);
  EXPECT_EQ(callsOf(24), 1);
  EXPECT_EQ(callsOf(21), 1);
}

TEST_F(DiscWindowTest, ANormalRunEndsWithFinishedAndTheWindowClosingItself) {
  leaveAnImage();
  open();
  runToFirstWrite();
  tick(1);  // writing
  tick(1);
  tick(0);  // the first idle reading after the busy period
  EXPECT_TRUE(driver_.isOpen(window_));
  EXPECT_EQ(callsOf(24), 1);
  tick(0);  // the write is asked for once more, and the next reading decides
  EXPECT_TRUE(driver_.isOpen(window_));
  EXPECT_EQ(callsOf(24), 2);
  EXPECT_EQ(status(), "Please wait ... Working on ...");
  EXPECT_TRUE(control(kProgress).visible());
  tick(0);
  EXPECT_TRUE(driver_.waitEnded());
  EXPECT_FALSE(driver_.isOpen(window_));
  const RecordingView::Shown last = view_.last();
  EXPECT_EQ(last.text, " Finished !");
  EXPECT_EQ(last.fill, 65535);
  EXPECT_FALSE(last.progressVisible);
  EXPECT_FALSE(std::filesystem::exists(discImagePath()));
  EXPECT_EQ(callsOf(24), 2);
}

TEST_F(DiscWindowTest, AnErrorDuringTheRunEndsWithAFailureTextAndTheWindowWaitsForThePerson) {
  leaveAnImage();
  open();
  runToFirstWrite();
  tick(1);
  raiseAndSettle("OnError", {Value(7), Value("Writing failed: no space left on device")});
  tick(0);
  tick(0);
  tick(0);  // where a clean run would close
  ASSERT_TRUE(driver_.isOpen(window_));
  EXPECT_EQ(status(), kFailedText);
  EXPECT_EQ(control(kStatus).fillColour, 255);
  EXPECT_FALSE(control(kProgress).visible());
  for (int i = 0; i < 3; ++i) tick(0);
  EXPECT_TRUE(driver_.isOpen(window_));
  EXPECT_EQ(status(), kFailedText);
  EXPECT_EQ(callsOf(24), 2);
  EXPECT_EQ(listLines().back(), "Status: 10:00:20  7 Writing failed: no space left on device");
  closeByHand();
  EXPECT_FALSE(std::filesystem::exists(discImagePath()));
}

TEST_F(DiscWindowTest, ProgressShowsMegabytesAndTurnsGreenWhenAllIsWritten) {
  open();
  raiseAndSettle("OnWritingProcess", {Value(50), Value(2), Value(4)});
  EXPECT_EQ(status(), "Written: 2 MB of: 4 MB Total!");
  EXPECT_EQ(control(kProgress).rangeHigh, 4);
  EXPECT_EQ(control(kProgress).progress, 3);
  raiseAndSettle("OnWritingProcess", {Value(100), Value(4), Value(4)});
  EXPECT_EQ(status(), "Writting completed! Now Closing ... Please wait!");
  EXPECT_EQ(control(kStatus).fillColour, 32768);
  EXPECT_EQ(control(kProgress).progress, 5);
  EXPECT_TRUE(listLines().empty());
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "LOG -01-01-2024"));
}

TEST_F(DiscWindowTest, StatusFoundAndErrorLinesGoToTheListAndTheDatedLog) {
  open();
  raiseAndSettle("OnSCSIScan",
                 {Value(1), Value(0), Value(0), Value("YOYODYNE"),
                  Value("WARP DRIVE OF A NAME LONGER THAN THIRTY"), Value("FX01"), Value(5)});
  raiseAndSettle("OnStatus", {Value(2), Value("Drive found   ")});
  EXPECT_EQ(driver_.selection(window_, kList), 2);  // a status line shows itself
  raiseAndSettle("OnError", {Value(-3), Value("No disc")});
  EXPECT_EQ(driver_.selection(window_, kList), 2);  // others leave the highlight alone
  raiseAndSettle("CommandDone");
  tick(0);
  tick(0);  // the blank step: its line is for the list only
  const std::vector<std::string> expected{
      "Found: 1 0 0 YOYODYNE WARP DRIVE OF A NAME LONGER TH FX01 5",
      "Status:  > 10:00:00 Drive found", "Status: 10:00:00  -3 No disc"};
  std::vector<std::string> shown = expected;
  shown.push_back("              Blanking disc ... Please wait ...");
  EXPECT_EQ(listLines(), shown);
  // The date has slashes, yet the log is one file here.
  EXPECT_EQ(discLogName(marlo::win::Engine::instance().now().day), "LOG -01-01-2024");
  EXPECT_EQ(logText(), expected[0] + "\r\n" + expected[1] + "\r\n" + expected[2] + "\r\n");
}

TEST_F(DiscWindowTest, LongLinesAreCutInTheListButKeptWholeInTheLog) {
  open();
  const std::string message(480, 'x');
  raiseAndSettle("OnError", {Value(1), Value(message)});
  const std::string line = "Status: 10:00:00  1 " + message;
  EXPECT_EQ(listLines(), std::vector<std::string>{line.substr(0, 255)});
  EXPECT_EQ(logText(), line + "\r\n");
}

TEST_F(DiscWindowTest, ASecondOpeningShowsTheOldLinesAboveTheNewAndTheSavedPlace) {
  open();
  raiseAndSettle("OnStatus", {Value(1), Value("first run")});
  ASSERT_TRUE(driver_.resize(window_, {40, 30, 360, 200}));
  closeByHand();
  EXPECT_NE(readFile(folder_.path() / "marlo-backup" / "cd_rw.ini").find("[Pis_cd]"),
            std::string::npos);

  open();
  raiseAndSettle("OnStatus", {Value(1), Value("second run")});
  EXPECT_EQ(listLines(), (std::vector<std::string>{"Status:  > 10:00:00 first run",
                                                   "Status:  > 10:00:00 second run"}));
  EXPECT_EQ(driver_.screen(window_).props.rect, (win::Rect{40, 30, 360, 200}));
  // Both runs of the day are in its log.
  EXPECT_EQ(logText(), "Status:  > 10:00:00 first run\r\nStatus:  > 10:00:00 second run\r\n");
}

TEST(DiscLogName, IsOneFileWhateverTheDateLooksLike) {
  const marlo::DayNumber day = marlo::toDayNumber({2024, 3, 9});
  marlo::setShortDateFormat("%Y\\%m\\%d");
  EXPECT_EQ(discLogName(day), "LOG -2024-03-09");
  marlo::setShortDateFormat("%d.%m.%Y");
  EXPECT_EQ(discLogName(day), "LOG -09.03.2024");
}

}  // namespace
}  // namespace app::test
