// A window laid out from one table of its controls, and the controller's shared set-up: the
// pattern every window procedure follows.
#include <gtest/gtest.h>

#include "framework/window/window_controller.h"
#include "tests/framework/window/window_fixture.h"

namespace marlo::test {
namespace {

enum class NoteControl : int { Prompt = 1, Note, Ok };

class NoteWindow : public WindowController {
 public:
  explicit NoteWindow(SeverityLevel ownSteps) : ownSteps_(ownSteps) {}

  SeverityLevel init() override {
    return setUp({.procedure = "note",
                  .window = &window_,
                  .firstField = n(NoteControl::Note),
                  .beforeOpen = [this] { return layOut(); }});
  }
  SeverityLevel kill() override {
    const SeverityLevel r = WindowController::kill();
    if (r != SevNotify) globalErrors.setProcedureName({}, true);
    return r;
  }
  SeverityLevel onAccepted() override {
    if (window_.acceptedControl() == n(NoteControl::Ok)) window_.post(event::CloseWindow);
    return WindowController::onAccepted();
  }

  std::string procedureSeen;
  std::uint8_t requestSeen = 0;

 private:
  SeverityLevel layOut() {
    procedureSeen = globalErrors.procedureName();
    requestSeen = REQUEST;
    window_.add<NoteControl>({
        {NoteControl::Prompt, ControlKind::Prompt, "&Note:", {4, 4, 30, 10}},
        {NoteControl::Note, ControlKind::Entry, "", {40, 4, 100, 10}},
        {NoteControl::Ok, ControlKind::Button, "&OK", {40, 20, 40, 14}},
    });
    return ownSteps_;
  }

  SeverityLevel ownSteps_;
  Window window_{"Note", {0, 0, 150, 40}};
};

using WindowSetUp = WindowFrameworkTest;

TEST_F(WindowSetUp, TakesTheRequestClearsTheGlobalsAndOpensTheLaidOutWindow) {
  NoteWindow note(SevBenign);
  driver.start([&note] {
    pendingRequest = RequestChange;
    lastResponse = ResponseCompleted;
    note.run();
  });
  const WindowHandle w = driver.waitForWindow("Note");
  ASSERT_NE(w, 0);
  EXPECT_EQ(note.procedureSeen, "note");
  EXPECT_EQ(note.requestSeen, RequestChange);
  EXPECT_EQ(pendingRequest, 0);
  EXPECT_EQ(lastResponse, 0);
  EXPECT_EQ(driver.text(w, n(NoteControl::Ok)), "&OK");
  ASSERT_TRUE(driver.press(w, n(NoteControl::Ok)));
  ASSERT_TRUE(driver.waitEnded());
}

TEST_F(WindowSetUp, AProcedureThatRefusesBeforeOpeningLeavesNoWindow) {
  NoteWindow note(SevNotify);
  driver.start([&note] { note.run(); });
  ASSERT_TRUE(driver.waitEnded());
  EXPECT_TRUE(view.openedTitles().empty());
}

enum class ShiftedControl : int { First = 1, Third = 3 };

TEST(WindowLayout, AControlAddedAsTheWrongNumberStopsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // other tests leave threads running
  Window w("Shifted");
  w.add(ShiftedControl::First, ControlKind::Button, "1", {0, 0, 10, 10});
  EXPECT_DEATH(w.add(ShiftedControl::Third, ControlKind::Button, "3", {0, 0, 10, 10}),
               "added as number 3 became number 2");
}

}  // namespace
}  // namespace marlo::test
