// Keeps the controls of a resizable window in place while the person changes its size: every
// control's initial rectangle is remembered, and on each size change its new rectangle is
// computed from its parent's initial and new rectangles and the control's strategies.
//
// Rectangles are always computed from the initial ones, never from the previous step, so a
// window made larger and then returned to its designed size shows every control exactly where
// it was designed.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/window/control.h"

namespace marlo {

namespace win {
class Window;
}

namespace resize_strategy {
// Positional strategy: the low byte places the left edge, the high byte the top edge.
inline constexpr std::uint16_t kProportional = 0;  // 0x000 vertically
inline constexpr std::uint16_t kUnchanged = 1;     // 0x100
inline constexpr std::uint16_t kFixRight = 2;      // 0x200: fixed to the right (bottom)
inline constexpr std::uint16_t kFixLeft = 3;       // 0x300: fixed to the left (top)
inline constexpr std::uint16_t kCentred = 4;       // 0x400
inline constexpr std::uint16_t kNearest = 5;       // 0x500: whichever side is nearer
// Resize strategy bits.
inline constexpr std::uint16_t kLockWidth = 0x01;
inline constexpr std::uint16_t kLockHeight = 0x02;
inline constexpr std::uint16_t kConstantRight = 0x04;   // keep the right margin
inline constexpr std::uint16_t kConstantBottom = 0x08;  // keep the bottom margin
inline constexpr std::uint16_t kHalfWidth = 0x10;       // grow by half the growth to the right
inline constexpr std::uint16_t kHalfHeight = 0x20;
}  // namespace resize_strategy

// One axis of the computation: a control's initial edge and extent within its parent's
// initial and new edge and extent.
struct ResizeAxis {
  int controlStart = 0;   // initial left (top) edge of the control
  int controlExtent = 0;  // initial width (height)
  int parentStart = 0;    // the parent's initial origin
  int parentExtent = 0;   // the parent's initial extent
  int newParentStart = 0;
  int newParentExtent = 0;
};

// The new left (top) edge for one axis. `positional` is one byte of the positional strategy
// (0..5); `sizeLocked` says whether the resize strategy locks this axis.
[[nodiscard]] int placeEdge(const ResizeAxis& axis, int positional, bool sizeLocked);
// The new width (height) for one axis. `resize` holds the bits of this axis only, in the
// horizontal form (kLockWidth, kConstantRight, kHalfWidth).
[[nodiscard]] int sizeExtent(const ResizeAxis& axis, int newStart, std::uint16_t resize);
// The whole rectangle of a control.
[[nodiscard]] win::Rect resizedRect(win::Rect control, win::Rect parentBefore,
                                    win::Rect parentAfter, std::uint16_t positional,
                                    std::uint16_t resize);

class WindowResizer {
 public:
  // How controls without a strategy of their own follow the window.
  enum AppStrategy : std::uint8_t {
    kResize = 0,   // every control proportional
    kSpread = 1,   // controls keep their size and stay at the nearer side
    kParents = 2,  // as kResize, with the parents linked at init
  };

  struct ControlEntry {
    std::int32_t ID = 0;
    std::int32_t TYPE = 0;
    bool HASCHILDREN = false;
    std::uint16_t POSITIONALSTRATEGY = 0;
    std::uint16_t RESIZESTRATEGY = 0;
    win::Rect POS;
    std::int32_t PARENTID = 0;
    bool strategySet = false;  // setStrategy named this control
  };
  struct WindowPlace {
    win::Rect rect;
    bool MAXIMIZED = false;
    bool ICONIZED = false;
  };
  struct PendingMove {
    int PRIORITY = 0;
    std::int32_t CONTROLID = 0;
    std::int32_t TYPE = 0;
    win::Rect BEFORE;
    win::Rect AFTER;
  };

  WindowResizer() = default;
  WindowResizer(const WindowResizer&) = delete;
  WindowResizer& operator=(const WindowResizer&) = delete;

  // Captures the initial rectangles of `window` (already open) and its controls; with
  // lockMinimum (lockMaximum) the window cannot become smaller (larger) than designed.
  void init(win::Window& window, std::uint8_t appStrategy = kResize, bool lockMinimum = false,
            bool lockMaximum = false);
  // Links every control to the control that contains it.
  void setParents();
  // Strategies of one control; control 0 = every control.
  void setStrategy(int control, std::uint16_t positional, std::uint16_t resize);
  // Moves every control for the window's present size.
  void resize();
  void kill();

  // The rectangle `control` gets when the window's size becomes `windowSize`.
  [[nodiscard]] win::Rect rectFor(int control, win::Size windowSize) const;
  [[nodiscard]] const std::vector<ControlEntry>& controls() const { return CONTROLQUEUE; }

  std::uint8_t APPSTRATEGY = kResize;
  bool AUTOTRANSPARENT = false;
  WindowPlace ORIGWIN;
  bool DEFERMOVES = false;
  win::Rect PREVIOUSWIN;
  bool RESIZECALLED = false;

 private:
  [[nodiscard]] const ControlEntry* find(int control) const;
  [[nodiscard]] std::pair<std::uint16_t, std::uint16_t> strategiesOf(
      const ControlEntry& entry) const;
  [[nodiscard]] win::Rect computeRect(const ControlEntry& entry, win::Size windowSize,
                                      int depth) const;

  std::vector<ControlEntry> CONTROLQUEUE;
  std::vector<PendingMove> RESIZELIST;
  win::Window* window_ = nullptr;
};

}  // namespace marlo
