// The container's toolbar and format bar as a person uses them: the bar shows the selection's
// format, its controls change it, the bullets button and its popup, the right-click popup, the
// edit commands.
#include <gtest/gtest.h>

#include "tests/richtext/editor_fixture.h"

namespace richtext_test {
namespace {

using C = ContainerControl;
namespace effect = marlo::richtext::effect;
namespace numbering = marlo::richtext::numbering;

class EditorBars : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    openHost();
    ASSERT_NE(container, 0);
  }
  // The person releases the left button in the text after selecting.
  bool click(int anchor, int caret) {
    return select(anchor, caret) && driver.pressKey(host, kEditor, key::MouseLeftUp);
  }
  std::string shownRow(C list) {
    const ControlState s = driver.control(container, n(list));
    return s.selection > 0 ? s.rows[static_cast<std::size_t>(s.selection - 1)][0] : std::string();
  }
};

TEST_F(EditorBars, BothBarsShowWithTheirTipsAndTheSelectionsFormat) {
  EXPECT_TRUE(driver.screen(container).props.visible);
  EXPECT_EQ(driver.control(container, n(C::Save)).tip, "Save");
  EXPECT_EQ(driver.control(container, n(C::Fonts)).tip, "Changes the font of the selection");
  EXPECT_EQ(driver.control(container, n(C::Bullets)).tip, "Bullets and Numbering");
  EXPECT_EQ(driver.rows(container, n(C::FontSize)).size(), 16u);
  EXPECT_EQ(shownRow(C::Fonts), "Tahoma");
  EXPECT_EQ(shownRow(C::FontSize), "10");
  EXPECT_EQ(driver.value(container, n(C::Alignment)), "1");
}

TEST_F(EditorBars, AClickInTheTextShowsItsFormatInTheBar) {
  ASSERT_TRUE(type("plain bold"));
  onHost([&] {
    box->edit([](QTextDocument& d, TextSelection&) {
      marlo::richtext::toggleEffect(d, {6, 10}, effect::Bold);
      marlo::richtext::setFont(d, {6, 10}, QStringLiteral("DejaVu Serif"), 14, 255);
      marlo::richtext::setAlignment(d, {0, 0}, marlo::richtext::alignment::Right);
    });
  });
  ASSERT_TRUE(click(7, 7));
  EXPECT_EQ(driver.value(container, n(C::Bold)), "1");
  EXPECT_EQ(driver.value(container, n(C::Italic)), "0");
  EXPECT_EQ(shownRow(C::Fonts), "DejaVu Serif");
  EXPECT_EQ(shownRow(C::FontSize), "14");
  EXPECT_EQ(box->LFONTCOLOR, 255u);
  EXPECT_EQ(driver.value(container, n(C::Alignment)), "3");
  EXPECT_EQ(driver.screen(host).focus, kEditor) << "the focus stays in the text";

  ASSERT_TRUE(click(1, 1));
  EXPECT_EQ(driver.value(container, n(C::Bold)), "0");
  EXPECT_EQ(shownRow(C::Fonts), "Tahoma");
}

TEST_F(EditorBars, TheFormatBarChangesTheSelectionOrTheWordAtTheCaret) {
  ASSERT_TRUE(type("one two three"));
  ASSERT_TRUE(click(5, 5));  // in "two", nothing selected
  ASSERT_TRUE(driver.press(container, n(C::Bold)));
  ASSERT_TRUE(select(4, 7));
  EXPECT_EQ(charFormat().effects, effect::Bold);
  ASSERT_TRUE(select(0, 3));
  EXPECT_EQ(charFormat().effects, 0u) << "only the word at the caret";

  ASSERT_TRUE(driver.press(container, n(C::Italic)));
  ASSERT_TRUE(driver.press(container, n(C::Underline)));
  EXPECT_EQ(charFormat().effects, effect::Italic | effect::Underline);
  EXPECT_EQ(driver.value(container, n(C::Italic)), "1");
  ASSERT_TRUE(driver.press(container, n(C::Italic)));
  EXPECT_EQ(charFormat().effects, effect::Underline);

  const auto& fonts = driver.rows(container, n(C::Fonts));
  const auto serif =
      std::find(fonts.begin(), fonts.end(), std::vector<std::string>{"DejaVu Serif"});
  ASSERT_NE(serif, fonts.end()) << "the system's fonts are listed";
  ASSERT_TRUE(driver.pickRow(container, n(C::Fonts), static_cast<int>(serif - fonts.begin()) + 1));
  ASSERT_TRUE(driver.pickRow(container, n(C::FontSize), 9));  // 20 points
  driver.answerNextColour(0x00FF00);
  ASSERT_TRUE(driver.press(container, n(C::FontColour)));
  const auto format = charFormat();
  EXPECT_EQ(format.face, "DejaVu Serif");
  EXPECT_EQ(format.twips, 400);
  EXPECT_EQ(format.colour, 0x00FF00);
  EXPECT_EQ(driver.screen(host).focus, kEditor);

  ASSERT_TRUE(driver.press(container, n(C::AlignCenter)));
  EXPECT_EQ(paraFormat().alignment, marlo::richtext::alignment::Center);
  EXPECT_EQ(driver.value(container, n(C::Alignment)), "2");
}

