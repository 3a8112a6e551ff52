#include "platform/window/window.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/core/number.h"
#include "platform/core/picture.h"

namespace marlo::win {

namespace {

std::optional<Picture> pictureOf(const ControlState& c) {
  if (c.picture.empty()) return std::nullopt;
  return Picture::parse(c.picture);
}

std::string formatValue(const std::string& picture, const std::string& raw) {
  if (picture.empty()) return raw;
  const auto p = Picture::parse(picture);
  return p ? p->format(raw) : raw;
}

bool isScroll(EventCode code) {
  return code >= event::ScrollUp && code <= event::ScrollDrag;
}

// The scroll event a key gives in a list; 0 for keys that do not scroll.
EventCode listScrollOf(KeyCode key) {
  switch (key) {
    case key::Up:
      return event::ScrollUp;
    case key::Down:
      return event::ScrollDown;
    case key::PageUp:
      return event::PageUp;
    case key::PageDown:
      return event::PageDown;
    case key::CtrlHome:
      return event::ScrollTop;
    case key::CtrlEnd:
      return event::ScrollBottom;
    default:
      return 0;
  }
}

}  // namespace

Window::Window(std::string title, Rect rect) {
  props_.title = std::move(title);
  props_.rect = rect;
}

Window::~Window() {
  close();
}

// --- The window ---------------------------------------------------------------------------

// Only a popup asked of a window that is not open finds no engine of its own.
Engine& Window::engine() const {
  return engine_ != nullptr ? *engine_ : Engine::instance();
}

void Window::notifyWindow() {
  if (!open_) return;
  engine_->windowPropsChanged(props_);
  engine_->view().windowChanged(props_);
}

void Window::setTitle(std::string title) {
  props_.title = std::move(title);
  notifyWindow();
}

void Window::setProcedure(std::string name) {
  props_.procedure = std::move(name);
  notifyWindow();
}

void Window::setIcon(std::string icon) {
  props_.icon = std::move(icon);
  notifyWindow();
}

void Window::setFont(Font font) {
  props_.font = std::move(font);
  notifyWindow();
}

void Window::setFillColour(Colour colour) {
  props_.fillColour = colour;
  notifyWindow();
}

void Window::setCentred(bool centred) {
  props_.centred = centred;
  notifyWindow();
}

void Window::clampToLimits(Rect& rect) const {
  if (props_.minimum.width > 0) rect.width = std::max(rect.width, props_.minimum.width);
  if (props_.minimum.height > 0) rect.height = std::max(rect.height, props_.minimum.height);
  if (props_.maximum.width > 0) rect.width = std::min(rect.width, props_.maximum.width);
  if (props_.maximum.height > 0) rect.height = std::min(rect.height, props_.maximum.height);
}

void Window::setRect(Rect rect) {
  clampToLimits(rect);
  props_.rect = rect;
  notifyWindow();
}

void Window::setResizable(bool resizable) {
  props_.resizable = resizable;
  notifyWindow();
}

void Window::setMinimumSize(Size size) {
  props_.minimum = size;
  setRect(props_.rect);
}

void Window::setMaximumSize(Size size) {
  props_.maximum = size;
  setRect(props_.rect);
}

void Window::setStateInternal(WindowState state, bool postEvent) {
  if (props_.state == state) return;
  props_.state = state;
  notifyWindow();
  if (!postEvent) return;
  const EventCode code = state == WindowState::Minimized   ? event::Iconized
                         : state == WindowState::Maximized ? event::Maximized
                                                           : event::Restored;
  deliverLater(code, 0);
}

void Window::setState(WindowState state) {
  if (props_.state == state) return;
  props_.state = state;
  notifyWindow();
  const EventCode code = state == WindowState::Minimized   ? event::Iconized
                         : state == WindowState::Maximized ? event::Maximized
                                                           : event::Restored;
  post(code);
}

void Window::setVisible(bool visible) {
  if (props_.visible == visible) return;
  props_.visible = visible;
  notifyWindow();
}

void Window::setCursor(Cursor cursor) {
  if (props_.cursor == cursor) return;
  props_.cursor = cursor;
  notifyWindow();
}

void Window::setStatusBar(std::vector<int> widths) {
  props_.statusTexts.resize(widths.size());
  props_.statusWidths = std::move(widths);
  notifyWindow();
}

void Window::setStatusText(int zone, std::string text) {
  if (zone < 1) return;
  const auto index = static_cast<std::size_t>(zone - 1);
  // A zone the layout did not declare still keeps its text, as a bar grows with its zones.
  if (index >= props_.statusTexts.size()) {
    props_.statusTexts.resize(index + 1);
    props_.statusWidths.resize(index + 1, -1);
  }
  props_.statusTexts[index] = std::move(text);
  notifyWindow();
}

std::string Window::statusText(int zone) const {
  if (zone < 1 || static_cast<std::size_t>(zone) > props_.statusTexts.size()) return {};
  return props_.statusTexts[static_cast<std::size_t>(zone - 1)];
}

void Window::setTimer(int hundredths) {
  timer_ = std::max(0, hundredths);
  if (open_) engine_->setTimer(handle(), timer_);
}

WindowProc Window::setWindowProc(WindowProc proc) {
  WindowProc old = proc_;
  proc_ = proc != nullptr ? proc : &Engine::defaultWindowProc;
  return old;
}

void Window::applyMessage(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
  proc_(handle(), msg, wParam, lParam);
}

// --- Controls -------------------------------------------------------------------------------

int Window::add(ControlKind kind, std::string text, Rect rect, std::uint32_t flags) {
  Control c;
  c.state.number = controlCount() + 1;
  c.state.kind = kind;
  c.state.text = std::move(text);
  c.state.rect = rect;
  c.state.flags = flags;
  if (flags & flag::Bold) c.state.font.bold = true;
  // Single characters assigned as such: gcc 12 warns wrongly about short literal assignments.
  if (kind == ControlKind::CheckBox) c.state.value.assign(1, '0');
  if (kind == ControlKind::OptionGroup) c.state.value.assign(1, '1');
  controls_.push_back(std::move(c));
  if (open_) notify(controlCount());
  return controlCount();
}

void Window::addAs(int number, ControlKind kind, std::string text, Rect rect, std::uint32_t flags) {
  const int given = add(kind, std::move(text), rect, flags);
  if (given == number) return;
  std::fprintf(stderr, "window \"%s\": control added as number %d became number %d\n",
               props_.title.c_str(), number, given);
  std::abort();
}

// The window procedure named a control its window does not have. Left alone, the change would
// go nowhere and a read would find an empty control, hiding a mis-numbered window.
void Window::unknownControl(int control, const std::source_location& where) const {
  // "void marlo::win::Window::setText(int, std::string)" -> "setText"
  std::string_view call = where.function_name();
  call = call.substr(0, call.find('('));
  if (const auto colons = call.rfind("::"); colons != std::string_view::npos)
    call.remove_prefix(colons + 2);
  const std::string message = "window \"" + props_.title + "\" has no control " +
                              std::to_string(control) + " (" + std::string(call) + ")";
  if (unknownControlAction() == UnknownControl::Abort) {
    std::fprintf(stderr, "marlo: %s\n", message.c_str());
    std::abort();
  }
  logFault(message);
}

Window::Control& Window::at(int control, std::source_location where) {
  if (hasControl(control)) return controls_[static_cast<std::size_t>(control - 1)];
  unknownControl(control, where);
  scratch_ = Control{};  // nobody shows it: what a logged change does goes nowhere
  return scratch_;
}

const Window::Control& Window::at(int control, std::source_location where) const {
  static const Control empty;
  if (hasControl(control)) return controls_[static_cast<std::size_t>(control - 1)];
  unknownControl(control, where);
  return empty;
}

const ControlState& Window::control(int control, std::source_location where) const {
  return at(control, where).state;
}

void Window::notify(int control) {
  if (!open_ || !hasControl(control)) return;
  engine_->view().controlChanged(handle(), controls_[static_cast<std::size_t>(control - 1)].state);
}

void Window::setName(int control, std::string name) {
  at(control).state.name = std::move(name);
  notify(control);
}

void Window::setText(int control, std::string text) {
  at(control).state.text = std::move(text);
  notify(control);
}

void Window::setValue(int control, std::string value) {
  at(control).state.value = std::move(value);
  notify(control);
}

void Window::setPicture(int control, std::string picture) {
  at(control).state.picture = std::move(picture);
  notify(control);
}

void Window::setFlag(int control, std::uint32_t f, bool on, std::source_location where) {
  auto& c = at(control, where).state;
  const std::uint32_t before = c.flags;
  c.flags = on ? (c.flags | f) : (c.flags & ~f);
  if (c.flags != before) notify(control);
}

void Window::setFont(int control, Font font) {
  at(control).state.font = std::move(font);
  notify(control);
}

void Window::setTextColour(int control, Colour colour) {
  at(control).state.textColour = colour;
  notify(control);
}

void Window::setFillColour(int control, Colour colour) {
  at(control).state.fillColour = colour;
  notify(control);
}

void Window::setControlRect(int control, Rect rect) {
  at(control).state.rect = rect;
  notify(control);
}

void Window::setAlign(int control, Align align) {
  at(control).state.align = align;
  notify(control);
}

void Window::setParent(int control, int parent) {
  at(control).state.parent = parent;
  notify(control);
}

void Window::setTip(int control, std::string tip) {
  at(control).state.tip = std::move(tip);
  notify(control);
}

void Window::setDocument(int control, std::shared_ptr<QTextDocument> document) {
  at(control).state.document = std::move(document);
  notify(control);
}

void Window::bind(int control, Binding binding) {
  at(control).binding = std::move(binding);
}

void Window::alert(int control, KeyCode key) {
  auto& list = control == 0 ? props_.alerts : at(control).state.alerts;
  if (std::find(list.begin(), list.end(), key) == list.end()) list.push_back(key);
  if (control != 0) notify(control);
  if (control == 0) notifyWindow();
}

void Window::removeAlert(int control, KeyCode key) {
  auto& list = control == 0 ? props_.alerts : at(control).state.alerts;
  list.erase(std::remove(list.begin(), list.end(), key), list.end());
  if (control != 0) notify(control);
  if (control == 0) notifyWindow();
}

bool Window::isAlerted(int control, KeyCode key) const {
  const auto& list = control == 0 ? props_.alerts : at(control).state.alerts;
  return std::find(list.begin(), list.end(), key) != list.end();
}

bool Window::alerted(int control, KeyCode key) const {
  return isAlerted(0, key) || (hasControl(control) && isAlerted(control, key));
}

// --- Lists ----------------------------------------------------------------------------------

void Window::setColumns(int control, std::vector<ListColumn> columns) {
  at(control).state.columns = std::move(columns);
  refreshRows(at(control));
  notify(control);
}

void Window::setSource(int control, const ListSource* source) {
  at(control).source = source;
  refreshRows(at(control));
  notify(control);
}

int Window::rowCount(int control) const {
  return static_cast<int>(this->control(control).rows.size());
}

void Window::refreshRows(Control& c) {
  if (c.source == nullptr) return;
  auto& s = c.state;
  s.rows.clear();
  const int count = c.source->rowCount();
  const std::size_t columns = std::max<std::size_t>(1, s.columns.size());
  s.rows.reserve(static_cast<std::size_t>(std::max(0, count)));
  for (int r = 1; r <= count; ++r) {
    std::vector<std::string> row;
    row.reserve(columns);
    for (std::size_t col = 0; col < columns; ++col) {
      const std::string raw = c.source->cell(r, static_cast<int>(col));
      row.push_back(col < s.columns.size() ? formatValue(s.columns[col].picture, raw) : raw);
    }
    s.rows.push_back(std::move(row));
  }
  const int n = static_cast<int>(s.rows.size());
  s.selection = std::clamp(s.selection, 0, n);
  s.firstRow = std::clamp(s.firstRow, 1, std::max(1, n - s.visibleRows() + 1));
  if (s.selection > 0) {
    if (s.selection < s.firstRow) s.firstRow = s.selection;
    if (s.selection >= s.firstRow + s.visibleRows()) s.firstRow = s.selection - s.visibleRows() + 1;
  }
}

void Window::setSelection(int control, int row) {
  auto& s = at(control).state;
  const int n = static_cast<int>(s.rows.size());
  s.selection = std::clamp(row, 0, n);
  if (s.selection > 0) {
    if (s.selection < s.firstRow) s.firstRow = s.selection;
    if (s.selection >= s.firstRow + s.visibleRows()) s.firstRow = s.selection - s.visibleRows() + 1;
  }
  notify(control);
}

// Moves the highlight as the person did; NewSelection follows when it really moved.
void Window::moveHighlight(int control, int row) {
  auto& s = at(control).state;
  const int n = static_cast<int>(s.rows.size());
  if (n == 0) return;
  row = std::clamp(row, 1, n);
  if (row == s.selection) return;
  setSelection(control, row);
  deliverLater(event::NewSelection, control);
}

void Window::setRange(int control, int low, int high) {
  auto& s = at(control).state;
  s.rangeLow = low;
  s.rangeHigh = high;
  notify(control);
}

void Window::setProgress(int control, int value) {
  at(control).state.progress = value;
  notify(control);
}

// --- Screen values and variables --------------------------------------------------------------

void Window::display(int control) {
  if (control == 0) {
    for (int n = 1; n <= controlCount(); ++n) display(n);
    return;
  }
  Control& c = at(control);
  if (c.state.kind == ControlKind::List) {
    refreshRows(c);
  } else if (c.binding) {
    const std::string raw = c.binding.get();
    if (c.state.kind == ControlKind::CheckBox) {
      c.state.value.assign(1, toInteger(raw) != 0 ? '1' : '0');
    } else {
      c.state.value = formatValue(c.state.picture, raw);
    }
  }
  notify(control);
}

void Window::update(int control) {
  if (control == 0) {
    for (int n = 1; n <= controlCount(); ++n) update(n);
    return;
  }
  Control& c = at(control);
  if (!c.binding || !c.state.takesInput()) return;
  if (const auto p = pictureOf(c.state)) {
    if (const auto stored = p->deformat(c.state.value)) c.binding.set(*stored);
    return;
  }
  c.binding.set(c.state.value);
}

void Window::select(int control) {
  stopPass();
  if (control != 0 && !hasControl(control)) {
    unknownControl(control, std::source_location::current());
    return;  // the focus stays where it is
  }
  focus_ = control;
  if (open_) engine_->view().focusControl(handle(), control);
}

void Window::stopPass() {
  if (!acceptAll_) return;
  acceptAll_ = false;
  pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                [](const Pending& p) { return p.kind != Pending::Kind::Deliver; }),
                 pending_.end());
}

