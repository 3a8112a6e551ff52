// The resizer's strategy tables as pure computations, then one window resized by a person.
#include <gtest/gtest.h>

#include <atomic>

#include "framework/window/window_controller.h"
#include "framework/window/window_resizer.h"
#include "tests/framework/window/window_fixture.h"

namespace marlo::test {
namespace {

namespace rs = resize_strategy;

constexpr Rect kWindow{0, 0, 200, 100};
constexpr Rect kGrown{0, 0, 400, 200};
// 20 from the left, 140 from the right; 10 from the top, 70 from the bottom.
constexpr Rect kControl{20, 10, 40, 20};

Rect grown(Rect control, std::uint16_t positional, std::uint16_t resize) {
  return resizedRect(control, kWindow, kGrown, positional, resize);
}

TEST(ResizerStrategy, PositionalRulesPlaceTheLeftAndTopEdges) {
  const std::uint16_t locked = rs::kLockWidth | rs::kLockHeight;
  EXPECT_EQ(grown(kControl, 0x000, 0), (Rect{40, 20, 80, 40}));       // proportional
  EXPECT_EQ(grown(kControl, 0x101, locked), (Rect{20, 10, 40, 20}));  // unchanged
  EXPECT_EQ(grown(kControl, 0x303, locked), (Rect{20, 10, 40, 20}));  // fixed to left/top
  EXPECT_EQ(grown(kControl, 0x202, locked),
            (Rect{220, 110, 40, 20}));  // same distance from right/bottom
  EXPECT_EQ(grown(kControl, 0x404, locked),
            (Rect{120, 60, 40, 20}));  // same distance from the centre
  // When the size follows the window, the distances scale with it.
  EXPECT_EQ(grown(kControl, 0x202, 0), (Rect{40, 20, 80, 40}));
  EXPECT_EQ(grown(kControl, 0x404, 0), (Rect{40, 20, 80, 40}));
  // Each byte decides its own axis.
  EXPECT_EQ(grown(kControl, 0x100, rs::kLockHeight), (Rect{40, 10, 80, 20}));
}

TEST(ResizerStrategy, NearestSideFollowsTheSmallerInitialGap) {
  const std::uint16_t locked = rs::kLockWidth | rs::kLockHeight;
  // In the left half: kept at the left.
  EXPECT_EQ(grown(kControl, 0x005, locked).x, 20);
  // In the right half (150 from the left, 20 from the right): kept at the right.
  EXPECT_EQ(grown({150, 10, 30, 20}, 0x005, locked).x, 350);
  // Equal gaps count as the right side.
  EXPECT_EQ(grown({80, 10, 40, 20}, 0x005, locked).x, 280);
  // Vertically alike: 60 from the top, 20 from the bottom.
  EXPECT_EQ(grown({20, 60, 40, 20}, 0x500, locked).y, 160);
}

TEST(ResizerStrategy, ResizeBitsAndTheirPrecedence) {
  const std::uint16_t fixLeftTop = 0x303;
  EXPECT_EQ(grown(kControl, fixLeftTop, rs::kConstantRight | rs::kLockHeight),
            (Rect{20, 10, 240, 20}));
  EXPECT_EQ(grown(kControl, fixLeftTop, rs::kHalfWidth | rs::kLockHeight), (Rect{20, 10, 140, 20}));
  EXPECT_EQ(grown(kControl, fixLeftTop, rs::kLockWidth | rs::kConstantBottom),
            (Rect{20, 10, 40, 120}));
  EXPECT_EQ(grown(kControl, fixLeftTop, rs::kLockWidth | rs::kHalfHeight), (Rect{20, 10, 40, 70}));
  // Margin and growth rules win over the lock of the same axis.
  EXPECT_EQ(
      grown(kControl, fixLeftTop, rs::kLockWidth | rs::kConstantRight | rs::kLockHeight).width,
      240);
  EXPECT_EQ(grown(kControl, fixLeftTop, rs::kLockWidth | rs::kHalfWidth | rs::kLockHeight).width,
            140);
  EXPECT_EQ(
      grown(kControl, fixLeftTop, rs::kLockHeight | rs::kConstantBottom | rs::kLockWidth).height,
      120);
  // A window made smaller than a margin allows gives an empty control, never a negative one.
  EXPECT_EQ(resizedRect(kControl, kWindow, {0, 0, 100, 50}, fixLeftTop, rs::kConstantRight).width,
            0);
}

TEST(ResizerStrategy, AControlInsideAMovedParentStaysInside) {
  // A panel at 100..180 grows and moves proportionally to 200..360; its child 10 into it
  // must come out 20 into the moved panel, not twice the panel's new place.
  const Rect panelBefore{100, 0, 80, 50};
  const Rect panelAfter = grown(panelBefore, 0, 0);
  EXPECT_EQ(panelAfter, (Rect{200, 0, 160, 100}));
  const Rect child = resizedRect({110, 10, 20, 10}, panelBefore, panelAfter, 0, 0);
  EXPECT_EQ(child, (Rect{220, 20, 40, 20}));
}

// --- under the engine ---------------------------------------------------------------------------

// A resizable window of four controls, each with its own strategy.
class ResizableWindow : public WindowController {
 public:
  SeverityLevel init() override {
    if (const SeverityLevel r = WindowController::init(); r != SevBenign) return r;
    ERRORS = &globalErrors;
    window_.setResizable(true);
    window_.add(ControlKind::Panel, "", {0, 0, 200, 20});           // 1: across the top
    window_.add(ControlKind::List, "", {10, 30, 180, 40});          // 2: proportional
    window_.add(ControlKind::Button, "&Close", {150, 80, 40, 14});  // 3: bottom right
    window_.add(ControlKind::Button, "&Help", {90, 80, 20, 14});    // 4: centred
    window_.add(ControlKind::Text, "", {0, 0, 20, 10});             // 5: no strategy
    addButton(3, ResponseCompleted);
    openWindow(window_);
    OPENED = true;
    resizer.init(window_, WindowResizer::kResize, lockMinimum, false);
    resizer.setParents();
    resizer.setStrategy(1, 0x100, rs::kLockHeight);
    resizer.setStrategy(3, 0x202, rs::kLockWidth | rs::kLockHeight);
    resizer.setStrategy(4, 0x404, rs::kLockWidth | rs::kLockHeight);
    addResizer(resizer);
    return SevBenign;
  }
  bool lockMinimum = true;
  WindowResizer resizer;
  Window window_{"Resizable", {0, 0, 200, 100}};
};

class ResizerWindowTest : public WindowFrameworkTest {};

TEST_F(ResizerWindowTest, GrowingAndShrinkingBackRestoresEveryControl) {
  std::atomic<std::uint8_t> response{0};
  ResizableWindow form;
  driver.start([&] { response = form.run(); });
  const WindowHandle w = driver.waitForWindow("Resizable");
  ASSERT_NE(w, 0);
  std::vector<Rect> initial;
  for (int c = 1; c <= 5; ++c) initial.push_back(driver.control(w, c).rect);

  ASSERT_TRUE(driver.resize(w, {0, 0, 400, 200}));
  EXPECT_EQ(driver.control(w, 1).rect, (Rect{0, 0, 400, 20}));
  EXPECT_EQ(driver.control(w, 2).rect, (Rect{20, 60, 360, 80}));
  EXPECT_EQ(driver.control(w, 3).rect, (Rect{350, 180, 40, 14}));
  EXPECT_EQ(driver.control(w, 4).rect, (Rect{190, 130, 20, 14}));

  // A size that does not divide evenly, then back to the designed size.
  ASSERT_TRUE(driver.resize(w, {0, 0, 333, 147}));
  ASSERT_TRUE(driver.resize(w, {0, 0, 200, 100}));
  for (int c = 1; c <= 5; ++c)
    EXPECT_EQ(driver.control(w, c).rect, initial[static_cast<std::size_t>(c - 1)]) << c;

  driver.press(w, 3);
  ASSERT_TRUE(driver.waitEnded());
  EXPECT_EQ(response, ResponseCompleted);
}

TEST_F(ResizerWindowTest, LockedMinimumKeepsTheDesignedSize) {
  ResizableWindow form;
  driver.start([&] { form.run(); });
  const WindowHandle w = driver.waitForWindow("Resizable");
  ASSERT_NE(w, 0);
  driver.resize(w, {0, 0, 120, 60});
  EXPECT_EQ(driver.screen(w).props.rect.width, 200);
  EXPECT_EQ(driver.screen(w).props.rect.height, 100);
  EXPECT_EQ(driver.control(w, 3).rect, (Rect{150, 80, 40, 14}));
  // Larger in one direction only: the other keeps its designed extent.
  driver.resize(w, {0, 0, 300, 60});
  EXPECT_EQ(driver.screen(w).props.rect.height, 100);
  EXPECT_EQ(driver.control(w, 3).rect, (Rect{250, 80, 40, 14}));
  driver.closeBox(w);
  ASSERT_TRUE(driver.waitEnded());
}

}  // namespace
}  // namespace marlo::test
