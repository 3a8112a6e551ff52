#include "framework/window/message_window.h"

#include <algorithm>

#include "platform/window/engine.h"

namespace marlo {

namespace {

using Control = MessageWindowControl;
using win::n;

struct ButtonLabel {
  unsigned code;
  const char* text;
};

// From the highest bit down: the order in which present buttons take the places.
constexpr std::array<ButtonLabel, 8> kLabels = {{
    {button::Help, "&Help"},
    {button::Cancel, "&Cancel"},
    {button::Ignore, "&Ignore"},
    {button::Retry, "&Retry"},
    {button::Abort, "&Abort"},
    {button::No, "&No"},
    {button::Yes, "&Yes"},
    {button::Ok, "O&k"},
}};

constexpr int kButtonWidth = 32;
constexpr int kButtonGap = 2;

std::string oneLine(std::string text) {
  std::replace(text.begin(), text.end(), '|', ' ');
  return text;
}

}  // namespace

MessageWindow::MessageWindow(HistoryRequest request) : request_(std::move(request)) {}

SeverityLevel MessageWindow::init() {
  if (const SeverityLevel r = WindowController::init(); r != SevBenign) return r;
  layOut();
  openWindow(window_);
  OPENED = true;
  setAlerts();
  return SevBenign;
}

void MessageWindow::layOut() {
  if (!request_.caption.empty()) window_.setTitle(request_.caption);
  window_.setIcon(request_.icon == MessageIcon::Exclamation ? "IDI_EXCLAMATION" : "IDI_ASTERISK");
  window_.setCentred(true);
  window_.add(Control::History, win::ControlKind::List, "", {4, 4, 272, 118}, win::flag::VScroll);
  const int list = n(Control::History);
  window_.setName(list, "?ErrorHistoryList");
  win::ListColumn message;
  message.header = "Message";
  message.width = 217;
  win::ListColumn category;
  category.header = "Category";
  category.width = 42;
  window_.setColumns(list, {message, category});
  for (const HistoryEntry& entry : request_.history)
    rows_.add({oneLine(entry.TXT), entry.CATEGORY});
  window_.setSource(list, &rows_);
  window_.setSelection(list, rows_.rowCount());
  // The button places, Place1 to Place8 from the left, all hidden until placeButtons.
  for (int place = 0; place < kPlaces; ++place) {
    const int x = 4 + place * (kButtonWidth + kButtonGap);
    window_.add(static_cast<Control>(n(Control::Place1) + place), win::ControlKind::Button, "",
                {x, 128, kButtonWidth, 14}, win::flag::Hidden);
  }
  placeButtons();
}

void MessageWindow::placeButtons() {
  int place = 0;
  for (const ButtonLabel& label : kLabels) {
    if ((request_.buttons & label.code) == 0) continue;
    const int control = n(Control::Place1) + place;
    places_[static_cast<std::size_t>(place)] = label.code;
    window_.setText(control, label.text);
    window_.show(control);
    if (label.code == request_.defaultButton) {
      window_.setFlag(control, win::flag::Default, true);
      FIRSTFIELD = control;
    }
    ++place;
  }
  if (FIRSTFIELD == 0 && place > 0) FIRSTFIELD = n(Control::Place1);
}

SeverityLevel MessageWindow::onAccepted() {
  const int control = window_.acceptedControl();
  const int place = control - n(Control::Place1);
  if (place >= 0 && place < kPlaces && places_[static_cast<std::size_t>(place)] != 0) {
    result_ = places_[static_cast<std::size_t>(place)];
    setResponse(ResponseCompleted);
    return SevNotify;
  }
  return WindowController::onAccepted();
}

SeverityLevel MessageWindow::onCloseRequest() {
  // The close box answers as Cancel would, or with the default button when there is none.
  if (result_ == 0) {
    result_ = (request_.buttons & button::Cancel) != 0 ? button::Cancel : request_.defaultButton;
  }
  return WindowController::onCloseRequest();
}

SeverityLevel MessageWindow::kill() {
  return WindowController::kill();
}

unsigned showMessageWindow(const HistoryRequest& request) {
  if (!win::Engine::exists() || win::Engine::currentThread() == 0) return request.defaultButton;
  MessageWindow window(request);
  window.run();
  // Ended without an answer (the program halts): the question changes nothing.
  return window.result() != 0 ? window.result()
                              : button::refusal(request.buttons, request.defaultButton);
}

}  // namespace marlo
