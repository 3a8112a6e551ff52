// A window of the engine as the settings manager sees it, so that a window procedure can
// restore and save its place: `globalIni.fetchWindow("Pis_cd", placement)` after the window
// opens, `globalIni.updateWindow("Pis_cd", placement)` before it closes.
#pragma once

#include "framework/ini_manager.h"

namespace marlo {

namespace win {
class Window;
}

class EngineWindowPlacement : public WindowPlacement {
 public:
  explicit EngineWindowPlacement(win::Window& window) : window_(window) {}

  [[nodiscard]] bool minimized() const override;
  [[nodiscard]] bool maximized() const override;
  [[nodiscard]] bool resizable() const override;
  [[nodiscard]] Geometry geometry() const override;
  void setGeometry(const Geometry& geometry) override;
  void setMaximized(bool maximized) override;

 private:
  win::Window& window_;
};

}  // namespace marlo
