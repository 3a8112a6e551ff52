// Finding text: the search window's searches up and down from the selection, the program's
// direct search, the not-found message, and the settings that come back next time.
#include <gtest/gtest.h>

#include "tests/richtext/editor_fixture.h"

namespace richtext_test {
namespace {

using C = ContainerControl;
using F = marlo::richtext::FindControl;
namespace rt = marlo::richtext;

class FindText : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    openHost();
    ASSERT_TRUE(type("Word word sword word"));
  }
  // Opens the search window from the toolbar.
  WindowHandle openFind() {
    driver.press(container, n(C::Find));
    return driver.window(rt::kFindTitle);
  }
};

TEST_F(FindText, DownStartsAtTheSelectionsEndAndWalksOnUpStopsAtTheTop) {
  ASSERT_TRUE(select(0, 6));  // "Word w"
  const WindowHandle find = openFind();
  ASSERT_NE(find, 0);
  EXPECT_EQ(driver.control(find, n(F::SearchString)).name, "?SEARCHSTRING");
  ASSERT_TRUE(driver.type(find, n(F::SearchString), "word"));
  ASSERT_TRUE(driver.press(find, n(F::FindNext)));
  EXPECT_EQ(selection(), (TextSelection{11, 15})) << "past the selection; \"sword\" counts";
  ASSERT_TRUE(driver.press(find, n(F::FindNext)));
  EXPECT_EQ(selection(), (TextSelection{16, 20}));

  ASSERT_TRUE(driver.press(find, n(F::Up)));
  EXPECT_EQ(rt::FindDirection, 0);
  ASSERT_TRUE(driver.press(find, n(F::FindNext)));
  EXPECT_EQ(selection(), (TextSelection{11, 15})) << "up from the selection's start";
  ASSERT_TRUE(driver.press(find, n(F::FindNext)));
  EXPECT_EQ(selection(), (TextSelection{5, 9}));
  ASSERT_TRUE(driver.press(find, n(F::FindNext)));
  EXPECT_EQ(selection(), (TextSelection{0, 4})) << "case does not matter unless asked";

  ASSERT_TRUE(select(0, 0));
  driver.answerNextMessage(button::Ok);
  ASSERT_TRUE(driver.press(find, n(F::FindNext)));
  const auto shown = messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, "Search");
  EXPECT_EQ(shown[0].text, "\"word\" not found.");
  EXPECT_EQ(shown[0].buttons, button::Ok);
  EXPECT_EQ(exclamationBeeps(), 1u);
  EXPECT_EQ(selection(), (TextSelection{0, 0})) << "nothing found leaves the selection";
  EXPECT_TRUE(driver.isOpen(find)) << "the window stays for the next search";

  ASSERT_TRUE(driver.press(find, n(F::Cancel)));
  EXPECT_FALSE(driver.isOpen(find));
  EXPECT_EQ(driver.screen(host).focus, kEditor);
}

TEST_F(FindText, WholeWordsAndCaseNarrowTheSearch) {
  const WindowHandle find = openFind();
  ASSERT_TRUE(driver.type(find, n(F::SearchString), "Word"));
  ASSERT_TRUE(driver.press(find, n(F::CaseSensitive)));
  ASSERT_TRUE(select(1, 1));
  driver.answerNextMessage(button::Ok);
  ASSERT_TRUE(driver.press(find, n(F::FindNext)));
  EXPECT_EQ(messages().size(), 1u) << "only the first is \"Word\"";

  ASSERT_TRUE(driver.press(find, n(F::CaseSensitive)));
  ASSERT_TRUE(driver.press(find, n(F::WholeWords)));
  ASSERT_TRUE(select(10, 10));
  ASSERT_TRUE(driver.press(find, n(F::FindNext)));
  EXPECT_EQ(selection(), (TextSelection{16, 20})) << "\"sword\" is not the whole word";
  ASSERT_TRUE(driver.press(find, n(F::Cancel)));
}

TEST_F(FindText, TheSettingsAreShownAgainNextTime) {
  WindowHandle find = openFind();
  ASSERT_TRUE(driver.type(find, n(F::SearchString), "sword"));
  ASSERT_TRUE(driver.press(find, n(F::WholeWords)));
  ASSERT_TRUE(driver.press(find, n(F::CaseSensitive)));
  ASSERT_TRUE(driver.press(find, n(F::Up)));
  ASSERT_TRUE(driver.press(find, n(F::Cancel)));

  find = openFind();
  EXPECT_EQ(driver.value(find, n(F::SearchString)), "sword");
  EXPECT_EQ(driver.value(find, n(F::WholeWords)), "1");
  EXPECT_EQ(driver.value(find, n(F::CaseSensitive)), "1");
  EXPECT_EQ(driver.value(find, n(F::Direction)), "1") << "the first radio, Up";
  EXPECT_EQ(driver.text(find, n(F::Prompt)), "Fi&nd what:");
  ASSERT_TRUE(driver.press(find, n(F::Cancel)));
}

TEST_F(FindText, TheProgramsSearchIsWholeWordAndCaseSensitiveFromTheTop) {
  rt::FindWholeWords = 0;
  rt::FindCaseSensitive = 0;
  std::int32_t found = 0;
  ASSERT_TRUE(select(12, 12));  // a caret only: the search starts at the top
  onHost([&] { found = box->find("word  ", 0); });
  EXPECT_EQ(found, 5);
  EXPECT_EQ(selection(), (TextSelection{5, 9}));
  EXPECT_EQ(rt::FindWhat.view(), "word") << "without its trailing blanks";
  onHost([&] { found = box->find("word", 0); });
  EXPECT_EQ(found, 16) << "from the end of the selection on, past \"sword\"";
  onHost([&] { found = box->find("word", 0); });
  EXPECT_EQ(found, -1);
  EXPECT_EQ(selection(), (TextSelection{16, 20}));
  onHost([&] { found = box->find("WORD", 0); });
  EXPECT_EQ(found, -1);
  EXPECT_TRUE(messages().empty()) << "the program's search reports by its result only";
}

TEST_F(FindText, AnEmptyTextBeepsAndFindsNothing) {
  driver.answerNextMessage(button::No);
  onHost([&] { box->newDocument(); });
  std::int32_t found = 9;
  onHost([&] { found = box->find("word", 0); });
  EXPECT_EQ(found, 0);
  EXPECT_EQ(exclamationBeeps(), 2u);  // the save question's, and the search's
  EXPECT_EQ(driver.window(rt::kFindTitle), 0);
}

}  // namespace
}  // namespace richtext_test
