// The common toolbar (control numbers 3000 to 3019): it routes its buttons to the list or form
// that is active and shows which of them make sense there. The program's own windows carry no
// toolbar buttons, so the toolbar mostly keeps its state; a window that has the buttons gets
// them enabled, disabled and tipped.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/severity.h"
#include "framework/window/toolbar_tables.h"

namespace marlo {

namespace win {
class Window;
}
class FormToolbar;
class WindowController;

// The toolbar's view of one form: which of the form's own buttons the toolbar presses, the
// form's original request, and whether the form has a history key.
class FormToolbarTarget {
 public:
  FormToolbarTarget() = default;
  FormToolbarTarget(const FormToolbarTarget&) = delete;
  FormToolbarTarget& operator=(const FormToolbarTarget&) = delete;
  virtual ~FormToolbarTarget() = default;

  std::int32_t CONTROL = 0;
  std::int32_t HELPBUTTON = 0;
  std::int32_t INSERTBUTTON = 0;
  std::int32_t CHANGEBUTTON = 0;
  std::int32_t DELETEBUTTON = 0;
  std::int32_t SELECTBUTTON = 0;
  std::int32_t LOCATEBUTTON = 0;
  std::uint8_t REQUEST = 0;
  bool HISTORY = false;

  virtual void init() {}
  // Handles a toolbar button pressed while this target is current.
  virtual SeverityLevel takeToolbar(int button, std::atomic<std::int32_t>* navigation,
                                    WindowController& window);
  // Sets the toolbar's buttons for this target.
  virtual void displayButtons(FormToolbar& toolbar, const win::Window* window);
};

class FormToolbar {
 public:
  struct ButtonState {
    bool enabled = false;
    std::string tip;  // UTF-8
  };

  FormToolbar() = default;
  FormToolbar(const FormToolbar&) = delete;
  FormToolbar& operator=(const FormToolbar&) = delete;

  void init(win::Window* window);
  // The window whose toolbar buttons (if it has any) show the state.
  void setWindow(win::Window* window) { window_ = window; }
  void kill();
  void addTarget(FormToolbarTarget& target, int control);
  // Makes the target registered for `control` the current one.
  void setTarget(int control);
  [[nodiscard]] FormToolbarTarget* target() const { return current_; }
  // Handles the window's current event when it is a toolbar button's Accepted.
  SeverityLevel takeEvent(std::atomic<std::int32_t>* navigation, WindowController& window);
  // Shows the current target's buttons (every one of 3000..3019 after each change of state).
  void displayButtons();

  void setButton(int control, bool enabled, std::string tip = {});
  [[nodiscard]] const ButtonState& button(int control) const;
  [[nodiscard]] static bool isToolbarButton(int control) {
    return control >= toolbar::kFirst && control <= toolbar::kLast;
  }

 private:
  void showButton(int control);

  win::Window* window_ = nullptr;
  std::vector<std::pair<int, FormToolbarTarget*>> targets_;
  FormToolbarTarget* current_ = nullptr;
  std::array<ButtonState, toolbar::kCount> buttons_{};
};

}  // namespace marlo
