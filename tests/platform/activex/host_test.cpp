// The host: member texts reach the object in a slot with typed values, errors are reported and
// never crash, objects returned by members can be named and released, events arrive by name
// and position on the control's own thread, calls give the global lock up, and modules register
// their classes through their entry.
#include "platform/activex/host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/activex/global_lock.h"
#include "scripted_control.h"

namespace marlo::activex {
namespace {

using testing::ScriptedControl;

constexpr win::WindowHandle kWindow = 0x1000;

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { host_.attach(kWindow, 1, control_); }
  Host host_;
  std::shared_ptr<ScriptedControl> control_ = std::make_shared<ScriptedControl>();
};

TEST_F(HostTest, ReadAssignAndExecuteReachTheMemberWithTypedValues) {
  control_->answer(24, Value(1));
  EXPECT_EQ(host_.get(kWindow, 1, "24(\"c:\\temp_iso.iso\")").toInteger(), 1);
  EXPECT_TRUE(host_.put(kWindow, 1, "13", Value(0)));
  EXPECT_TRUE(host_.put(kWindow, 1, "9", Value("stdio:/x")));
  EXPECT_TRUE(host_.execute(kWindow, 1, "26(\"a\",1,\"\\Backup\\\")"));
  EXPECT_EQ(host_.get(kWindow, 1, "9").toText(), "stdio:/x");

  const auto calls = control_->calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].kind, CallKind::Get);
  EXPECT_EQ(calls[0].args, std::vector<Value>{Value("c:\\temp_iso.iso")});
  EXPECT_EQ(calls[1].kind, CallKind::Put);
  EXPECT_EQ(calls[1].args, std::vector<Value>{Value(0)});  // the assigned value comes last
  EXPECT_EQ(calls[2].args.at(0).kind(), Value::Kind::Text);
  EXPECT_EQ(calls[3].kind, CallKind::Execute);
  EXPECT_EQ(calls[3].args, (std::vector<Value>{Value("a"), Value(1), Value("\\Backup\\")}));
  EXPECT_EQ(Host::lastError().error, CallError::None);
}

TEST_F(HostTest, ErrorsAreReportedAndNeverCrash) {
  std::vector<std::string> reported;
  host_.setErrorReporter([&](std::string_view m) { reported.emplace_back(m); });

  EXPECT_EQ(host_.get(kWindow, 1, "24(\"open").toText(), "");
  EXPECT_EQ(Host::lastError().error, CallError::Syntax);
  EXPECT_TRUE(control_->calls().empty());  // a text that does not parse never reaches the control
  EXPECT_TRUE(reported.empty());           // the slot is not marked for reporting yet

  host_.setReportErrors(kWindow, 1, true);
  control_->answer(77, [](const std::vector<Value>&) {
    return CallResult::failure(CallError::UnknownMember, "no member 77");
  });
  EXPECT_EQ(host_.get(kWindow, 1, "77").toInteger(), 0);
  EXPECT_EQ(Host::lastError().error, CallError::UnknownMember);
  EXPECT_FALSE(host_.put(kWindow, 1, "x=1", Value(1)));
  EXPECT_FALSE(host_.execute(kWindow, 2, "33"));  // an empty slot
  EXPECT_EQ(Host::lastError().error, CallError::NoObject);
  ASSERT_EQ(reported.size(), 2u);
  EXPECT_EQ(reported[0], "no member 77");

  // The last error belongs to the thread that made the call.
  std::thread([&] { EXPECT_EQ(Host::lastError().error, CallError::None); }).join();
}

TEST_F(HostTest, ObjectResultsAreNamedByReferenceAndReleased) {
  auto child = std::make_shared<ScriptedControl>();
  child->answer(5, Value("from the child"));
  control_->answer(40, Value(std::shared_ptr<Dispatch>(child)));
  const std::string reference = host_.get(kWindow, 1, "40").toText();
  EXPECT_EQ(reference.front(), '`');
  EXPECT_EQ(host_.get(kWindow, 1, reference + ".5").toText(), "from the child");
  std::weak_ptr<ScriptedControl> watch = child;
  child.reset();
  control_->answer(40, Value());
  EXPECT_TRUE(host_.release(reference));
  EXPECT_TRUE(watch.expired());
  EXPECT_FALSE(host_.release(reference));
  EXPECT_EQ(host_.call(kWindow, 1, reference + ".5", CallKind::Get).error, CallError::NoObject);
}