void Window::acceptAll() {
  stopPass();
  acceptAll_ = true;
  for (const auto& c : controls_) {
    Pending p;
    p.kind = Pending::Kind::Check;
    p.event.control = c.state.number;
    pending_.push_back(p);
  }
  Pending done;
  done.kind = Pending::Kind::PassDone;
  pending_.push_back(done);
}

// The person's value of an input control goes to its variable (Accepted), or the control
// refuses it (Rejected) and the variable keeps its value.
EventCode Window::checkField(int control) {
  Control& c = at(control);
  std::string stored = c.state.value;
  if (const auto p = pictureOf(c.state)) {
    const auto parsed = p->deformat(c.state.value);
    if (!parsed) return event::Rejected;
    stored = *parsed;
  }
  if (c.binding) {
    c.binding.set(stored);
    // The entry shows the value as its picture formats it, as it will after a display().
    if (!c.state.picture.empty()) {
      c.state.value = formatValue(c.state.picture, c.binding.get());
      notify(control);
    }
  }
  return event::Accepted;
}

// --- Events ---------------------------------------------------------------------------------

void Window::open() {
  if (open_ || closed_) return;
  engine_ = Engine::current();
  if (engine_ == nullptr) {
    std::fputs("marlo: a window opens only on a program thread (Engine::start)\n", stderr);
    std::abort();
  }
  Engine& engine = *engine_;
  props_.thread = Engine::currentThread();
  props_.handle = engine.registerWindow(*this);
  open_ = true;
  engine.refreshEnabled();
  post(event::OpenWindow);
  WindowSnapshot snapshot;
  snapshot.props = props_;
  snapshot.controls.reserve(controls_.size());
  for (auto& c : controls_) {
    refreshRows(c);
    snapshot.controls.push_back(c.state);
  }
  engine.view().windowOpened(snapshot);
  if (timer_ > 0) engine.setTimer(handle(), timer_);
  engine.activate(handle());
}

