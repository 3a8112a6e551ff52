#include "platform/activex/ole_control.h"

#include <cstdio>

#include "platform/dialogs/dialogs.h"
#include "platform/window/engine.h"
#include "platform/window/window.h"

namespace marlo::activex {

// --- PendingEvents ------------------------------------------------------------------------------

void PendingEvents::append(PendingEvent entry) {
  std::lock_guard lock(mutex_);
  entries_.push_back(std::move(entry));
}

std::optional<PendingEvent> PendingEvents::takeLast(
    const std::function<bool(std::int32_t)>& accept) {
  std::lock_guard lock(mutex_);
  if (entries_.empty() || !accept(entries_.back().number)) return std::nullopt;
  PendingEvent entry = std::move(entries_.back());
  entries_.pop_back();
  return entry;
}

std::size_t PendingEvents::size() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

void PendingEvents::clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

// --- OleControl ----------------------------------------------------------------------------------

OleControl::~OleControl() {
  if (DEAD == 0) OleControl::kill();
}

bool OleControl::init(win::Window& window, std::int32_t control, std::string_view classId) {
  DEAD = 0;
  OLECONTROLCREATED = 0;
  OLEWINDOW = &window;
  OLECONTROL = control;
  handle_ = window.handle();
  EVENTS = std::make_unique<PendingEvents>();
  Host& host = Host::instance();
  if (!host.hasObject(handle_, control)) {
    if (!createObject(classId)) return false;
    OLETYPECREATED = 1;
  }
  host.setReportErrors(handle_, control, true);
  host.recordWrapper(handle_, control, this);
  afterInit();
  host.connect(handle_, control,
               [this](const EventParameters& parameters) { onControlEvent(parameters); });
  return true;
}

bool OleControl::createObject(std::string_view classId) {
  Host& host = Host::instance();
  std::shared_ptr<Control> object = host.createObject(classId);
  const std::string fileName(OLECONTROLFILENAME.clipped());
  if (!object && !fileName.empty()) {
    if (const int error = host.registerServer(fileName); error != 0) {
      failCreation("Can not Register OLE Control " + fileName + " Error: " + std::to_string(error));
      return false;
    }
    object = host.createObject(classId);
  }
  if (!object) {
    failCreation("Can not Find OLE Control " + fileName + "!");
    return false;
  }
  host.attach(handle_, OLECONTROL, std::move(object));
  return true;
}

// Without its control the program cannot go on: the person is told, and every window is asked
// to close, which ends the program the ordinary way (settings saved, files closed).
void OleControl::failCreation(const std::string& text) {
  if (!win::Engine::exists()) {
    std::fprintf(stderr, "Fatal OLE Error: %s\n", text.c_str());
    return;
  }
  dialogs::messageBox(text, "Fatal OLE Error", MessageIcon::Hand);
  win::Engine& engine = win::Engine::instance();
  for (const win::WindowInfo& info : engine.openWindows()) {
    engine.post(info.handle, win::event::CloseDown);
  }
}

void OleControl::kill() {
  if (DEAD != 0) return;
  Host& host = Host::instance();
  if (handle_ != 0) host.disconnect(handle_, OLECONTROL);
  const std::string_view dispatch = OLEDISPATCH.view();
  if (AUTORELEASE == 1 && !dispatch.empty() && dispatch.front() == '`') {
    std::string_view reference = dispatch;
    if (const auto dot = reference.find('.'); dot != std::string_view::npos) {
      reference = reference.substr(0, dot);
    }
    host.release(reference);
  }
  if (handle_ != 0) {
    host.forgetWrapper(handle_, OLECONTROL, this);
    host.detach(handle_, OLECONTROL);
  }
  EVENTS.reset();
  DEAD = 1;
}

std::int32_t OleControl::onControlEvent(const EventParameters&) {
  return 0;
}

std::int32_t OleControl::handleEvent() {
  return 0;
}

Value OleControl::get(std::string_view member) {
  return Host::instance().get(handle_, OLECONTROL, member);
}

bool OleControl::put(std::string_view member, Value value) {
  return Host::instance().put(handle_, OLECONTROL, member, std::move(value));
}

bool OleControl::execute(std::string_view member) {
  return Host::instance().execute(handle_, OLECONTROL, member);
}

std::string OleControl::lastEventName() const {
  return Host::instance().lastEventName(handle_, OLECONTROL);
}

bool OleControl::postToControl(win::EventCode code) const {
  return Host::postEvent(handle_, OLECONTROL, code);
}

}  // namespace marlo::activex
