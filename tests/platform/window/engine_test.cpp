// The engine's threads, queues and accept loops, driven headless.
#include <gmock/gmock.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/shell/shell.h"
#include "tests/platform/window/window_fixture.h"

namespace marlo::test {
namespace {

using ::testing::ElementsAre;

TEST_F(WindowTest, EventsPostedFromOtherThreadsArriveOncePerPostInPostingOrder) {
  std::vector<ThreadId> handledOn;
  driver.start([&] {
    Window w("Target");
    runWindow(w, log, [&](Window&, const Event& e) {
      if (e.code >= event::FirstProgramEvent) handledOn.push_back(Engine::currentThread());
      return e.code == 0x400 + 99 ? Verdict::Leave : Verdict::Carry;
    });
  });
  const WindowHandle h = driver.window("Target");
  ASSERT_NE(h, 0);
  log.take();

  // Two posting threads; each one's events must keep their order and none may be lost.
  auto poster = [&](int base) {
    for (int i = 0; i < 40; ++i) engine.post(h, 0x400 + base + i);
  };
  std::thread a(poster, 1000);
  std::thread b(poster, 2000);
  a.join();
  b.join();
  ASSERT_TRUE(driver.settle());
  const auto lines = log.take();
  ASSERT_EQ(lines.size(), 80u);
  int lastA = 0;
  int lastB = 0;
  for (const auto& l : lines) {
    const int code = std::stoi(l) - 0x400;
    int& last = code >= 2000 ? lastB : lastA;
    EXPECT_GT(code, last) << "out of order: " << l;
    last = code;
  }
  for (const ThreadId t : handledOn) EXPECT_EQ(t, 1);  // always on the window's own thread

  engine.post(h, 0x400 + 99);
  EXPECT_TRUE(driver.waitEnded());
  EXPECT_FALSE(engine.post(h, 0x400)) << "a closed window takes no events";
}

TEST_F(WindowTest, OpeningWindowQueuesOpenWindowThenFocus) {
  driver.start([&] {
    Window w("Main");
    runWindow(w, log, nullptr);
  });
  EXPECT_THAT(log.take(), ElementsAre("OpenWindow", "GainFocus"));
  const WindowHandle h = driver.window("Main");
  EXPECT_EQ(view.active(), h);
  EXPECT_EQ(engine.activeWindow(), h);
  EXPECT_TRUE(driver.closeBox(h));
  EXPECT_THAT(log.take(), ElementsAre("CloseWindow"));
  EXPECT_TRUE(driver.waitEnded());
  EXPECT_FALSE(driver.isOpen(h));
}

// A handler that calls another window procedure runs a nested loop: the calling window is
// disabled, and what arrives for it meanwhile waits, in order, until the inner window closes.
TEST_F(WindowTest, NestedLoopKeepsTheOuterWindowsEventsInOrder) {
  EventLog inner;
  driver.start([&] {
    Window outer("Outer");
    const int open = outer.add(ControlKind::Button, "&Form", {10, 10, 40, 14});
    runWindow(outer, log, [&](Window&, const Event& e) {
      if (e.code == event::Accepted && e.control == open) {
        Window form("Form");
        form.add(ControlKind::Button, "&OK", {10, 10, 40, 14});
        runWindow(form, inner, [](Window& f, const Event& fe) {
          if (fe.code == event::Accepted) f.post(event::CloseWindow);
          return Verdict::Carry;
        });
      }
      return Verdict::Carry;
    });
  });
  const WindowHandle outer = driver.window("Outer");
  log.take();
  ASSERT_TRUE(driver.press(outer, 1));
  const WindowHandle form = driver.window("Form");
  ASSERT_NE(form, 0);
  EXPECT_FALSE(driver.screen(outer).props.enabled);
  EXPECT_FALSE(driver.press(outer, 1)) << "a person cannot press a disabled window's button";

  engine.post(outer, 0x401);
  engine.post(outer, 0x402, 1);
  engine.postToThread(1, 0x403);  // a thread's event goes to its innermost window
  ASSERT_TRUE(driver.settle());
  EXPECT_THAT(log.takeWithoutFocus(), ElementsAre("Accepted 1"));
  EXPECT_THAT(inner.takeWithoutFocus(), ElementsAre("OpenWindow", "1027"));

  ASSERT_TRUE(driver.press(form, 1));
  EXPECT_FALSE(driver.isOpen(form));
  EXPECT_TRUE(driver.screen(outer).props.enabled);
  EXPECT_EQ(view.active(), outer);
  EXPECT_THAT(log.takeWithoutFocus(), ElementsAre("1025", "1026 1"));
  EXPECT_THAT(inner.take(), ElementsAre("Accepted 1", "CloseWindow"));
  engine.post(outer, event::CloseWindow);
  EXPECT_TRUE(driver.waitEnded());
}

TEST_F(WindowTest, ClosingWithEventsQueuedDropsThemAndLeavesOthersAlone) {
  driver.start([&] {
    Window first("First");
    first.open();
    first.post(0x400);
    first.post(0x401);
    first.close();  // both still queued: they must vanish with the window
    EXPECT_FALSE(first.accept());
    Window second("Second");
    runWindow(second, log, nullptr);
  });
  const WindowHandle second = driver.window("Second");
  ASSERT_NE(second, 0);
  engine.post(second, 0x402);
  ASSERT_TRUE(driver.settle());
  EXPECT_THAT(log.takeWithoutFocus(), ElementsAre("OpenWindow", "1026"));
  driver.closeBox(second);
  EXPECT_TRUE(driver.waitEnded());
}

TEST_F(WindowTest, ConsumingCloseWindowKeepsTheWindowOpen) {
  std::atomic<bool> mayClose{false};
  driver.start([&] {
    Window w("Stubborn");
    runWindow(w, log, [&](Window&, const Event& e) {
      return e.code == event::CloseWindow && !mayClose ? Verdict::Consume : Verdict::Carry;
    });
  });
  const WindowHandle h = driver.window("Stubborn");
  driver.closeBox(h);
  EXPECT_TRUE(driver.isOpen(h));
  mayClose = true;
  driver.closeBox(h);
  EXPECT_FALSE(driver.isOpen(h));
  EXPECT_TRUE(driver.waitEnded());
}

TEST_F(WindowTest, TwoThreadsRunTheirOwnWindowsAtOnce) {
  std::atomic<ThreadId> pressedOn[2] = {0, 0};
  std::atomic<bool> release{false};
  EventLog secondLog;
  driver.start([&] {
    Window main("Main");
    main.add(ControlKind::Button, "&Restore", {10, 10, 40, 14});
    runWindow(main, log, [&](Window&, const Event& e) {
      if (e.code == event::Accepted) {
        pressedOn[0] = Engine::currentThread();
        Engine::instance().start(
            [&] {
              Window rest("Restore");
              rest.add(ControlKind::Button, "&Test", {10, 10, 40, 14});
              runWindow(rest, secondLog, [&](Window&, const Event& re) {
                if (re.code == event::Accepted) pressedOn[1] = Engine::currentThread();
                return Verdict::Carry;
              });
            },
            25000);
      }
      return Verdict::Carry;
    });
  });
  const WindowHandle main = driver.window("Main");
  ASSERT_TRUE(driver.press(main, 1));
  const WindowHandle rest = driver.waitForWindow("Restore");
  ASSERT_NE(rest, 0);
  EXPECT_TRUE(driver.screen(main).props.enabled) << "another thread's window disables nothing";
  ASSERT_TRUE(driver.press(rest, 1));
  // The first thread's window still takes presses while the second's is open; this one starts
  // a third thread with a window of its own.
  ASSERT_TRUE(driver.press(main, 1));
  const WindowHandle third = driver.window("Restore");
  EXPECT_NE(third, rest);
  EXPECT_EQ(engine.threadOf(third), 3);
  EXPECT_EQ(pressedOn[0].load(), 1);
  EXPECT_EQ(pressedOn[1].load(), 2);
  EXPECT_EQ(engine.threadOf(rest), 2);
  for (const auto& w : engine.openWindows()) engine.post(w.handle, event::CloseWindow);
  EXPECT_TRUE(driver.waitEnded());
}

TEST_F(WindowTest, TimerTicksOnlyWithTheHandClockAndNeverPilesUp) {
  driver.start([&] {
    Window w("Timed");
    w.setTimer(500);
    runWindow(w, log, nullptr);
  });
  const WindowHandle h = driver.window("Timed");
  log.take();
  driver.advanceClock(499);
  EXPECT_TRUE(log.take().empty());
  driver.advanceClock(1);
  EXPECT_THAT(log.take(), ElementsAre("Timer"));
  driver.advanceClock(5000);  // ten periods pass while nobody looks: one tick
  EXPECT_THAT(log.take(), ElementsAre("Timer"));
  driver.advanceClock(500);
  EXPECT_THAT(log.take(), ElementsAre("Timer"));
  const Moment before = engine.now();
  driver.advanceClock(100);
  EXPECT_EQ(engine.now().time, before.time + 100);
  driver.closeBox(h);
  EXPECT_TRUE(driver.waitEnded());
}

TEST_F(WindowTest, TimerStopsWhenSetToZero) {
  driver.start([&] {
    Window w("Timed");
    w.setTimer(100);
    runWindow(w, log, [](Window& win, const Event& e) {
      if (e.code == event::Timer) win.setTimer(0);
      return Verdict::Carry;
    });
  });
  log.take();
  driver.advanceClock(100);
  driver.advanceClock(100);
  EXPECT_THAT(log.take(), ElementsAre("Timer"));
  driver.closeBox(driver.window("Timed"));
}

// --- Screen values, pictures and the accept-all pass ---------------------------------------

struct Form {
  std::string name = "Docs";
  int count = 5;
  int hiddenValue = 7;
  bool flag = false;
};

void runForm(Form& data, EventLog& log, std::atomic<int>& countSeenOnAccept) {
  Window w("Form");
  const int name = w.add(ControlKind::Entry, "", {10, 10, 80, 12});
  w.setPicture(name, "s20");
  w.bind(name, Binding::to(data.name));
  const int count = w.add(ControlKind::Entry, "", {10, 30, 40, 12});
  w.setPicture(count, "n_3");
  w.bind(count, Binding::to(data.count));
  const int hidden = w.add(ControlKind::Entry, "", {10, 50, 40, 12}, flag::Hidden);
  w.bind(hidden, Binding::to(data.hiddenValue));
  const int check = w.add(ControlKind::CheckBox, " Flag", {10, 70, 40, 12});
  w.bind(check, Binding::to(data.flag));
  const int ok = w.add(ControlKind::Button, "&OK", {10, 90, 40, 14}, flag::Default);
  w.display();
  runWindow(w, log, [&](Window& win, const Event& e) {
    if (e.code == event::Accepted && e.control == count) countSeenOnAccept = data.count;
    if (e.code == event::Accepted && e.control == ok) win.acceptAll();
    if (e.code == event::Accepted && e.control == name && data.name == "refuse") win.select(name);
    return Verdict::Carry;
  });
}

TEST_F(WindowTest, TypingUpdatesTheVariableBeforeAcceptedAndRefusesBadText) {
  Form data;
  std::atomic<int> seen{-1};
  driver.start([&] { runForm(data, log, seen); });
  const WindowHandle h = driver.window("Form");
  EXPECT_EQ(driver.value(h, 1), "Docs");
  EXPECT_EQ(driver.value(h, 2), "  5");
  log.take();

  ASSERT_TRUE(driver.type(h, 2, "42"));
  EXPECT_EQ(seen.load(), 42) << "the variable is updated before the handler sees Accepted";
  EXPECT_EQ(driver.value(h, 2), " 42") << "the entry shows the value through its picture";
  ASSERT_TRUE(driver.type(h, 2, "4x2"));
  EXPECT_THAT(log.take(), ElementsAre("Accepted 2", "Rejected 2"));
  EXPECT_EQ(data.count, 42);
  EXPECT_FALSE(driver.type(h, 3, "9")) << "hidden entries take no typing";

  ASSERT_TRUE(driver.press(h, 4));
  EXPECT_TRUE(data.flag);
  EXPECT_EQ(driver.value(h, 4), "1");
  driver.closeBox(h);
  EXPECT_TRUE(driver.waitEnded());
}

TEST_F(WindowTest, AcceptAllPassAcceptsEachVisibleFieldThenCompletes) {
  Form data;
  std::atomic<int> seen{-1};
  driver.start([&] { runForm(data, log, seen); });
  const WindowHandle h = driver.window("Form");
  log.take();
  ASSERT_TRUE(driver.pressKey(h, 1, key::Enter));  // Enter presses the default button
  EXPECT_THAT(log.take(),
              ElementsAre("Accepted 5", "Accepted 1", "Accepted 2", "Accepted 4", "Completed"));

  // A field whose text no longer fits its picture stops the pass with Rejected.
  engine.sendInput(h, Input::enter(2, "abc"));
  driver.settle();
  log.take();
  ASSERT_TRUE(driver.press(h, 5));
  EXPECT_THAT(log.take(), ElementsAre("Accepted 5", "Accepted 1", "Rejected 2"));

  // A handler that selects a field during the pass refuses it: no Completed.
  ASSERT_TRUE(driver.type(h, 2, "3"));
  ASSERT_TRUE(driver.type(h, 1, "refuse"));
  log.take();
  ASSERT_TRUE(driver.press(h, 5));
  EXPECT_THAT(log.take(), ElementsAre("Accepted 5", "Accepted 1"));
  driver.closeBox(h);
  EXPECT_TRUE(driver.waitEnded());
}

// --- Lists, alert keys and scrolling ---------------------------------------------------------

class ListTest : public WindowTest {
 protected:
  void SetUp() override {
    for (int i = 1; i <= 25; ++i) rows.add({std::to_string(i), "Folder " + std::to_string(i)});
    driver.start([&] {
      Window w("Browse");
      const int list = w.add(ControlKind::List, "", {5, 5, 200, 60}, flag::VScroll);  // 5 rows
      ListColumn nr = column("Nr", 32, Align::Right, "n_3");
      nr.headerAlign = Align::Center;
      w.setColumns(list, {nr, column("Folder Name", 160)});
      w.setSource(list, &rows);
      w.setSelection(list, 1);
      w.alert(list, key::MouseRightUp);
      w.alert(list, key::Insert);
      runWindow(w, log, [&](Window& win, const Event& e) {
        if (e.code == event::AlertKey) {
          log.add("key " + std::to_string(win.keyCode()) + " row " +
                  std::to_string(win.mouseRow()));
        }
        if (e.code == event::ScrollTop && consumeTop) return Verdict::Consume;
        if (e.code >= event::FirstProgramEvent) {
          rows.remove(1);
          win.display(list);
        }
        return Verdict::Carry;
      });
    });
    h = driver.window("Browse");
    log.take();
  }
  void TearDown() override {
    driver.closeBox(h);
    EXPECT_TRUE(driver.waitEnded());
  }