void Window::close() {
  if (!open_) {
    closed_ = true;
    return;
  }
  Engine& engine = *engine_;
  open_ = false;
  closed_ = true;
  acceptAll_ = false;
  pending_.clear();
  const WindowHandle h = handle();
  engine.unregisterWindow(*this);
  engine.view().windowClosed(h);
  engine.refreshEnabled();
  if (engine.activeWindow() == 0) {
    if (Window* below = engine.innermostWindow()) {
      engine.activate(below->handle());
    } else {
      const auto others = engine.openWindows();
      if (!others.empty()) engine.activate(others.back().handle);
    }
  }
}

void Window::post(EventCode code, int control) {
  if (!open_) return;
  engine_->post(handle(), code, control);
}

void Window::deliverLater(EventCode code, int control, KeyCode key, int thumb) {
  Pending p;
  p.event.code = code;
  p.event.window = handle();
  p.event.control = control;
  p.event.key = key;
  p.event.thumb = thumb;
  pending_.push_back(p);
}

const Event* Window::accept() {
  if (open_ && Engine::currentThread() != props_.thread) {
    std::fprintf(stderr, "marlo: window \"%s\" accepts events only on its own thread\n",
                 props_.title.c_str());
    std::abort();
  }
  if (haveCurrent_) {
    haveCurrent_ = false;
    if (!consumed_) finishEvent();
  }
  consumed_ = false;
  while (takeNext()) {
    if (current_.code == event::Accepted) accepted_ = current_.control;
    if (current_.code == event::AlertKey) key_ = current_.key;
    if (runHooks()) {
      haveCurrent_ = true;
      return &current_;
    }
  }
  return nullptr;
}

