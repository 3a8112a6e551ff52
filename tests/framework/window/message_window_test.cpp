// The error manager's history window, shown when a message of the viewed level is raised.
#include <gtest/gtest.h>

#include <atomic>

#include "framework/messages.h"
#include "framework/window/message_window.h"
#include "tests/framework/window/window_fixture.h"

namespace marlo::test {
namespace {

class MessageHistory : public WindowFrameworkTest {
 protected:
  void SetUp() override {
    WindowFrameworkTest::SetUp();
    globalErrors.HISTORYTHRESHOLD = -1;
  }
  void TearDown() override {
    globalErrors.HISTORYTHRESHOLD = 0;
    globalErrors.HISTORYVIEWLEVEL = 3;
    globalErrors.resetHistory();
    WindowFrameworkTest::TearDown();
  }
  [[nodiscard]] std::vector<std::string> visibleButtons(WindowHandle w) const {
    std::vector<std::string> out;
    for (int c = n(MessageWindowControl::Place1); c <= n(MessageWindowControl::Place8); ++c) {
      const ControlState s = driver.control(w, c);
      if (s.visible()) out.push_back(s.text);
    }
    return out;
  }
  std::atomic<unsigned> answer_{0};
};

TEST_F(MessageHistory, ListsTheHistoryWithTheNewestSelectedAndAnOkButton) {
  globalErrors.HISTORYVIEWLEVEL = 5;
  globalErrors.setFile("FOLDERS");
  driver.start([this] {
    globalErrors.setProcedureName("Trayicon");
    answer_ = globalErrors.message(msg::ConfirmCancel, marlo::button::Yes | marlo::button::No,
                                   marlo::button::No);  // kept only
    answer_ = static_cast<unsigned>(globalErrors.throw_(msg::AccessDenied));
  });
  const WindowHandle w = driver.waitForWindow("Access Denied");
  ASSERT_NE(w, 0);
  const auto history = driver.rows(w, n(MessageWindowControl::History));
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[0], (std::vector<std::string>{"Are you sure you want to cancel?", "Dax"}));
  EXPECT_EQ(history[1], (std::vector<std::string>{
                            "Could not get write access to FOLDERS so trying read-only.", "Dax"}));
  EXPECT_EQ(driver.selection(w, n(MessageWindowControl::History)), 2);
  const ControlState list = driver.control(w, n(MessageWindowControl::History));
  ASSERT_EQ(list.columns.size(), 2u);
  EXPECT_EQ(list.columns[0].header, "Message");
  EXPECT_EQ(list.columns[0].width, 217);
  EXPECT_EQ(list.columns[1].header, "Category");
  EXPECT_EQ(list.columns[1].width, 42);
  EXPECT_EQ(visibleButtons(w), std::vector<std::string>{"O&k"});
  EXPECT_TRUE(driver.control(w, n(MessageWindowControl::Place1)).has(flag::Default));
  EXPECT_EQ(driver.screen(w).focus, n(MessageWindowControl::Place1));
  driver.press(w, n(MessageWindowControl::Place1));
  ASSERT_TRUE(driver.waitEnded());
  EXPECT_EQ(answer_, static_cast<unsigned>(SevNotify));
  EXPECT_TRUE(captions().empty());  // no plain message box on the way
}

TEST_F(MessageHistory, ButtonsFromTheHighestCodeDownAndThePressedOneIsTheAnswer) {
  globalErrors.HISTORYVIEWLEVEL = 1;
  driver.start([this] {
    answer_ = globalErrors.message(msg::SaveChanges,
                                   marlo::button::Yes | marlo::button::No | marlo::button::Cancel,
                                   marlo::button::Cancel);
  });
  const WindowHandle w = driver.waitForWindow("Save Record");
  ASSERT_NE(w, 0);
  EXPECT_EQ(visibleButtons(w), (std::vector<std::string>{"&Cancel", "&No", "&Yes"}));
  EXPECT_TRUE(driver.control(w, n(MessageWindowControl::Place1)).has(flag::Default));
  EXPECT_FALSE(driver.control(w, n(MessageWindowControl::Place3)).has(flag::Default));
  EXPECT_FALSE(driver.control(w, n(MessageWindowControl::Place4)).visible());
  driver.press(w, n(MessageWindowControl::Place2));
  ASSERT_TRUE(driver.waitEnded());
  EXPECT_EQ(answer_, marlo::button::No);
}

TEST_F(MessageHistory, TheCloseBoxAnswersCancel) {
  globalErrors.HISTORYVIEWLEVEL = 1;
  driver.start([this] {
    answer_ = globalErrors.message(msg::SaveChanges,
                                   marlo::button::Yes | marlo::button::No | marlo::button::Cancel,
                                   marlo::button::Yes);
  });
  const WindowHandle w = driver.waitForWindow("Save Record");
  driver.closeBox(w);
  ASSERT_TRUE(driver.waitEnded());
  EXPECT_EQ(answer_, marlo::button::Cancel);
}

// A halt on another thread ends the history window unanswered: the question must then change
// nothing, where its default (Yes) would delete.
TEST_F(MessageHistory, AHaltAnswersAnOpenQuestionNoRatherThanItsDefault) {
  driver.start(
      [this] { answer_ = 100 + static_cast<unsigned>(globalErrors.throw_(msg::ConfirmDelete)); });
  ASSERT_NE(driver.waitForWindow("Confirm Delete"), 0);
  engine.halt(0);
  ASSERT_TRUE(driver.waitEnded());
  EXPECT_EQ(answer_, 100 + static_cast<unsigned>(SevCancel));
}

TEST_F(MessageHistory, PlainMessagesGoThroughTheViewsMessageBox) {
  globalErrors.HISTORYTHRESHOLD = 0;
  driver.answerNextMessage(marlo::button::No);
  driver.start(
      [this] { answer_ = static_cast<unsigned>(globalErrors.throw_(msg::ConfirmDelete)); });
  ASSERT_TRUE(driver.waitEnded());
  const auto shown = driver.dialogs();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].request.title, "Confirm Delete");
  EXPECT_EQ(shown[0].request.icon, MessageIcon::Exclamation);
  EXPECT_EQ(shown[0].request.buttons, marlo::button::Yes | marlo::button::No);
  EXPECT_EQ(answer_, static_cast<unsigned>(SevCancel));
  // Line breaks of message texts reach the box as new lines.
  driver.answerNextMessage(marlo::button::Ok);
  globalErrors.setFile("FOLDERS");
  driver.start([] { globalErrors.throw_(msg::RecordInsertError); });
  ASSERT_TRUE(driver.waitEnded());
  EXPECT_EQ(driver.dialogs().back().request.text.find('|'), std::string::npos);
  EXPECT_NE(driver.dialogs().back().request.text.find("\nFile: FOLDERS\n"), std::string::npos);
}

}  // namespace
}  // namespace marlo::test