  RowQueue rows;
  std::atomic<bool> consumeTop{false};
  WindowHandle h = 0;
};

TEST_F(ListTest, RowsAreShownThroughColumnPictures) {
  const auto shown = driver.rows(h, 1);
  ASSERT_EQ(shown.size(), 25u);
  EXPECT_EQ(shown[0][0], "  1");
  EXPECT_EQ(shown[24][1], "Folder 25");
  EXPECT_EQ(driver.control(h, 1).visibleRows(), 5);
}

TEST_F(ListTest, ScrollEventsMoveTheHighlightUnlessConsumed) {
  ASSERT_TRUE(driver.pressKey(h, 1, key::Down));
  EXPECT_EQ(driver.selection(h, 1), 2);
  EXPECT_THAT(log.take(), ElementsAre("ScrollDown 1", "NewSelection 1"));
  driver.pressKey(h, 1, key::PageDown);
  EXPECT_EQ(driver.selection(h, 1), 7);
  EXPECT_EQ(driver.control(h, 1).firstRow, 3) << "the highlighted row stays in sight";
  driver.pressKey(h, 1, key::CtrlEnd);
  EXPECT_EQ(driver.selection(h, 1), 25);
  log.take();
  driver.pressKey(h, 1, key::Down);  // at the bottom already: no new selection
  EXPECT_THAT(log.take(), ElementsAre("ScrollDown 1"));
  driver.scroll(h, 1, event::ScrollDrag, 50);
  EXPECT_EQ(driver.selection(h, 1), 13);
  driver.pressKey(h, 1, key::PageUp);
  EXPECT_EQ(driver.selection(h, 1), 8);
  consumeTop = true;
  driver.pressKey(h, 1, key::CtrlHome);
  EXPECT_EQ(driver.selection(h, 1), 8) << "a handler that scrolls by itself consumes the event";
  consumeTop = false;
  driver.pressKey(h, 1, key::CtrlHome);
  EXPECT_EQ(driver.selection(h, 1), 1);
}

TEST_F(ListTest, AlertKeysReachTheProgramWithKeyAndMouseRow) {
  ASSERT_TRUE(driver.rightClickRow(h, 1, 4));
  EXPECT_THAT(log.take(),
              ElementsAre("AlertKey 1", "key " + std::to_string(key::MouseRightUp) + " row 4"));
  EXPECT_EQ(driver.selection(h, 1), 1) << "a right click leaves the highlight to the program";
  driver.pressKey(h, 1, key::Insert);
  EXPECT_THAT(log.take(),
              ElementsAre("AlertKey 1", "key " + std::to_string(key::Insert) + " row 4"));
  driver.pressKey(h, 1, key::Delete);  // not alerted: nothing
  EXPECT_TRUE(log.take().empty());
  driver.doubleClickRow(h, 1, 3);  // double click not alerted: Accepted
  EXPECT_THAT(log.take(), ElementsAre("NewSelection 1", "Accepted 1"));
  EXPECT_FALSE(driver.pickRow(h, 1, 26));
}

TEST_F(ListTest, ShrinkingTheRowsKeepsTheSelectionInRange) {
  driver.pressKey(h, 1, key::CtrlEnd);
  for (int i = 0; i < 3; ++i) engine.post(h, 0x400);
  driver.settle();
  EXPECT_EQ(driver.rows(h, 1).size(), 22u);
  EXPECT_EQ(driver.selection(h, 1), 22);
}

// --- Window state, halt, shutdown --------------------------------------------------------------

TEST_F(WindowTest, MinimiseAndRestoreReachTheProgram) {
  driver.start([&] {
    Window w("Main");
    runWindow(w, log, nullptr);
  });
  const WindowHandle h = driver.window("Main");
  log.take();
  driver.minimize(h);
  EXPECT_EQ(driver.screen(h).props.state, WindowState::Minimized);
  driver.restore(h);
  EXPECT_THAT(log.take(), ElementsAre("Iconized", "Restored"));
  driver.minimize(h);
  engine.post(h, event::Restore);  // the program's request: its default processing restores
  driver.settle();
  EXPECT_EQ(driver.screen(h).props.state, WindowState::Normal);
  EXPECT_THAT(log.take(), ElementsAre("Iconized", "Restore", "Restored"));
  driver.maximize(h);
  EXPECT_EQ(driver.screen(h).props.state, WindowState::Normal)
      << "a fixed-size window cannot be maximised";
  driver.closeBox(h);
}

TEST_F(WindowTest, ResizingKeepsToTheLimitsAndReportsSized) {
  driver.start([&] {
    Window w("Sizable", {0, 0, 200, 100});
    w.setResizable(true);
    w.setMinimumSize({200, 100});
    runWindow(w, log, nullptr);
  });
  const WindowHandle h = driver.window("Sizable");
  log.take();
  driver.resize(h, {0, 0, 150, 80});
  EXPECT_EQ(driver.screen(h).props.rect, (Rect{0, 0, 200, 100}));
  EXPECT_TRUE(log.take().empty());
  driver.resize(h, {5, 0, 300, 150});
  EXPECT_THAT(log.take(), ElementsAre("Moved", "Sized"));
  driver.closeBox(h);
}

TEST_F(WindowTest, HaltEndsEveryLoopAndTellsTheHandler) {
  std::atomic<int> halted{-1};
  std::atomic<bool> afterHalt{false};
  engine.setHaltHandler([&](int code, std::string_view) { halted = code; });
  driver.start([&] {
    Window other("Other");
    runWindow(other, log, nullptr);
  });
  driver.start([&] {
    Window w("Main");
    w.add(ControlKind::Button, "&Stop", {1, 1, 10, 10});
    runWindow(w, log, [&](Window&, const Event& e) {
      if (e.code == event::Accepted) {
        Engine::instance().halt(3, "Stop");
        afterHalt = true;
      }
      return Verdict::Carry;
    });
  });
  driver.press(driver.window("Main"), 1);
  EXPECT_TRUE(driver.waitEnded());
  EXPECT_EQ(halted.load(), 3);
  EXPECT_EQ(engine.haltCode(), 3);
  EXPECT_FALSE(afterHalt.load()) << "the halting thread runs no further program code";
  EXPECT_TRUE(engine.openWindows().empty());
}

// Whatever a question's default, a halt answers it with what changes nothing; a question asked
// after the halt gets the same at once.
TEST_F(WindowTest, AHaltAnswersWaitingQuestionsWithCancelOrNoNeverTheirDefault) {
  const auto ask = [](unsigned buttons, unsigned defaultButton) {
    DialogRequest r;
    r.text = "Delete it?";
    r.buttons = buttons;
    r.defaultButton = defaultButton;
    return Engine::instance().runDialog(r).button;
  };
  std::atomic<unsigned> yesNo{0};
  std::atomic<unsigned> yesNoCancel{0};
  std::atomic<unsigned> okOnly{0};
  std::atomic<unsigned> askedAfter{0};
  driver.start([&] { yesNo = ask(button::Yes | button::No, button::Yes); });
  driver.start([&] {
    yesNoCancel = ask(button::Yes | button::No | button::Cancel, button::Yes);
    askedAfter = ask(button::Yes | button::No, button::Yes);
  });
  driver.start([&] { okOnly = ask(button::Ok, button::Ok); });
  EXPECT_EQ(engine.status(1), ThreadStatus::InDialog);
  engine.halt(0);
  ASSERT_TRUE(driver.waitEnded());
  EXPECT_EQ(yesNo.load(), button::No);
  EXPECT_EQ(yesNoCancel.load(), button::Cancel);
  EXPECT_EQ(askedAfter.load(), button::No);
  EXPECT_EQ(okOnly.load(), button::Ok);
}

// Ending one thread ends its loops, nested ones too, and refuses its dialog; other threads go
// on, and one of them can wait for the end.
TEST_F(WindowTest, EndingAThreadEndsItsLoopsAndDialogOnlyAndCanBeWaitedFor) {
  std::atomic<unsigned> answer{0};
  std::atomic<int> loopsLeft{0};
  const ThreadId ended = driver.start([&] {
    Window outer("Outer");
    outer.open();
    Window inner("Inner");
    inner.open();
    DialogRequest r;
    r.buttons = button::Yes | button::No;
    r.defaultButton = button::Yes;
    answer = Engine::instance().runDialog(r).button;
    while (inner.accept() != nullptr) {
    }
    ++loopsLeft;
    while (outer.accept() != nullptr) {
    }
    ++loopsLeft;
    EXPECT_EQ(Engine::instance().runDialog(r).button, button::No);  // refused at once now
  });
  std::atomic<bool> sawEnd{false};
  driver.start([&] {
    Window other("Other");
    other.open();
    Engine::instance().endThread(ended);
    Engine::instance().waitForEnd(ended);
    sawEnd = true;
    runWindow(other, log, nullptr);
  });
  ASSERT_TRUE(driver.settle());
  EXPECT_TRUE(sawEnd.load());
  EXPECT_EQ(answer.load(), button::No);
  EXPECT_EQ(loopsLeft.load(), 2);
  EXPECT_EQ(engine.status(ended), ThreadStatus::Ended);
  EXPECT_EQ(driver.window("Outer"), 0);
  const WindowHandle other = driver.window("Other");
  ASSERT_NE(other, 0);
  EXPECT_FALSE(engine.endThread(ended));
  driver.closeBox(other);
  EXPECT_TRUE(driver.waitEnded());
}

TEST(EngineShutdown, EndsThreadsStillInTheirLoopsAndInDialogs) {
  HeadlessView view;
  std::atomic<unsigned> answer{99};
  {
    Engine engine(view);
    TestDriver driver(engine, view);
    driver.start([] {
      Window w("Left open");
      w.open();
      while (w.accept()) {
      }
    });
    driver.start([&] {
      DialogRequest r;
      r.text = "Sure?";
      r.buttons = button::Yes | button::No;
      r.defaultButton = button::No;
      answer = Engine::instance().runDialog(r).button;
    });
    EXPECT_EQ(engine.status(2), ThreadStatus::InDialog);
  }  // the engine's destructor must not hang
  EXPECT_EQ(answer.load(), button::No);
  EXPECT_TRUE(view.programHasEnded());
}

TEST_F(WindowTest, DialogsWaitForTheDriverOrAnswerFromTheScript) {
  std::atomic<unsigned> first{0};
  std::atomic<unsigned> second{0};
  std::atomic<int> item{-1};
  driver.answerNextMessage(button::Yes);
  driver.start([&] {
    Window w("Asker");
    w.open();
    DialogRequest r;
    r.title = "Question";
    r.text = "One?";
    r.buttons = button::Yes | button::No;
    first = Engine::instance().runDialog(r).button;
    r.text = "Two?";
    second = Engine::instance().runDialog(r).button;
    item = w.popup("&Insert|~&Change|-|More{A|B}");
  });
  const auto waiting = driver.waitForDialog();
  ASSERT_TRUE(waiting.has_value());
  EXPECT_EQ(waiting->text, "Two?");
  EXPECT_EQ(waiting->owner, driver.window("Asker")) << "modal to the asking thread's window";
  EXPECT_EQ(engine.status(1), ThreadStatus::InDialog);
  driver.answerMessage(button::No);
  const auto popup = driver.waitForDialog();
  ASSERT_TRUE(popup.has_value());
  ASSERT_EQ(popup->menu.size(), 4u);
  EXPECT_FALSE(popup->menu[1].enabled);
  EXPECT_TRUE(popup->menu[2].separator);
  ASSERT_EQ(popup->menu[3].children.size(), 2u);
  EXPECT_EQ(popup->menu[3].children[1].number, 4);
  DialogAnswer a;
  a.item = 4;
  driver.answer(a);
  EXPECT_TRUE(driver.waitEnded());
  EXPECT_EQ(first.load(), button::Yes);
  EXPECT_EQ(second.load(), button::No);
  EXPECT_EQ(item.load(), 4);
}

TEST_F(WindowTest, StatusBarZonesAndWaitCursorReachTheView) {
  driver.start([&] {
    Window w("Main");
    w.setStatusBar({100, -1});
    w.setStatusText(1, "Welcome");
    w.setStatusText(2, "Timed Backup NOT Activated!");
    w.setCursor(Cursor::Wait);
    runWindow(w, log, nullptr);
  });
  const WindowHandle h = driver.window("Main");
  EXPECT_EQ(driver.statusText(h, 1), "Welcome");
  EXPECT_EQ(driver.statusText(h, 2), "Timed Backup NOT Activated!");
  EXPECT_EQ(driver.screen(h).props.cursor, Cursor::Wait);
  driver.closeBox(h);
}

TEST_F(WindowTest, MessageProcedureRunsOnTheOwningThreadAndChains) {
  static std::atomic<ThreadId> ranOn{0};
  static WindowProc previous = nullptr;
  struct Sub {
    static std::intptr_t proc(WindowHandle w, unsigned m, std::uintptr_t wp, std::intptr_t lp) {
      if (m == message::User + 64) {
        ranOn = Engine::currentThread();
        Engine::instance().post(w, 0x441);
        return 0;
      }
      return previous(w, m, wp, lp);
    }
  };
  driver.start([&] {
    Window w("Main");
    w.open();
    previous = w.setWindowProc(&Sub::proc);
    while (const Event* e = w.accept()) log.add(*e);
  });
  const WindowHandle h = driver.window("Main");
  log.take();
  engine.postMessage(h, message::User + 64, 100, message::LeftButtonUp);
  driver.settle();
  EXPECT_EQ(ranOn.load(), 1);
  EXPECT_THAT(log.take(), ElementsAre("1089"));
  engine.postMessage(h, message::Close, 0, 0);  // passed on to the engine's own procedure
  EXPECT_TRUE(driver.waitEnded());
  EXPECT_THAT(log.take(), ElementsAre("CloseWindow"));
}

}  // namespace
}  // namespace marlo::test

