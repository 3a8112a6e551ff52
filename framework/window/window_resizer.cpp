#include "framework/window/window_resizer.h"

#include <algorithm>
#include <cmath>

#include "platform/window/window.h"

namespace marlo {

namespace rs = resize_strategy;

namespace {

double ratioOf(const ResizeAxis& a) {
  return a.parentExtent > 0 ? static_cast<double>(a.newParentExtent) / a.parentExtent : 1.0;
}

int rounded(double value) {
  return static_cast<int>(std::lround(value));
}

// The bits of the vertical axis in their horizontal positions.
std::uint16_t verticalBits(std::uint16_t resize) {
  return static_cast<std::uint16_t>(((resize & rs::kLockHeight) ? rs::kLockWidth : 0) |
                                    ((resize & rs::kConstantBottom) ? rs::kConstantRight : 0) |
                                    ((resize & rs::kHalfHeight) ? rs::kHalfWidth : 0));
}

std::uint16_t horizontalBits(std::uint16_t resize) {
  return resize & (rs::kLockWidth | rs::kConstantRight | rs::kHalfWidth);
}

// A margin-keeping or growing rule takes precedence over the lock.
bool sizeLocked(std::uint16_t axisBits) {
  return (axisBits & rs::kLockWidth) != 0 &&
         (axisBits & (rs::kConstantRight | rs::kHalfWidth)) == 0;
}

}  // namespace

int placeEdge(const ResizeAxis& a, int positional, bool locked) {
  const int offset = a.controlStart - a.parentStart;
  const double ratio = ratioOf(a);
  if (positional == rs::kNearest) {
    const int before = offset;
    const int after = a.parentExtent - (offset + a.controlExtent);
    positional = before < after ? rs::kFixLeft : rs::kFixRight;
  }
  switch (positional) {
    case rs::kUnchanged:
      return a.controlStart;
    case rs::kFixRight: {
      const double distance = a.parentExtent - offset;
      return rounded(a.newParentStart + a.newParentExtent - (locked ? distance : distance * ratio));
    }
    case rs::kFixLeft:
      return a.newParentStart + offset;
    case rs::kCentred: {
      const double fromCentre = a.parentExtent / 2.0 - offset;
      return rounded(a.newParentStart + a.newParentExtent / 2.0 -
                     (locked ? fromCentre : fromCentre * ratio));
    }
    default:
      // Proportional: the offset scales, measured from the parent's new origin, so a control
      // stays inside a parent control that itself moved.
      return rounded(a.newParentStart + offset * ratio);
  }
}

int sizeExtent(const ResizeAxis& a, int newStart, std::uint16_t resize) {
  const int offset = a.controlStart - a.parentStart;
  const int newParentEnd = a.newParentStart + a.newParentExtent;
  if (resize & rs::kConstantRight) {
    const int gap = a.parentExtent - (offset + a.controlExtent);
    return newParentEnd - gap - newStart;
  }
  if (resize & rs::kHalfWidth) {
    return rounded((newParentEnd - (a.parentExtent - offset) - newStart) / 2.0 + a.controlExtent);
  }
  if (resize & rs::kLockWidth) return a.controlExtent;
  return rounded(a.controlExtent * ratioOf(a));
}

win::Rect resizedRect(win::Rect control, win::Rect before, win::Rect after,
                      std::uint16_t positional, std::uint16_t resize) {
  const ResizeAxis horizontal{control.x,    control.width, before.x,
                              before.width, after.x,       after.width};
  const ResizeAxis vertical{control.y,     control.height, before.y,
                            before.height, after.y,        after.height};
  const std::uint16_t h = horizontalBits(resize);
  const std::uint16_t v = verticalBits(resize);
  win::Rect out;
  out.x = placeEdge(horizontal, positional & 0xFF, sizeLocked(h));
  out.y = placeEdge(vertical, (positional >> 8) & 0xFF, sizeLocked(v));
  out.width = std::max(0, sizeExtent(horizontal, out.x, h));
  out.height = std::max(0, sizeExtent(vertical, out.y, v));
  return out;
}

// --- WindowResizer ---------------------------------------------------------------------------

void WindowResizer::init(win::Window& window, std::uint8_t appStrategy, bool lockMinimum,
                         bool lockMaximum) {
  window_ = &window;
  APPSTRATEGY = appStrategy;
  CONTROLQUEUE.clear();
  RESIZELIST.clear();
  ORIGWIN.rect = window.rect();
  ORIGWIN.MAXIMIZED = window.state() == win::WindowState::Maximized;
  ORIGWIN.ICONIZED = window.state() == win::WindowState::Minimized;
  PREVIOUSWIN = ORIGWIN.rect;
  for (int n = 1; n <= window.controlCount(); ++n) {
    ControlEntry entry;
    entry.ID = n;
    entry.TYPE = static_cast<std::int32_t>(window.kind(n));
    entry.POS = window.controlRect(n);
    CONTROLQUEUE.push_back(entry);
  }
  if (APPSTRATEGY == kParents) setParents();
  const win::Size designed{ORIGWIN.rect.width, ORIGWIN.rect.height};
  if (lockMinimum) window.setMinimumSize(designed);
  if (lockMaximum) window.setMaximumSize(designed);
  DEFERMOVES = true;
}

void WindowResizer::setParents() {
  if (window_ == nullptr) return;
  for (ControlEntry& entry : CONTROLQUEUE) {
    const int parent = window_->control(entry.ID).parent;
    if (parent == entry.ID || !window_->hasControl(parent)) continue;
    entry.PARENTID = parent;
  }
  for (ControlEntry& entry : CONTROLQUEUE) {
    entry.HASCHILDREN = std::any_of(CONTROLQUEUE.begin(), CONTROLQUEUE.end(),
                                    [&](const ControlEntry& e) { return e.PARENTID == entry.ID; });
  }
}

void WindowResizer::setStrategy(int control, std::uint16_t positional, std::uint16_t resize) {
  for (ControlEntry& entry : CONTROLQUEUE) {
    if (control != 0 && entry.ID != control) continue;
    entry.POSITIONALSTRATEGY = positional;
    entry.RESIZESTRATEGY = resize;
    entry.strategySet = true;
  }
}

const WindowResizer::ControlEntry* WindowResizer::find(int control) const {
  const auto it = std::find_if(CONTROLQUEUE.begin(), CONTROLQUEUE.end(),
                               [&](const ControlEntry& e) { return e.ID == control; });
  return it == CONTROLQUEUE.end() ? nullptr : &*it;
}

std::pair<std::uint16_t, std::uint16_t> WindowResizer::strategiesOf(
    const ControlEntry& entry) const {
  if (entry.strategySet) return {entry.POSITIONALSTRATEGY, entry.RESIZESTRATEGY};
  if (APPSTRATEGY == kSpread) {
    return {static_cast<std::uint16_t>(rs::kNearest | (rs::kNearest << 8)),
            static_cast<std::uint16_t>(rs::kLockWidth | rs::kLockHeight)};
  }
  return {0, 0};
}

win::Rect WindowResizer::computeRect(const ControlEntry& entry, win::Size size, int depth) const {
  win::Rect before{0, 0, ORIGWIN.rect.width, ORIGWIN.rect.height};
  win::Rect after{0, 0, size.width, size.height};
  // A parent chain can be no longer than the number of controls; a longer one is a loop.
  if (const ControlEntry* parent = find(entry.PARENTID);
      parent != nullptr && depth < static_cast<int>(CONTROLQUEUE.size())) {
    before = parent->POS;
    after = computeRect(*parent, size, depth + 1);
  }
  const auto [positional, resize] = strategiesOf(entry);
  return resizedRect(entry.POS, before, after, positional, resize);
}

win::Rect WindowResizer::rectFor(int control, win::Size windowSize) const {
  const ControlEntry* entry = find(control);
  return entry == nullptr ? win::Rect{} : computeRect(*entry, windowSize, 0);
}

void WindowResizer::resize() {
  if (window_ == nullptr || !window_->isOpen()) return;
  RESIZECALLED = true;
  const win::Rect now = window_->rect();
  const win::Size size{now.width, now.height};
  RESIZELIST.clear();
  for (const ControlEntry& entry : CONTROLQUEUE) {
    const win::Rect after = computeRect(entry, size, 0);
    const win::Rect before = window_->controlRect(entry.ID);
    if (after == before) continue;
    // Containers move first, so a view never draws a child outside its moved parent.
    RESIZELIST.push_back({entry.HASCHILDREN ? 0 : 1, entry.ID, entry.TYPE, before, after});
    if (!DEFERMOVES) window_->setControlRect(entry.ID, after);
  }
  if (DEFERMOVES) {
    std::stable_sort(
        RESIZELIST.begin(), RESIZELIST.end(),
        [](const PendingMove& a, const PendingMove& b) { return a.PRIORITY < b.PRIORITY; });
    for (const PendingMove& move : RESIZELIST) window_->setControlRect(move.CONTROLID, move.AFTER);
  }
  RESIZELIST.clear();
  PREVIOUSWIN = now;
}

void WindowResizer::kill() {
  CONTROLQUEUE.clear();
  RESIZELIST.clear();
  window_ = nullptr;
}

}  // namespace marlo
