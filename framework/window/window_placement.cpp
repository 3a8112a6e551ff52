#include "framework/window/window_placement.h"

#include "platform/window/window.h"

namespace marlo {

bool EngineWindowPlacement::minimized() const {
  return window_.state() == win::WindowState::Minimized;
}

bool EngineWindowPlacement::maximized() const {
  return window_.state() == win::WindowState::Maximized;
}

bool EngineWindowPlacement::resizable() const {
  return window_.props().resizable;
}

// The engine keeps the normal rectangle while a window is maximised, which is the one the
// settings keep.
WindowPlacement::Geometry EngineWindowPlacement::geometry() const {
  const win::Rect r = window_.rect();
  return {r.x, r.y, r.width, r.height};
}

void EngineWindowPlacement::setGeometry(const Geometry& g) {
  window_.setCentred(false);
  window_.setRect({g.x, g.y, g.width, g.height});
}

void EngineWindowPlacement::setMaximized(bool maximized) {
  const win::WindowState wanted =
      maximized ? win::WindowState::Maximized : win::WindowState::Normal;
  if (window_.state() != wanted) window_.setState(wanted);
}

}  // namespace marlo