namespace marlo::test {
namespace {

TEST_F(WindowTest, RadiosSetTheirGroupAndBindingsConvertTheirTypes) {
  int option = 1;
  double ratio = 0.5;
  CString<6> shortText("abc");
  driver.start([&] {
    Window w("Options");
    w.setProcedure("options");
    const int group = w.add(ControlKind::OptionGroup, "Mode", {4, 4, 80, 40});
    w.bind(group, Binding::to(option));
    for (const char* label : {"&Fast", "&Good", "&Best"})
      w.setParent(w.add(ControlKind::Radio, label, {8, 10, 60, 10}), group);
    const int r = w.add(ControlKind::Entry, "", {4, 50, 40, 10});
    w.bind(r, Binding::to(ratio));
    const int t = w.add(ControlKind::Entry, "", {4, 62, 40, 10});
    w.bind(t, Binding::to(shortText));
    w.display();
    runWindow(w, log, nullptr);
  });
  const WindowHandle h = driver.waitForProcedure("options");
  ASSERT_EQ(h, driver.window("Options"));
  log.take();
  ASSERT_TRUE(driver.press(h, 4));
  EXPECT_EQ(option, 3);
  EXPECT_EQ(driver.value(h, 1), "3");
  EXPECT_THAT(log.take(), ElementsAre("Accepted 1"));
  driver.type(h, 5, "2.25");
  EXPECT_DOUBLE_EQ(ratio, 2.25);
  driver.type(h, 6, "longer than six");
  EXPECT_EQ(shortText.view(), "longe") << "a variable keeps to its capacity";
  driver.closeBox(h);
}

TEST_F(WindowTest, ShowWindowFromAnotherThreadActsOnTheOwningThread) {
  std::atomic<int> before{-1};
  driver.start([&] {
    Window w("Main");
    runWindow(w, log, nullptr);
  });
  const WindowHandle h = driver.window("Main");
  driver.start([&] { before = marlo::shell::ShowWindow(h, marlo::shell::SW_HIDE); });
  EXPECT_EQ(before.load(), 1);
  EXPECT_FALSE(driver.screen(h).props.visible);
  EXPECT_FALSE(driver.closeBox(h)) << "a person cannot reach a hidden window";
  driver.start([&] { before = marlo::shell::ShowWindow(h, marlo::shell::SW_SHOWMINIMIZED); });
  EXPECT_EQ(before.load(), 0);
  EXPECT_TRUE(driver.screen(h).props.visible);
  EXPECT_EQ(driver.screen(h).props.state, WindowState::Minimized);
  EXPECT_EQ(marlo::shell::ShowWindow(0x7FFF, marlo::shell::SW_HIDE), 0) << "no such window";
  engine.post(h, event::CloseWindow);
  EXPECT_TRUE(driver.waitEnded());
}

}  // namespace
}  // namespace marlo::test

