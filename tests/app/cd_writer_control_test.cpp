// The disc-writer wrapper over a scripted stand-in control, on a window of the headless engine:
// member texts and typed properties, the switches, the pending queue handed over newest first
// by the posted event 3826, texts cut at 500, and the drive setting.
#include "app/cd_writer_control.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/activex/host.h"
#include "platform/headless/headless_view.h"
#include "platform/headless/test_driver.h"
#include "platform/window/engine.h"
#include "platform/window/window.h"
#include "scripted_control.h"
#include "temp_folder.h"

namespace app {
namespace {

using marlo::activex::CallKind;
using marlo::activex::CallResult;
using marlo::activex::Host;
using marlo::activex::Value;
using marlo::activex::testing::ScriptedControl;
namespace win = marlo::win;

std::shared_ptr<ScriptedControl> standIn;
std::shared_ptr<marlo::activex::Control> makeStandIn() {
  return standIn;
}

constexpr win::EventCode kRunAction = 0x500;

// The wrapper as a window uses it: switches set in afterInit, queued handlers overridden.
class RecordingWriter : public CdWriterControl {
 public:
  void afterInit() override {
    ENABLE_EVENT_ONERROR = 1;
    ENABLE_EVENT_ONSCSISCAN = 1;
    ENABLE_EVENT_ONSTATUS = 1;
    ENABLE_EVENT_ONWRITINGPROCESS = 1;
  }
  std::int32_t OnErrorQueued(std::int16_t code, const std::string& message) override {
    add("error " + std::to_string(code) + " " + message);
    return 0;
  }
  std::int32_t OnErrorDirect(std::int16_t code, const std::string&) override {
    std::lock_guard lock(mutex);
    direct.push_back("error " + std::to_string(code));
    return 0;
  }
  std::int32_t OnSCSIScanQueued(std::int16_t adapter, std::int16_t id, std::int16_t lun,
                                const std::string& product, const std::string& ident,
                                const std::string& revision, std::int16_t type) override {
    add("scan " + std::to_string(adapter) + " " + std::to_string(id) + " " + std::to_string(lun) +
        " " + product + " " + ident + " " + revision + " " + std::to_string(type));
    return 0;
  }
  std::int32_t CommandDoneQueued() override {
    add("done");
    return 0;
  }
  std::int32_t CommandDoneDirect() override {
    std::lock_guard lock(mutex);
    direct.push_back("done");
    return 0;
  }
  std::int32_t OnWritingProcessQueued(std::int16_t value, std::int32_t written,
                                      std::int32_t total) override {
    add("progress " + std::to_string(value) + " " + std::to_string(written) + " " +
        std::to_string(total));
    return 0;
  }
  std::int32_t OnStatusQueued(std::int16_t code, const std::string& message) override {
    add("status " + std::to_string(code) + " " + message);
    return 0;
  }
  void add(std::string line) {
    std::lock_guard lock(mutex);
    queued.push_back(std::move(line));
  }
  std::vector<std::string> takeQueued() {
    std::lock_guard lock(mutex);
    return std::exchange(queued, {});
  }

  std::mutex mutex;
  std::vector<std::string> queued;
  std::vector<std::string> direct;
};

class CdWriterControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    standIn = std::make_shared<ScriptedControl>();
    Host::instance().registerClass(CdWriterControl::kClassId, CdWriterControl::kFileName,
                                   &makeStandIn);
    driver_.start([this] {
      win::Window w("Disc writer", {0, 0, 200, 100});
      w.add(win::ControlKind::ActiveX, "", {4, 4, 100, 40});
      w.open();
      writer_.AUTORELEASE = 1;
      initialised_ = writer_.init(w, 1);
      while (const win::Event* e = w.accept()) {
        {
          std::lock_guard lock(mutex_);
          if (e->control == 1) controlEvents_.push_back(e->code);
        }
        if (e->control == 1) writer_.handleEvent();
        if (e->code == kRunAction && action_) action_();
      }
      writer_.kill();
      w.close();
    });
    window_ = driver_.window("Disc writer");
  }
  void TearDown() override {
    if (driver_.isOpen(window_)) driver_.closeBox(window_);
    driver_.waitEnded();
    Host::instance().unregisterClass(CdWriterControl::kClassId);
    standIn.reset();
  }

  // Runs `action` on the window's thread, inside its loop, and waits until all has settled.
  void onWindowThread(std::function<void()> action) {
    action_ = std::move(action);
    engine_.post(window_, kRunAction);
    driver_.settle();
  }
  // Raises an event from a thread of the control's own, as the real control does.
  static void raise(std::string_view name, std::vector<Value> parameters = {}) {
    std::thread([&] { standIn->raise(name, std::move(parameters)); }).join();
  }
  std::vector<win::EventCode> controlEvents() {
    std::lock_guard lock(mutex_);
    return controlEvents_;
  }