TEST_F(HostTest, EventsArriveByNameAndPositionOnTheControlsThread) {
  std::vector<std::string> seen;
  std::thread::id callbackThread;
  host_.connect(kWindow, 1, [&](const EventParameters& p) {
    callbackThread = std::this_thread::get_id();
    seen.push_back(p.at(0).toText() + "|" + p.at(1).toText() + "|" + p.at(2).toText() + "|" +
                   std::to_string(p.count()) + "|" + p.at(3).toText());
  });
  std::thread::id worker;
  std::thread([&] {
    worker = std::this_thread::get_id();
    control_->raise("OnStatus  ", {Value(7), Value("Blanking")});
  }).join();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], "OnStatus|7|Blanking|2|");
  EXPECT_EQ(callbackThread, worker);
  EXPECT_EQ(host_.lastEventName(kWindow, 1), "OnStatus");

  host_.disconnect(kWindow, 1);
  control_->raise("OnError", {Value(1), Value("x")});
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_EQ(host_.lastEventName(kWindow, 1), "OnError");
}

TEST_F(HostTest, DisconnectingWaitsForTheEventInFlight) {
  std::atomic<bool> inside{false};
  std::atomic<bool> finish{false};
  std::atomic<bool> done{false};
  host_.connect(kWindow, 1, [&](const EventParameters&) {
    inside = true;
    while (!finish) std::this_thread::yield();
    done = true;
  });
  std::thread worker([&] { control_->raise("OnStatus"); });
  while (!inside) std::this_thread::yield();
  std::thread closer([&] {
    host_.detach(kWindow, 1);
    EXPECT_TRUE(done.load());  // detach came back only after the callback had finished
  });
  finish = true;
  closer.join();
  worker.join();
  EXPECT_FALSE(control_->advised());
  EXPECT_FALSE(host_.hasObject(kWindow, 1));
}

TEST_F(HostTest, CallsGiveTheGlobalLockUpOnceHoweverDeepTheyNest) {
  auto inner = std::make_shared<ScriptedControl>();
  host_.attach(kWindow, 2, inner);
  bool freeDuringCall = false;
  inner->answer(1, [&](const std::vector<Value>&) {
    std::thread([&] {
      freeDuringCall = GlobalLock::tryAcquire();
      if (freeDuringCall) GlobalLock::release();
    }).join();
    return CallResult::success(Value(1));
  });
  control_->answer(1, [&](const std::vector<Value>&) {
    EXPECT_FALSE(GlobalLock::heldByCaller());
    return CallResult::success(host_.get(kWindow, 2, "1"));  // a call from inside a call
  });
  GlobalLock::acquire();
  const auto before = GlobalLock::handovers();
  EXPECT_EQ(host_.get(kWindow, 1, "1").toInteger(), 1);
  EXPECT_EQ(GlobalLock::handovers(), before + 1);
  EXPECT_TRUE(freeDuringCall);
  EXPECT_TRUE(GlobalLock::heldByCaller());  // taken back when the call returned
  GlobalLock::release();

  // A thread that does not hold the lock gives nothing up.
  EXPECT_EQ(host_.get(kWindow, 1, "1").toInteger(), 1);
  EXPECT_EQ(GlobalLock::handovers(), before + 1);
}

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override { host_.setModuleFolders({"/no/such/folder", TEST_MODULE_DIR}); }
  Host host_;
};

TEST_F(ModuleTest, AModuleRegistersItsClassesThroughItsEntry) {
  EXPECT_FALSE(host_.isRegistered("{7E57-600D}"));
  EXPECT_EQ(host_.createObject("{7E57-600D}"), nullptr);
  EXPECT_EQ(host_.registerServer("good.ocx"), 0);
  EXPECT_TRUE(host_.isRegistered("{7E57-600D}"));
  host_.attach(kWindow, 1, host_.createObject("{7E57-600D}"));
  EXPECT_EQ(host_.get(kWindow, 1, "31").toInteger(), 31);
}

TEST_F(ModuleTest, FailuresToRegisterHaveTheirOwnNumbers) {
  EXPECT_EQ(host_.registerServer("missing.ocx"), Host::ModuleNotFound);
  EXPECT_EQ(host_.registerServer("refusing.ocx"), 5);
  EXPECT_EQ(host_.registerServer("noentry.ocx"), Host::EntryNotFound);
  EXPECT_EQ(host_.registerServer("empty.ocx"), 0);
  // Only plain file names are looked for in the module folders.
  EXPECT_EQ(host_.registerServer(std::string(TEST_MODULE_DIR) + "/good.ocx"), Host::ModuleNotFound);
  EXPECT_EQ(host_.registerServer(""), Host::ModuleNotFound);
}

}  // namespace
}  // namespace marlo::activex