namespace marlo::test {
namespace {

TEST_F(WindowTest, RegisteredHandlersSeeEventsFirstAndMayConsumeThem) {
  std::vector<std::string> hooked;
  driver.start([&] {
    Window w("Hooked");
    w.setResizable(true);
    int sizedHook = 0;
    sizedHook = w.registerHandler(event::Sized, [&](const Event&) {
      hooked.push_back("sized");
      return true;  // the window procedure sees it too
    });
    w.registerHandler(0x500, [&](const Event&) {
      hooked.push_back("private");
      w.unregisterHandler(sizedHook);
      return false;  // swallowed
    });
    w.registerHandler(event::CloseWindow, [&](const Event&) {
      hooked.push_back("close refused");
      return false;  // consumed: no default processing, the window stays
    });
    runWindow(w, log, nullptr);
  });
  const WindowHandle h = driver.window("Hooked");
  log.take();
  driver.resize(h, {0, 0, 300, 200});
  engine.post(h, 0x500);
  driver.settle();
  driver.resize(h, {0, 0, 310, 200});
  driver.closeBox(h);
  EXPECT_THAT(hooked, ElementsAre("sized", "private", "close refused"));
  EXPECT_THAT(log.take(), ElementsAre("Sized", "Sized"));
  EXPECT_TRUE(driver.isOpen(h));
  engine.halt(0);
  EXPECT_TRUE(driver.waitEnded());
}

}  // namespace
}  // namespace marlo::test

