// The error manager's history window: the kept messages in a list with the newest one
// selected, and the message's buttons, highest code first. Pressing a button ends the window
// with that button's code.
#pragma once

#include <array>

#include "framework/user_interface.h"
#include "framework/window/window_controller.h"
#include "platform/window/binding.h"
#include "platform/window/window.h"

namespace marlo {

enum class MessageWindowControl : int {
  History = 1,  // ErrorHistoryList: "Message" and "Category"
  Place1 = 2,
  Place2 = 3,
  Place3 = 4,
  Place4 = 5,
  Place5 = 6,
  Place6 = 7,
  Place7 = 8,
  Place8 = 9,
};

class MessageWindow : public WindowController {
 public:
  static constexpr int kPlaces = 8;

  explicit MessageWindow(HistoryRequest request);

  SeverityLevel init() override;
  SeverityLevel kill() override;
  SeverityLevel onAccepted() override;
  SeverityLevel onCloseRequest() override;

  // The pressed button's code (after run()).
  [[nodiscard]] unsigned result() const { return result_; }

 private:
  void layOut();
  void placeButtons();

  HistoryRequest request_;
  unsigned result_ = 0;
  std::array<unsigned, kPlaces> places_{};  // the button code shown in each place; 0 = hidden
  win::RowQueue rows_;
  win::Window window_{"Error", {0, 0, 280, 150}};
};

// Shows the history window on the calling program thread and returns the pressed button.
unsigned showMessageWindow(const HistoryRequest& request);

}  // namespace marlo