TEST_F(EditorBars, TheBulletsButtonOffersTheSixNumberingsAndTurnsThemOff) {
  ASSERT_TRUE(type("first\nsecond"));
  ASSERT_TRUE(select(0, 8));
  driver.answerNextPopup(4);  // Lower case letters
  ASSERT_TRUE(driver.press(container, n(C::Bullets)));
  const auto popups = driver.dialogs();
  ASSERT_EQ(popups.back().request.kind, DialogRequest::Kind::Popup);
  std::vector<std::string> items;
  for (const auto& item : popups.back().request.menu) items.push_back(item.text);
  EXPECT_EQ(items,
            (std::vector<std::string>{"Numbering off", "Bullets", "Arabic Numbers",
                                      "Lower case letters", "Upper case letters",
                                      "Lowercase Roman numerals", "Uppercase Roman numerals"}));
  EXPECT_EQ(paraFormat().numbering, numbering::LowerLetters);
  EXPECT_EQ(driver.value(container, n(C::Bullets)), "1");
  ASSERT_TRUE(select(7, 7));
  EXPECT_EQ(paraFormat().numbering, numbering::LowerLetters) << "both paragraphs";

  for (int style = numbering::Bullet; style <= numbering::UpperRoman; ++style) {
    onHost([&] { box->setNumbering(style); });
    EXPECT_EQ(paraFormat().numbering, style);
  }

  ASSERT_TRUE(driver.press(container, n(C::Bullets)));  // released: numbering off
  EXPECT_EQ(paraFormat().numbering, numbering::None);
  EXPECT_EQ(driver.value(container, n(C::Bullets)), "0");

  // Down again, and "Numbering off" from the popup releases it; a dismissed popup leaves the
  // paragraph and the button as they were.
  driver.answerNextPopup(1);
  ASSERT_TRUE(driver.press(container, n(C::Bullets)));
  EXPECT_EQ(driver.value(container, n(C::Bullets)), "0");
  driver.answerNextPopup(0);
  ASSERT_TRUE(driver.press(container, n(C::Bullets)));
  EXPECT_EQ(paraFormat().numbering, numbering::None);
  EXPECT_EQ(driver.value(container, n(C::Bullets)), "0");
}

TEST_F(EditorBars, TheRightButtonPopupIsTheToolbarGreyedWhereItWouldDoNothing) {
  ASSERT_TRUE(type("cut me"));
  ASSERT_TRUE(select(0, 0));
  driver.answerNextPopup(0);
  ASSERT_TRUE(driver.pressKey(host, kEditor, key::MouseRightUp));
  const auto menu = driver.dialogs().back().request.menu;
  std::string shown;
  for (const auto& item : menu)
    shown += (item.separator ? "-" : (item.enabled ? "" : "~") + item.text) + "|";
  EXPECT_EQ(shown, "New|Open|Save|Print|Find|-|~Cut|~Copy|Paste|-|Undo|~Redo|");
  EXPECT_EQ(driver.screen(host).focus, kEditor);

  ASSERT_TRUE(select(0, 4));
  driver.answerNextPopup(6);  // Cut
  ASSERT_TRUE(driver.pressKey(host, kEditor, key::MouseRightUp));
  EXPECT_EQ(text(), "me");
  ASSERT_TRUE(select(2, 2));
  ASSERT_TRUE(driver.press(container, n(C::Paste)));
  EXPECT_EQ(text(), "mecut ");
  ASSERT_TRUE(driver.press(container, n(C::Undo)));
  EXPECT_EQ(text(), "me");
  ASSERT_TRUE(driver.press(container, n(C::Redo)));
  EXPECT_EQ(text(), "mecut ");
}

TEST_F(EditorBars, NewAsksFirstAndStartsAnEmptyDocumentInTheSameFont) {
  ASSERT_TRUE(type("old text"));
  driver.answerNextMessage(button::No);
  ASSERT_TRUE(driver.press(container, n(C::New)));
  EXPECT_EQ(text(), "");
  EXPECT_EQ(box->SFILENAME.view(), "");
  ASSERT_TRUE(type("new"));
  EXPECT_EQ(charFormat().face, "Tahoma");
  EXPECT_EQ(charFormat().twips, 200);
}

TEST_F(EditorBars, OpenAndSaveFromTheToolbar) {
  std::ofstream("in.rtf") << "{\\rtf1\\ansi {\\i Italic} words\\par}";
  driver.answerNextOpenFile((dir() / "in.rtf").string());
  ASSERT_TRUE(driver.press(container, n(C::Open)));
  EXPECT_EQ(text(), "Italic words");
  ASSERT_TRUE(type("More "));
  ASSERT_TRUE(driver.press(container, n(C::Save)));
  onHost([&] { box->open((dir() / "in.rtf").string()); });
  EXPECT_EQ(text(), "More Italic words");
  EXPECT_TRUE(messages().empty()) << "saved: nothing to ask before opening again";
}

}  // namespace
}  // namespace richtext_test
