// The wrapper base on a real window: it adopts the control slot, registers a control's module
// when its class is unknown (once, then the "Fatal OLE Error" messages and close-down), hands
// the control's events over, posts private events through the window's loop, and lets go of
// everything when killed.
#include "platform/activex/ole_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "platform/headless/headless_view.h"
#include "platform/headless/test_driver.h"
#include "platform/window/engine.h"
#include "platform/window/window.h"
#include "scripted_control.h"

namespace marlo::activex {
namespace {

using testing::ScriptedControl;

constexpr const char* kStandInClass = "{5C21-7ED0-0000}";
std::shared_ptr<ScriptedControl> standIn;

std::shared_ptr<Control> makeStandIn() {
  return standIn;
}

// Records what reaches the wrapper's hooks.
class RecordingControl : public OleControl {
 public:
  std::int32_t onControlEvent(const EventParameters& parameters) override {
    {
      std::lock_guard lock(mutex);
      arrived.push_back(parameters.name() + " on " + lastEventName());
    }
    postToControl(0xEF2);
    return 0;
  }
  std::int32_t handleEvent() override {
    std::lock_guard lock(mutex);
    handled.push_back(OLEWINDOW->eventCode());
    return 0;
  }
  void afterInit() override { afterInitRan = true; }

  std::mutex mutex;
  std::vector<std::string> arrived;
  std::vector<win::EventCode> handled;
  bool afterInitRan = false;
};

class OleControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Host::instance().setModuleFolders({TEST_MODULE_DIR});
    standIn = std::make_shared<ScriptedControl>();
    Host::instance().registerClass(kStandInClass, "standin.ocx", &makeStandIn);
  }
  void TearDown() override {
    driver_.waitEnded();
    Host::instance().unregisterClass(kStandInClass);
    standIn.reset();
  }

  // Runs a window with an ActiveX slot whose wrapper is `control`, initialised with
  // (file, class id); the loop hands events of control 1 to the wrapper.
  void runWindow(OleControl& control, std::string file, std::string classId,
                 std::atomic<int>* initResult) {
    driver_.start([&control, file, classId, initResult] {
      win::Window w("OLE host", {0, 0, 120, 60});
      w.add(win::ControlKind::ActiveX, "", {4, 4, 100, 40});
      w.open();
      control.OLECONTROLFILENAME = file;
      *initResult = control.init(w, 1, classId) ? 1 : 0;
      while (const win::Event* e = w.accept()) {
        if (e->control == 1) control.handleEvent();
      }
      control.kill();
      w.close();
    });
  }

  headless::HeadlessView view_;
  win::Engine engine_{view_};
  headless::TestDriver driver_{engine_, view_};
};

TEST_F(OleControlTest, AdoptsTheSlotAndHandsEventsToTheWindowsLoop) {
  RecordingControl control;
  std::atomic<int> ok{-1};
  runWindow(control, "standin.ocx", kStandInClass, &ok);
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(control.OLETYPECREATED, 1);
  EXPECT_TRUE(control.afterInitRan);
  const win::WindowHandle window = driver_.window("OLE host");
  EXPECT_EQ(Host::instance().wrapper(window, 1), &control);
  EXPECT_TRUE(standIn->advised());

  std::thread([] { standIn->raise("OnStatus", {Value(1), Value("x")}); }).join();
  driver_.settle();
  {
    std::lock_guard lock(control.mutex);
    EXPECT_EQ(control.arrived, std::vector<std::string>{"OnStatus on OnStatus"});
    EXPECT_EQ(control.handled, std::vector<win::EventCode>{0xEF2});
  }
  driver_.closeBox(window);
  driver_.waitEnded();
  EXPECT_EQ(control.DEAD, 1);
  EXPECT_FALSE(standIn->advised());
  EXPECT_FALSE(Host::instance().hasObject(window, 1));
  EXPECT_EQ(Host::instance().wrapper(window, 1), nullptr);
}

TEST_F(OleControlTest, AnUnknownClassIsRegisteredFromItsModuleOnce) {
  OleControl control;
  std::atomic<int> ok{-1};
  runWindow(control, "good.ocx", "{7E57-600D}", &ok);
  EXPECT_EQ(ok, 1);
  EXPECT_TRUE(driver_.dialogs().empty());
  driver_.closeBox(driver_.window("OLE host"));
}

struct FailureCase {
  const char* file;
  const char* message;
};

class OleControlFailure : public OleControlTest,
                          public ::testing::WithParamInterface<FailureCase> {};

TEST_P(OleControlFailure, TellsThePersonAndClosesTheProgramDown) {
  OleControl control;
  std::atomic<int> ok{-1};
  driver_.answerNextMessage(button::Ok);
  runWindow(control, GetParam().file, "{NOT-REGISTERED-ANYWHERE}", &ok);
  driver_.waitEnded();  // the close-down ends the window's loop
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(control.OLETYPECREATED, 0);
  const auto dialogs = driver_.dialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].request.title, "Fatal OLE Error");
  EXPECT_EQ(dialogs[0].request.text, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Modules, OleControlFailure,
    ::testing::Values(
        FailureCase{"missing.ocx", "Can not Register OLE Control missing.ocx Error: 126"},
        FailureCase{"refusing.ocx", "Can not Register OLE Control refusing.ocx Error: 5"},
        FailureCase{"empty.ocx", "Can not Find OLE Control empty.ocx!"}));

TEST_F(OleControlTest, KillReleasesTheObjectItsDispatchPrefixNames) {
  auto child = std::make_shared<ScriptedControl>();
  std::weak_ptr<ScriptedControl> watch = child;
  Host& host = Host::instance();
  const std::string reference = host.reference(child);
  child.reset();
  OleControl control;
  control.OLEDISPATCH = reference + ".";
  control.AUTORELEASE = 1;
  std::atomic<int> ok{-1};
  runWindow(control, "standin.ocx", kStandInClass, &ok);
  ASSERT_EQ(ok, 1);
  EXPECT_FALSE(watch.expired());
  driver_.closeBox(driver_.window("OLE host"));
  driver_.waitEnded();
  EXPECT_TRUE(watch.expired());
  // A second kill, and the destructor's, do nothing more.
  control.kill();
  EXPECT_EQ(control.DEAD, 1);
}

TEST(PendingEvents, TakesTheNewestOnlyWhenItsNumberIsWanted) {
  PendingEvents events;
  events.append(PendingEvent{1, std::make_unique<std::vector<Value>>()});
  events.append(PendingEvent{9, std::make_unique<std::vector<Value>>()});
  EXPECT_FALSE(events.takeLast([](std::int32_t n) { return n < 6; }).has_value());
  EXPECT_EQ(events.size(), 2u);
  EXPECT_EQ(events.takeLast([](std::int32_t) { return true; })->number, 9);
  EXPECT_EQ(events.takeLast([](std::int32_t) { return true; })->number, 1);
  EXPECT_FALSE(events.takeLast([](std::int32_t) { return true; }).has_value());
}

}  // namespace
}  // namespace marlo::activex
