// Which toolbar buttons a form's target enables, and the tips it shows.
#include <gtest/gtest.h>

#include <set>

#include "framework/window/form_toolbar.h"
#include "framework/window/window_component.h"
#include "platform/window/window.h"

namespace marlo {
namespace {

std::set<int> enabledButtons(const FormToolbar& bar) {
  std::set<int> out;
  for (int b = toolbar::kFirst; b <= toolbar::kLast; ++b) {
    if (bar.button(b).enabled) out.insert(b);
  }
  return out;
}

class ToolbarTarget : public ::testing::Test {
 protected:
  void show(std::uint8_t request, bool history = false, const win::Window* window = nullptr) {
    target.REQUEST = request;
    target.HISTORY = history;
    bar.init(nullptr);
    bar.setWindow(const_cast<win::Window*>(window));
    bar.addTarget(target, 1);
    bar.setTarget(1);
  }
  FormToolbar bar;
  FormToolbarTarget target;
};

TEST_F(ToolbarTarget, AnInsertFormSavesAndAddsAnother) {
  show(RequestInsert);
  EXPECT_EQ(enabledButtons(bar), (std::set<int>{3001, 3009}));
  EXPECT_EQ(bar.button(3001).tip, "Spremi zapis i dodaj još jedan");
  EXPECT_EQ(bar.button(3009).tip, "Spremi zapis i dodaj još jedan");
}

TEST_F(ToolbarTarget, AChangeFormNavigates) {
  show(RequestChange, true);
  EXPECT_EQ(enabledButtons(bar), (std::set<int>{3001, 3005, 3006, 3007, 3008, 3009, 3010, 3012}));
  EXPECT_EQ(bar.button(3006).tip, "Spremi zapis i idi na početak liste");
  EXPECT_EQ(bar.button(3009).tip, "Spremi promjene i idi na sljedeći zapis");
  EXPECT_EQ(bar.button(3001).tip, "Spremi ovaj zapis i dodaj novi");
}

TEST_F(ToolbarTarget, OtherRequestsDisableEverything) {
  show(RequestView, true);
  EXPECT_TRUE(enabledButtons(bar).empty());
  show(0);
  EXPECT_TRUE(enabledButtons(bar).empty());
}

TEST_F(ToolbarTarget, HelpOnlyWithAnEnabledHelpButton) {
  win::Window window("Form");
  const int help = window.add(win::ControlKind::Button, "&Help", {0, 0, 40, 14});
  target.HELPBUTTON = help;
  show(RequestChange, false, &window);
  EXPECT_TRUE(bar.button(3013).enabled);
  EXPECT_FALSE(bar.button(3012).enabled);
  window.disable(help);
  bar.displayButtons();
  EXPECT_FALSE(bar.button(3013).enabled);
}

}  // namespace
}  // namespace marlo
