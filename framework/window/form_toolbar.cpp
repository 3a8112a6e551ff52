#include "framework/window/form_toolbar.h"

#include <algorithm>

#include "framework/window/window_component.h"
#include "framework/window/window_controller.h"
#include "platform/window/engine.h"
#include "platform/window/window.h"

namespace marlo {

namespace tb = toolbar;

namespace {

bool isNavigation(int button) {
  return button == tb::kInsert || (button >= tb::kBottom && button <= tb::kUp);
}

void pressControl(WindowController& window, int control) {
  if (control != 0 && window.window() != nullptr)
    window.window()->post(win::event::Accepted, control);
}

}  // namespace

// --- FormToolbarTarget ---------------------------------------------------------------------

SeverityLevel FormToolbarTarget::takeToolbar(int button, std::atomic<std::int32_t>* navigation,
                                             WindowController& window) {
  const bool editing = REQUEST == RequestInsert || REQUEST == RequestChange;
  if (editing && isNavigation(button)) {
    // The form saves first; the list that started it then moves as asked and reopens it.
    if (navigation != nullptr) *navigation = button;
    window.postCompleted();
    return SevNotify;
  }
  switch (button) {
    case tb::kInsert:
      pressControl(window, INSERTBUTTON);
      return SevNotify;
    case tb::kChange:
      pressControl(window, CHANGEBUTTON);
      return SevNotify;
    case tb::kDelete:
      pressControl(window, DELETEBUTTON);
      return SevNotify;
    case tb::kHelp:
      if (window.window() != nullptr && win::Engine::exists()) {
        win::Engine::instance().sendInput(
            window.window()->handle(),
            win::Input::keyPress(window.window()->focused(), win::key::F1));
      }
      return SevNotify;
    default:
      return SevBenign;
  }
}

void FormToolbarTarget::displayButtons(FormToolbar& bar, const win::Window* window) {
  const bool insert = REQUEST == RequestInsert;
  const bool change = REQUEST == RequestChange;
  for (int b = tb::kFirst; b <= tb::kLocate + 1; ++b) bar.setButton(b, false);
  if (!insert && !change) return;
  if (insert) {
    bar.setButton(tb::kInsert, true);
    bar.setButton(tb::kDown, true);
  } else {
    bar.setButton(tb::kInsert, true);
    for (int b = tb::kBottom; b <= tb::kUp; ++b) bar.setButton(b, true);
  }
  for (const ToolbarTip& tip : unpackTips(insert ? insertFormTips() : changeFormTips())) {
    bar.setButton(tip.control, bar.button(tip.control).enabled, tip.text);
  }
  const bool helpUsable = HELPBUTTON != 0 && window != nullptr && window->hasControl(HELPBUTTON) &&
                          window->control(HELPBUTTON).enabled();
  bar.setButton(tb::kHelp, helpUsable, bar.button(tb::kHelp).tip);
  bar.setButton(tb::kHistory, HISTORY, bar.button(tb::kHistory).tip);
}

// --- FormToolbar ---------------------------------------------------------------------------

void FormToolbar::init(win::Window* window) {
  window_ = window;
  targets_.clear();
  current_ = nullptr;
  buttons_.fill({});
}

void FormToolbar::kill() {
  targets_.clear();
  current_ = nullptr;
}

void FormToolbar::addTarget(FormToolbarTarget& target, int control) {
  target.CONTROL = control;
  targets_.emplace_back(control, &target);
}

void FormToolbar::setTarget(int control) {
  const auto it = std::find_if(targets_.begin(), targets_.end(),
                               [&](const auto& t) { return t.first == control; });
  if (it == targets_.end()) return;
  current_ = it->second;
  displayButtons();
}

SeverityLevel FormToolbar::takeEvent(std::atomic<std::int32_t>* navigation,
                                     WindowController& window) {
  const win::Window* w = window.window();
  if (current_ == nullptr || w == nullptr) return SevBenign;
  if (w->eventCode() != win::event::Accepted || !isToolbarButton(w->eventControl()))
    return SevBenign;
  if (!button(w->eventControl()).enabled) return SevNotify;
  const SeverityLevel result = current_->takeToolbar(w->eventControl(), navigation, window);
  displayButtons();
  return result;
}

void FormToolbar::setButton(int control, bool enabled, std::string tip) {
  if (!isToolbarButton(control)) return;
  ButtonState& state = buttons_[static_cast<std::size_t>(control - tb::kFirst)];
  state.enabled = enabled;
  if (!tip.empty()) state.tip = std::move(tip);
}

const FormToolbar::ButtonState& FormToolbar::button(int control) const {
  static const ButtonState none;
  return isToolbarButton(control) ? buttons_[static_cast<std::size_t>(control - tb::kFirst)] : none;
}

void FormToolbar::displayButtons() {
  if (current_ != nullptr) current_->displayButtons(*this, window_);
  for (int b = tb::kFirst; b <= tb::kLast; ++b) showButton(b);
}

void FormToolbar::showButton(int control) {
  if (window_ == nullptr || !window_->isOpen() || !window_->hasControl(control)) return;
  window_->setFlag(control, win::flag::Disabled, !button(control).enabled);
}

}  // namespace marlo