  marlo::headless::HeadlessView view_;
  win::Engine engine_{view_};
  marlo::headless::TestDriver driver_{engine_, view_};
  RecordingWriter writer_;
  bool initialised_ = false;
  win::WindowHandle window_ = 0;
  std::function<void()> action_;
  std::mutex mutex_;
  std::vector<win::EventCode> controlEvents_;
};

TEST_F(CdWriterControlTest, InitAdoptsTheControlAndConnectsItsEvents) {
  EXPECT_TRUE(initialised_);
  EXPECT_EQ(writer_.OLETYPECREATED, 1);
  EXPECT_EQ(writer_.OLECONTROLFILENAME, "vfcdwriter.ocx");
  EXPECT_TRUE(writer_.OLEDISPATCH.view().empty());
  EXPECT_TRUE(standIn->advised());
  driver_.closeBox(window_);
  driver_.waitEnded();
  EXPECT_EQ(writer_.DEAD, 1);
  EXPECT_FALSE(standIn->advised());
}

TEST_F(CdWriterControlTest, MembersAreCalledByTheirTextsWithTypedResults) {
  standIn->answer(24, Value(1));
  standIn->answer(31, Value(70000));  // wider than 16 bits: cut to the member's width
  standIn->answer(32, Value(std::string(600, 'd')));
  standIn->answer(33, Value(1));
  std::uint8_t wrote = 0;
  std::int16_t drives = 0;
  std::string drive;
  onWindowThread([&] {
    writer_.Call23(0);
    drives = writer_.Call31();
    writer_.Call26("/home/a/b.lzh   ", 1, "\\Backup\\");
    wrote = writer_.Call24("");
    drive = writer_.Call32(1);
    writer_.Call33();
    writer_.AboutBox();
  });
  EXPECT_EQ(wrote, 1);
  EXPECT_EQ(drives, static_cast<std::int16_t>(70000));
  EXPECT_EQ(drive.size(), 500u);
  const auto calls = standIn->calls();
  ASSERT_EQ(calls.size(), 7u);
  EXPECT_EQ(calls[0].member, 23);
  EXPECT_EQ(calls[0].kind, CallKind::Execute);  // no result: executed
  EXPECT_EQ(calls[1].kind, CallKind::Get);      // a result: read
  EXPECT_EQ(calls[2].args,
            (std::vector<Value>{Value("/home/a/b.lzh"), Value(1), Value("\\Backup\\")}));
  EXPECT_EQ(calls[3].args, std::vector<Value>{Value("")});
  EXPECT_EQ(calls[6].member, -552);

  EXPECT_EQ(CdWriterControl::memberText("", 24, {std::string_view("")}), "24(\"\")");
  EXPECT_EQ(CdWriterControl::memberText(
                "", 26, {std::string_view("a  "), std::int64_t{1}, std::string_view("\\Backup\\")}),
            "26(\"a\",1,\"\\Backup\\\")");
  EXPECT_EQ(CdWriterControl::memberText("", 33), "33");
  EXPECT_EQ(CdWriterControl::memberText("`4.", 23, {std::int64_t{-1}}), "`4.23(-1)");
  EXPECT_EQ(CdWriterControl::memberText("", 24, {std::string_view("a\"b")}), "24(\"a\"\"b\")");
}

TEST_F(CdWriterControlTest, PropertiesPassTypedValues) {
  standIn->answer(12, Value("123456"));
  std::int32_t size = 0;
  std::string label;
  std::int16_t adapter = 0;
  onWindowThread([&] {
    writer_.SetProp1(1);
    writer_.SetProp13(0);
    writer_.SetProp9("stdio:/media/usb/backup.iso");
    size = writer_.GetProp12();
    adapter = writer_.GetProp1();
    label = writer_.GetProp9();
  });
  const auto calls = standIn->calls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[0].kind, CallKind::Put);
  EXPECT_EQ(calls[0].member, 1);
  EXPECT_EQ(calls[0].args, std::vector<Value>{Value(1)});
  EXPECT_EQ(calls[1].args.at(0).kind(), Value::Kind::Integer);
  EXPECT_EQ(calls[2].args, std::vector<Value>{Value("stdio:/media/usb/backup.iso")});
  EXPECT_EQ(size, 123456);
  EXPECT_EQ(adapter, 1);
  EXPECT_EQ(label, "stdio:/media/usb/backup.iso");
}