namespace marlo::test {
namespace {

TEST_F(WindowTest, ImmediateEntriesReportTypingBeforeTheValueIsAccepted) {
  std::string locator = "start";
  driver.start([&] {
    Window w("Locate");
    const int quick = w.add(ControlKind::Entry, "", {4, 4, 60, 10}, flag::Immediate);
    w.bind(quick, Binding::to(locator));
    const int plain = w.add(ControlKind::Entry, "", {4, 20, 60, 10});
    (void)plain;
    w.display();
    runWindow(w, log, nullptr);
  });
  const WindowHandle h = driver.window("Locate");
  log.take();
  ASSERT_TRUE(driver.typeOnly(h, 1, "ab"));
  driver.typeOnly(h, 2, "xy");
  EXPECT_THAT(log.take(), ElementsAre("NewSelection 1"));
  EXPECT_EQ(locator, "start") << "typing alone leaves the variable";
  EXPECT_EQ(driver.value(h, 1), "ab");
  driver.type(h, 1, "abc");
  EXPECT_EQ(locator, "abc");
  driver.closeBox(h);
}

TEST_F(WindowTest, YieldRunsTheThreadsWindowMessagesWhileItWaits) {
  static std::atomic<int> seen{0};
  std::atomic<bool> release{false};
  // Not driver.start: a thread that polls never settles, so nothing may wait for it to.
  engine.start([&] {
    Window w("Waiting");
    w.setWindowProc([](WindowHandle, unsigned m, std::uintptr_t, std::intptr_t) -> std::intptr_t {
      if (m == message::User) ++seen;
      return 0;
    });
    w.open();
    // Waits on a flag outside any loop, as a thread waits for a helper thread to get ready.
    while (!release) Engine::instance().yield();
    w.close();
  });
  WindowHandle h = 0;
  ASSERT_TRUE(view.waitFor([&] { return (h = driver.window("Waiting")) != 0; }, 30));
  engine.postMessage(h, message::User, 0, 0);
  while (seen.load() == 0) std::this_thread::yield();
  release = true;
  EXPECT_TRUE(driver.waitEnded());
  EXPECT_EQ(seen.load(), 1);
}

}  // namespace
}  // namespace marlo::test