// Waits for the next event of this window and makes it current; false when the loop ends.
bool Window::takeNext() {
  for (;;) {
    if (!open_ || engine_->halting() || Engine::ending()) return false;
    if (!pending_.empty()) {
      const Pending p = pending_.front();
      pending_.pop_front();
      if (p.kind == Pending::Kind::Check) {
        const ControlState& s = control(p.event.control);
        if (!s.takesInput() || !s.visible() || !s.enabled() || s.has(flag::ReadOnly)) continue;
        const EventCode verdict = checkField(p.event.control);
        if (verdict == event::Rejected) stopPass();
        current_ = Event{verdict, handle(), p.event.control, 0, 0};
        return true;
      }
      if (p.kind == Pending::Kind::PassDone) {
        acceptAll_ = false;
        current_ = Event{event::Completed, handle(), 0, 0, 0};
      } else {
        current_ = p.event;
      }
      return true;
    }
    const std::optional<QueueItem> next = engine_->take(*this);
    if (!next) return false;
    const QueueItem& item = *next;
    if (item.kind == QueueItem::Kind::Input) {
      applyInput(item.input);
      continue;
    }
    if (item.kind == QueueItem::Kind::Tick) {
      engine_->timerTaken(handle());
      current_ = Event{event::Timer, handle(), 0, 0, 0};
      return true;
    }
    current_ = item.event;
    current_.window = handle();
    return true;
  }
}

