#include "platform/headless/test_driver.h"

#include "platform/core/clock.h"

namespace marlo::headless {

TestDriver::TestDriver(Engine& engine, HeadlessView& view) : engine_(engine), view_(view) {
  engine_.setManualClock({toDayNumber({2024, 1, 1}), toStandardTime({10, 0, 0, 0})});
}

ThreadId TestDriver::start(std::function<void()> procedure, std::size_t stackHint) {
  const ThreadId id = engine_.start(std::move(procedure), stackHint);
  settle();
  return id;
}

bool TestDriver::settle() {
  return engine_.waitAllIdle();
}

bool TestDriver::waitEnded() {
  return engine_.waitAllEnded();
}

WindowHandle TestDriver::window(std::string_view title) const {
  const auto all = view_.windowsTitled(title);
  return all.empty() ? 0 : all.back();
}

WindowHandle TestDriver::waitForWindow(std::string_view title) {
  WindowHandle found = 0;
  view_.waitFor([&] { return (found = window(title)) != 0; }, guardSeconds_);
  if (found != 0) settle();
  return found;
}

WindowHandle TestDriver::windowOf(std::string_view procedure) const {
  WindowHandle found = 0;
  for (const auto& w : engine_.openWindows()) {
    const auto s = view_.screen(w.handle);
    if (s && s->props.procedure == procedure) found = w.handle;
  }
  return found;
}

WindowHandle TestDriver::waitForProcedure(std::string_view procedure) {
  WindowHandle found = 0;
  view_.waitFor([&] { return (found = windowOf(procedure)) != 0; }, guardSeconds_);
  if (found != 0) settle();
  return found;
}

bool TestDriver::waitForClose(WindowHandle window) {
  const bool closed =
      view_.waitFor([&] { return !view_.screen(window).has_value(); }, guardSeconds_);
  settle();
  return closed;
}

bool TestDriver::isOpen(WindowHandle window) const {
  return view_.screen(window).has_value();
}

HeadlessView::Screen TestDriver::screen(WindowHandle window) const {
  return view_.screen(window).value_or(HeadlessView::Screen{});
}

ControlState TestDriver::control(WindowHandle window, int control) const {
  const auto s = view_.screen(window);
  if (!s) return {};
  const auto it = s->controls.find(control);
  return it == s->controls.end() ? ControlState{} : it->second;
}

std::string TestDriver::value(WindowHandle window, int c) const {
  return control(window, c).value;
}
std::string TestDriver::text(WindowHandle window, int c) const {
  return control(window, c).text;
}

std::string TestDriver::statusText(WindowHandle window, int zone) const {
  const auto s = view_.screen(window);
  if (!s || zone < 1 || static_cast<std::size_t>(zone) > s->props.statusTexts.size()) return {};
  return s->props.statusTexts[static_cast<std::size_t>(zone - 1)];
}

std::vector<std::vector<std::string>> TestDriver::rows(WindowHandle window, int c) const {
  return control(window, c).rows;
}

int TestDriver::selection(WindowHandle window, int c) const {
  return control(window, c).selection;
}

bool TestDriver::reachable(WindowHandle window, int c) const {
  const auto s = view_.screen(window);
  if (!s || !s->props.enabled || !s->props.visible) return false;
  if (c == 0) return true;
  const auto it = s->controls.find(c);
  if (it == s->controls.end()) return false;
  // A control inside a hidden or disabled parent is out of reach as well.
  for (const ControlState* x = &it->second; x != nullptr;) {
    if (!x->visible() || !x->enabled()) return false;
    const auto p = s->controls.find(x->parent);
    x = x->parent != 0 && p != s->controls.end() && p->first != x->number ? &p->second : nullptr;
  }
  return true;
}

bool TestDriver::send(WindowHandle window, Input input) {
  if (!engine_.sendInput(window, std::move(input))) return false;
  return settle();
}

bool TestDriver::type(WindowHandle window, int c, std::string text) {
  if (!reachable(window, c)) return false;
  const auto s = control(window, c);
  if (!s.takesInput() || s.has(flag::ReadOnly)) return false;
  return send(window, Input::enter(c, std::move(text)));
}

bool TestDriver::typeOnly(WindowHandle window, int c, std::string text) {
  if (!reachable(window, c)) return false;
  const auto s = control(window, c);
  if (!s.takesInput() || s.has(flag::ReadOnly)) return false;
  return send(window, Input::edit(c, std::move(text)));
}

bool TestDriver::press(WindowHandle window, int c) {
  if (!reachable(window, c)) return false;
  return send(window, Input::press(c));
}

bool TestDriver::pickRow(WindowHandle window, int c, int row) {
  if (!reachable(window, c) || row < 1 || row > static_cast<int>(rows(window, c).size()))
    return false;
  return send(window, Input::selectRow(c, row));
}

bool TestDriver::doubleClickRow(WindowHandle window, int c, int row) {
  if (!reachable(window, c) || row < 1 || row > static_cast<int>(rows(window, c).size()))
    return false;
  return send(window, Input::activateRow(c, row));
}

bool TestDriver::rightClickRow(WindowHandle window, int c, int row) {
  if (!reachable(window, c) || row < 0 || row > static_cast<int>(rows(window, c).size()))
    return false;
  return send(window, Input::rightClickRow(c, row));
}

bool TestDriver::pressKey(WindowHandle window, int c, KeyCode key) {
  if (!reachable(window, c)) return false;
  return send(window, Input::keyPress(c, key));
}

bool TestDriver::scroll(WindowHandle window, int c, EventCode code, int thumb) {
  if (!reachable(window, c)) return false;
  return send(window, Input::scrollBar(c, code, thumb));
}

bool TestDriver::focus(WindowHandle window, int c) {
  if (!reachable(window, c)) return false;
  return send(window, Input::focus(c));
}

bool TestDriver::minimize(WindowHandle window) {
  if (!isOpen(window)) return false;
  return send(window, Input::windowState(WindowState::Minimized));
}

bool TestDriver::maximize(WindowHandle window) {
  if (!isOpen(window)) return false;
  return send(window, Input::windowState(WindowState::Maximized));
}

bool TestDriver::restore(WindowHandle window) {
  if (!isOpen(window)) return false;
  return send(window, Input::windowState(WindowState::Normal));
}

bool TestDriver::resize(WindowHandle window, Rect rect) {
  if (!isOpen(window)) return false;
  return send(window, Input::geometry(rect));
}

bool TestDriver::closeBox(WindowHandle window) {
  if (!reachable(window, 0)) return false;
  return send(window, Input::close());
}

bool TestDriver::clickTray(WindowHandle window, TrayAction action) {
  for (const auto& icon : view_.trayIcons()) {
    if (icon.window != window) continue;
    if (!engine_.trayAction(window, icon.id, action)) return false;
    return settle();
  }
  return false;
}

bool TestDriver::editText(WindowHandle window, int c, const DocumentEdit& edit) {
  if (!reachable(window, c) || control(window, c).has(flag::ReadOnly)) return false;
  if (!engine_.editDocument(window, c, edit)) return false;
  return settle();
}

void TestDriver::answerNextMessage(unsigned button) {
  DialogAnswer a;
  a.button = button;
  view_.script(DialogRequest::Kind::Message, a);
}

void TestDriver::answerNextOpenFile(std::string path) {
  DialogAnswer a;
  a.path = std::move(path);
  view_.script(DialogRequest::Kind::OpenFile, a);
}

void TestDriver::answerNextSaveFile(std::string path) {
  DialogAnswer a;
  a.path = std::move(path);
  view_.script(DialogRequest::Kind::SaveFile, a);
}

void TestDriver::answerNextFolder(std::string path) {
  DialogAnswer a;
  a.path = std::move(path);
  view_.script(DialogRequest::Kind::Folder, a);
}

void TestDriver::answerNextPopup(int item) {
  DialogAnswer a;
  a.item = item;
  view_.script(DialogRequest::Kind::Popup, a);
}

void TestDriver::answerNextColour(Colour colour) {
  DialogAnswer a;
  a.button = colour == kNoColour ? button::Cancel : button::Ok;
  a.colour = colour;
  view_.script(DialogRequest::Kind::PickColour, a);
}

void TestDriver::answerNextPrint(std::string pdf, std::string printer) {
  DialogAnswer a;
  a.button = pdf.empty() && printer.empty() ? button::Cancel : button::Ok;
  a.path = std::move(pdf);
  a.printer = std::move(printer);
  view_.script(DialogRequest::Kind::Print, a);
}

std::optional<DialogRequest> TestDriver::waitForDialog() {
  view_.waitFor([&] { return view_.waitingDialog().has_value(); }, guardSeconds_);
  return view_.waitingDialog();
}

bool TestDriver::answer(DialogAnswer a) {
  if (!view_.answerWaiting(std::move(a))) return false;
  return settle();
}

bool TestDriver::answerMessage(unsigned button) {
  DialogAnswer a;
  a.button = button;
  return answer(a);
}

bool TestDriver::advanceClock(std::int64_t hundredths) {
  engine_.advanceClock(hundredths);
  return settle();
}

}  // namespace marlo::headless