namespace marlo::test {
namespace {

// A number that names no control of the window is a fault of the window procedure. Each way
// of handling it is tested here whatever this build's default is.
class UnknownControlTest : public WindowTest {
 protected:
  void SetUp() override { saved_ = unknownControlAction(); }
  void TearDown() override {
    setUnknownControlAction(saved_);
    setFaultLog(nullptr);
  }

 private:
  UnknownControl saved_ = UnknownControl::Abort;
};

TEST_F(UnknownControlTest, LoggedFaultsNameWindowNumberAndCallAndChangeNothing) {
  setUnknownControlAction(UnknownControl::Log);
  EventLog faults;
  setFaultLog([&](std::string_view line) { faults.add(std::string(line)); });
  std::atomic<bool> intact{false};
  driver.start([&] {
    Window w("Small");
    w.add(ControlKind::Button, "&OK", {4, 4, 40, 14});
    w.open();
    w.setText(9, "nowhere");
    w.hide(0);
    w.setSelection(-1, 3);
    w.display(42);
    w.select(7);
    const bool emptyRead = w.text(9).empty();
    // 0 where a call gives it a meaning: every control, or no control.
    w.display(0);
    w.update(0);
    w.select(0);
    w.alert(0, key::Escape);
    intact = emptyRead && w.kind(1) == ControlKind::Button && w.controlCount() == 1 &&
             w.control(1).visible();
    w.close();
  });
  EXPECT_TRUE(driver.waitEnded());
  EXPECT_TRUE(intact.load());
  EXPECT_THAT(faults.take(), ElementsAre("window \"Small\" has no control 9 (setText)",
                                         "window \"Small\" has no control 0 (hide)",
                                         "window \"Small\" has no control -1 (setSelection)",
                                         "window \"Small\" has no control 42 (display)",
                                         "window \"Small\" has no control 7 (select)",
                                         "window \"Small\" has no control 9 (text)"));
}

TEST(UnknownControlDeathTest, StopsTheProgramNamingWindowNumberAndCall) {
  const std::string style = GTEST_FLAG_GET(death_test_style);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const UnknownControl saved = unknownControlAction();
  setUnknownControlAction(UnknownControl::Abort);
  Window w("Restore");
  w.add(ControlKind::Button, "&OK", {4, 4, 40, 14});
  EXPECT_DEATH(w.setText(2, "x"), "window \"Restore\" has no control 2 \\(setText\\)");
  EXPECT_DEATH((void)w.value(0), "window \"Restore\" has no control 0 \\(value\\)");
  setUnknownControlAction(saved);
  GTEST_FLAG_SET(death_test_style, style);
}

}  // namespace
}  // namespace marlo::test