int Window::registerHandler(EventCode code, std::function<bool(const Event&)> handler) {
  hooks_.push_back(Hook{nextHook_, code, std::move(handler)});
  return nextHook_++;
}

void Window::unregisterHandler(int id) {
  for (auto& h : hooks_) {
    if (h.id == id) h.handler = nullptr;  // removed after the current run of the hooks
  }
}

bool Window::runHooks() {
  // A copy of the list: a handler may register or unregister others while it runs.
  const std::vector<Hook> hooks = hooks_;
  bool keep = true;
  for (const auto& h : hooks) {
    if (!h.handler || (h.code != 0 && h.code != current_.code)) continue;
    const bool live = std::any_of(hooks_.begin(), hooks_.end(),
                                  [&](const Hook& x) { return x.id == h.id && x.handler; });
    if (live && !h.handler(current_)) {
      keep = false;
      break;
    }
  }
  hooks_.erase(
      std::remove_if(hooks_.begin(), hooks_.end(), [](const Hook& x) { return !x.handler; }),
      hooks_.end());
  return keep;
}

void Window::finishEvent() {
  const Event e = current_;
  switch (e.code) {
    case event::CloseWindow:
    case event::CloseDown:
      close();
      return;
    case event::Restore:
      setVisible(true);
      setStateInternal(WindowState::Normal, true);
      return;
    default:
      break;
  }
  if (!isScroll(e.code) || !hasControl(e.control) || kind(e.control) != ControlKind::List) return;
  const ControlState& s = control(e.control);
  const int n = static_cast<int>(s.rows.size());
  const int page = s.visibleRows();
  int row = s.selection;
  switch (e.code) {
    case event::ScrollUp:
      row -= 1;
      break;
    case event::ScrollDown:
      row += 1;
      break;
    case event::PageUp:
      row -= page;
      break;
    case event::PageDown:
      row += page;
      break;
    case event::ScrollTop:
      row = 1;
      break;
    case event::ScrollBottom:
      row = n;
      break;
    case event::ScrollDrag:
      row = 1 + (n - 1) * std::clamp(e.thumb, 0, 100) / 100;
      break;
    default:
      break;
  }
  moveHighlight(e.control, row);
}

