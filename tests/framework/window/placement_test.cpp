// A window that remembers its place through the settings manager.
#include <gtest/gtest.h>

#include "framework/ini_manager.h"
#include "framework/window/window_controller.h"
#include "framework/window/window_placement.h"
#include "tests/framework/window/window_fixture.h"

namespace marlo::test {
namespace {

class PlacedWindow : public WindowController {
 public:
  explicit PlacedWindow(IniManager& ini) : ini_(ini) {}
  SeverityLevel init() override {
    if (const SeverityLevel r = WindowController::init(); r != SevBenign) return r;
    window_.setResizable(true);
    window_.add(win::ControlKind::Button, "&Close", {10, 10, 40, 14});
    addButton(1, ResponseCompleted);
    openWindow(window_);
    OPENED = true;
    ini_.fetchWindow("Placed", placement_);
    return SevBenign;
  }
  SeverityLevel kill() override {
    const SeverityLevel r = WindowController::kill();
    // A closed window keeps its last place and state, which is what is saved.
    if (r == SevBenign && OPENED) ini_.updateWindow("Placed", placement_);
    return r;
  }

 private:
  IniManager& ini_;
  win::Window window_{"Placed", {0, 0, 200, 100}};
  EngineWindowPlacement placement_{window_};
};

class WindowPlace : public WindowFrameworkTest {
 protected:
  WindowHandle open(PlacedWindow& w) {
    driver.start([&w] { w.run(); });
    return driver.waitForWindow("Placed");
  }
  IniManager ini;
};

TEST_F(WindowPlace, TheNextRunOpensWhereThePersonLeftIt) {
  ini.init("placement.ini");
  {
    PlacedWindow first(ini);
    const WindowHandle w = open(first);
    driver.resize(w, {30, 40, 250, 120});
    driver.closeBox(w);
    ASSERT_TRUE(driver.waitEnded());
  }
  {
    PlacedWindow second(ini);
    const WindowHandle w = open(second);
    EXPECT_EQ(driver.screen(w).props.rect, (Rect{30, 40, 250, 120}));
    EXPECT_FALSE(driver.screen(w).props.centred);
    // Minimised when it closes: the place saved before stays.
    driver.minimize(w);
    driver.closeBox(w);
    ASSERT_TRUE(driver.waitEnded());
  }
  {
    PlacedWindow third(ini);
    const WindowHandle w = open(third);
    EXPECT_EQ(driver.screen(w).props.rect, (Rect{30, 40, 250, 120}));
    EXPECT_EQ(driver.screen(w).props.state, WindowState::Normal);
    driver.maximize(w);
    driver.press(w, 1);
    ASSERT_TRUE(driver.waitEnded());
  }
  PlacedWindow fourth(ini);
  const WindowHandle w = open(fourth);
  EXPECT_EQ(driver.screen(w).props.state, WindowState::Maximized);
  EXPECT_EQ(driver.screen(w).props.rect, (Rect{30, 40, 250, 120}));  // the normal place
  driver.press(w, 1);
  ASSERT_TRUE(driver.waitEnded());
  ini.kill();
}

}  // namespace
}  // namespace marlo::test