TEST_F(CdWriterControlTest, AnEventWhoseSwitchIsOffIsNeitherHandledNorQueuedNorPosted) {
  raise("CommandDone");
  driver_.settle();
  EXPECT_TRUE(writer_.takeQueued().empty());
  EXPECT_TRUE(writer_.direct.empty());
  EXPECT_TRUE(controlEvents().empty());
  raise("SomethingElse", {Value(1)});
  driver_.settle();
  EXPECT_TRUE(controlEvents().empty());
}

TEST_F(CdWriterControlTest, EachEventReachesItsHandlersWithItsParameters) {
  raise("OnStatus", {Value(5), Value("Blanking the disc ...")});
  driver_.settle();
  raise("OnSCSIScan", {Value(-1), Value(-1), Value(-1), Value("YOYODYNE"), Value("WARP DRIVE"),
                       Value("FX01"), Value(5)});
  driver_.settle();
  raise("OnWritingProcess", {Value(50), Value(2), Value(4)});
  driver_.settle();
  raise("OnError  ", {Value(9), Value("Writing failed")});  // trailing blanks of a name drop
  driver_.settle();
  EXPECT_EQ(writer_.takeQueued(),
            (std::vector<std::string>{"status 5 Blanking the disc ...",
                                      "scan -1 -1 -1 YOYODYNE WARP DRIVE FX01 5", "progress 50 2 4",
                                      "error 9 Writing failed"}));
  EXPECT_EQ(writer_.direct, std::vector<std::string>{"error 9"});
  EXPECT_EQ(controlEvents(), std::vector<win::EventCode>(4, CdWriterControl::kEventWaiting));
}

TEST_F(CdWriterControlTest, TwoEventsQueuedBeforeTheFirstPostedOneArriveNewestFirst) {
  // The control raises both while the window's thread is still inside a call into it.
  standIn->answer(33, [](const std::vector<Value>&) {
    std::thread([] {
      standIn->raise("OnStatus", {Value(1), Value("older")});
      standIn->raise("OnStatus", {Value(2), Value("newer")});
    }).join();
    return CallResult::success(Value(1));
  });
  onWindowThread([&] { writer_.Call33(); });
  EXPECT_EQ(writer_.takeQueued(), (std::vector<std::string>{"status 2 newer", "status 1 older"}));
}

TEST_F(CdWriterControlTest, APostedEventWithNothingQueuedDoesNothing) {
  engine_.post(window_, CdWriterControl::kEventWaiting, 1);
  driver_.settle();
  EXPECT_EQ(controlEvents(), std::vector<win::EventCode>{CdWriterControl::kEventWaiting});
  EXPECT_TRUE(writer_.takeQueued().empty());
}

TEST_F(CdWriterControlTest, TextsLongerThan500AreCut) {
  raise("OnError", {Value(1), Value(std::string(499, 'a') + "bc" + std::string(100, 'x'))});
  driver_.settle();
  const auto lines = writer_.takeQueued();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "error 1 " + std::string(499, 'a') + "b");
}

TEST_F(CdWriterControlTest, TheNamedDriveGoesToTheControlOnlyWhenOneIsNamed) {
  marlo::testing::TempFolder folder;
  ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
  onWindowThread([&] { useConfiguredDrive(writer_); });
  EXPECT_TRUE(standIn->calls().empty());  // the control takes the first drive it finds
  std::filesystem::create_directories(folder.path() / "marlo-backup");
  std::ofstream(folder.path() / "marlo-backup" / "cd_rw.ini")
      << "[Disc writer]\r\nDrive=/dev/sr1\r\n";
  onWindowThread([&] { useConfiguredDrive(writer_); });
  const auto calls = standIn->calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].member, 9);
  EXPECT_EQ(calls[0].kind, CallKind::Put);
  EXPECT_EQ(calls[0].args, std::vector<Value>{Value("/dev/sr1")});
}

TEST(DiscWriterDrive, IsReadFromItsOwnSectionWhateverTheCase) {
  marlo::testing::TempFolder folder;
  ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
  EXPECT_EQ(discWriterDrive(), "");
  std::filesystem::create_directories(folder.path() / "marlo-backup");
  std::ofstream(folder.path() / "marlo-backup" / "cd_rw.ini")
      << "[Pis_cd]\r\nX=1\r\n[disc WRITER]\r\ndrive = stdio:/media/usb/backup.iso \r\n";
  EXPECT_EQ(discWriterDrive(), "stdio:/media/usb/backup.iso");
}

}  // namespace
}  // namespace app