void Window::applyInput(const Input& in) {
  // A control the person cannot reach takes no input: the view may have reported it before
  // the program hid or disabled the control.
  const bool reachable =
      hasControl(in.control) && control(in.control).visible() && control(in.control).enabled();
  switch (in.kind) {
    case Input::Kind::Enter:
      return enterText(in, reachable);
    case Input::Kind::Edit:
      return editText(in, reachable);
    case Input::Kind::Press:
      return pressControl(in, reachable);
    case Input::Kind::SelectRow:
      return pickRow(in, reachable);
    case Input::Kind::ActivateRow:
      return activateRow(in, reachable);
    case Input::Kind::RightClickRow:
      return rightClickRow(in, reachable);
    case Input::Kind::Key:
      return pressKey(in, reachable);
    case Input::Kind::Scroll:
      return scrollList(in, reachable);
    case Input::Kind::Focus:
      return focusControl(in, reachable);
    case Input::Kind::State:
      return changeState(in);
    case Input::Kind::Geometry:
      return moveOrResize(in);
    case Input::Kind::Close:
      return deliverLater(event::CloseWindow, 0);
    case Input::Kind::Show:
      return showOrHide(in);
  }
}

void Window::enterText(const Input& in, bool reachable) {
  if (!reachable) return;
  auto& s = at(in.control).state;
  if (!s.takesInput() || s.has(flag::ReadOnly)) return;
  s.value = in.text;
  notify(in.control);
  deliverLater(checkField(in.control), in.control);
}

void Window::editText(const Input& in, bool reachable) {
  if (!reachable) return;
  auto& s = at(in.control).state;
  if (!s.takesInput() || s.has(flag::ReadOnly) || s.value == in.text) return;
  s.value = in.text;
  notify(in.control);
  if (s.has(flag::Immediate)) deliverLater(event::NewSelection, in.control);
}

