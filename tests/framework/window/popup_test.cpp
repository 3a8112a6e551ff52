// The popup menu as it is built from its items and the buttons they mimic.
#include <gtest/gtest.h>

#include "framework/window/popup_menu.h"
#include "platform/window/window.h"

namespace marlo {
namespace {

using win::ControlKind;

class PopupBuild : public ::testing::Test {
 protected:
  void SetUp() override {
    insert = window.add(ControlKind::Button, "&Insert", {0, 0, 40, 14});
    untitled = window.add(ControlKind::Button, "", {0, 20, 40, 14});
    remove = window.add(ControlKind::Button, "&Delete", {0, 40, 40, 14});
    menu.init(window);
  }
  win::Window window{"Popup"};
  PopupMenu menu;
  int insert = 0;
  int untitled = 0;
  int remove = 0;
};

TEST_F(PopupBuild, MimicItemsTakeTheButtonsTextsAndState) {
  menu.addItemMimic("&Unos", insert, "!&Unos");
  menu.addItemMimic("&Promjena", untitled, "!&Promjena");
  menu.addItemMimic("&Brisanje", remove, "!&Brisanje");
  menu.addItemMimic("Fixed", remove, "Keep this");
  window.disable(remove);
  const auto items = menu.buildMenu();
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].text, "&Insert");    // the button's own text wins over the stored one
  EXPECT_EQ(items[1].text, "&Promjena");  // no text on the button: the stored one without "!"
  EXPECT_EQ(items[2].text, "&Delete");
  EXPECT_EQ(items[3].text, "Keep this");  // a stored text without "!" is kept
  EXPECT_TRUE(items[0].enabled);
  EXPECT_FALSE(items[2].enabled);  // greyed while the button is disabled
  EXPECT_FALSE(items[3].enabled);
  window.enable(remove);
  EXPECT_TRUE(menu.buildMenu()[2].enabled);  // refreshed at every display
}

TEST_F(PopupBuild, DepthMakesSubmenusAndNumbersSkipHeadsAndSeparators) {
  const std::string first = menu.addItem("&First");
  const std::string head = menu.addItem("&More");
  const std::string a = menu.addItem("Sub &A");
  const std::string b = menu.addItem("Sub &B");
  menu.addItem("-");
  const std::string last = menu.addItem("&Last");
  menu.setItemDepth(a, 1);
  menu.setItemDepth(b, 1);
  menu.setItemCheck(last, true);
  EXPECT_EQ(first, "First");
  EXPECT_EQ(a, "SubA");
  const auto items = menu.buildMenu();
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].number, 1);
  EXPECT_EQ(items[1].text, "&More");
  EXPECT_EQ(items[1].number, 0);
  ASSERT_EQ(items[1].children.size(), 2u);
  EXPECT_EQ(items[1].children[0].number, 2);
  EXPECT_EQ(items[1].children[1].number, 3);
  EXPECT_TRUE(items[2].separator);
  EXPECT_EQ(items[3].number, 4);
  EXPECT_TRUE(items[3].checked);
}

TEST_F(PopupBuild, NamesAreUniqueAndTextsTranslated) {
  EXPECT_EQ(menu.addItem("&Open"), "Open");
  EXPECT_EQ(menu.addItem("&Open"), "Open2");
  menu.TRANSLATOR = [](std::string_view text) { return std::string(text) + "!"; };
  EXPECT_EQ(menu.buildMenu()[1].text, "&Open!");
}

}  // namespace
}  // namespace marlo