void Window::pressControl(const Input& in, bool reachable) {
  if (!reachable) return;
  auto& s = at(in.control).state;
  if (s.kind == ControlKind::Button) {
    deliverLater(event::Accepted, in.control);
  } else if (s.kind == ControlKind::CheckBox) {
    s.value.assign(1, s.value == "1" ? '0' : '1');
    notify(in.control);
    deliverLater(checkField(in.control), in.control);
  } else if (s.kind == ControlKind::Radio && hasControl(s.parent)) {
    // The group's value is the radio's place among the group's radios.
    int index = 0;
    for (const auto& c : controls_) {
      if (c.state.kind == ControlKind::Radio && c.state.parent == s.parent) ++index;
      if (c.state.number == in.control) break;
    }
    at(s.parent).state.value = toText(index);
    notify(s.parent);
    deliverLater(checkField(s.parent), s.parent);
  }
}

void Window::pickRow(const Input& in, bool reachable) {
  if (!reachable || kind(in.control) != ControlKind::List) return;
  mouseRow_ = in.row;
  moveHighlight(in.control, in.row);
}

void Window::activateRow(const Input& in, bool reachable) {
  if (!reachable || kind(in.control) != ControlKind::List) return;
  mouseRow_ = in.row;
  key_ = key::MouseLeft2;
  moveHighlight(in.control, in.row);
  if (alerted(in.control, key::MouseLeft2)) {
    deliverLater(event::AlertKey, in.control, key::MouseLeft2);
  } else {
    deliverLater(event::Accepted, in.control);
  }
}

void Window::rightClickRow(const Input& in, bool reachable) {
  if (!reachable) return;
  mouseRow_ = in.row;
  key_ = key::MouseRightUp;
  if (alerted(in.control, key::MouseRightUp))
    deliverLater(event::AlertKey, in.control, key::MouseRightUp);
}

// Control 0 is the window itself: a key pressed with no control focused.
void Window::pressKey(const Input& in, bool reachable) {
  if (in.control != 0 && !reachable) return;
  key_ = in.key;
  if (alerted(in.control, in.key)) {
    deliverLater(event::AlertKey, in.control, in.key);
    return;
  }
  const bool known = hasControl(in.control);
  if (known && kind(in.control) == ControlKind::List) {
    if (const EventCode scroll = listScrollOf(in.key); scroll != 0)
      deliverLater(scroll, in.control);
    return;
  }
  if (in.key != key::Enter) return;
  if (known && kind(in.control) == ControlKind::Button) {
    deliverLater(event::Accepted, in.control);
    return;
  }
  pressDefaultButton();
}

void Window::pressDefaultButton() {
  for (const auto& c : controls_) {
    if (c.state.kind == ControlKind::Button && c.state.has(flag::Default) && c.state.visible() &&
        c.state.enabled()) {
      deliverLater(event::Accepted, c.state.number);
      return;
    }
  }
}

void Window::scrollList(const Input& in, bool reachable) {
  if (!reachable || kind(in.control) != ControlKind::List) return;
  deliverLater(in.scroll, in.control, 0, in.thumb);
}

void Window::focusControl(const Input& in, bool reachable) {
  if (!reachable) return;
  focus_ = in.control;
  deliverLater(event::Selected, in.control);
}

void Window::changeState(const Input& in) {
  if (in.state == WindowState::Maximized && !props_.resizable) return;
  setStateInternal(in.state, true);
}

void Window::moveOrResize(const Input& in) {
  Rect r = in.rect;
  clampToLimits(r);
  const Rect old = props_.rect;
  if (!props_.resizable) {
    r.width = old.width;
    r.height = old.height;
  }
  if (r == old) return;
  props_.rect = r;
  notifyWindow();
  if (r.x != old.x || r.y != old.y) deliverLater(event::Moved, 0);
  if (r.width != old.width || r.height != old.height) deliverLater(event::Sized, 0);
}

void Window::showOrHide(const Input& in) {
  setVisible(in.visible);
  if (in.changeState) setStateInternal(in.state, true);
}

// --- Menus ------------------------------------------------------------------------------------

int Window::popup(std::string_view menu) {
  return popup(parseMenu(menu));
}

int Window::popup(std::vector<MenuItem> menu) {
  DialogRequest request;
  request.kind = DialogRequest::Kind::Popup;
  request.owner = handle();
  request.menu = std::move(menu);
  request.defaultButton = 0;
  return engine().runDialog(std::move(request)).item;
}

}  // namespace marlo::win
