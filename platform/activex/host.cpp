#include "platform/activex/host.h"

#include <dlfcn.h>
#include <unistd.h>

#include <iostream>
#include <system_error>

#include "platform/activex/global_lock.h"
#include "platform/activex/member_text.h"
#include "platform/window/engine.h"

#ifndef MARLO_LIBRARY_DIR
#define MARLO_LIBRARY_DIR "/usr/local/lib/marlo-backup"
#endif

namespace marlo::activex {
namespace {

thread_local HostError lastCallError;

std::filesystem::path programFolder() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : self.parent_path();
}

// What a module's DllRegisterServer registers its classes through.
class ModuleRegistrar final : public Registrar {
 public:
  explicit ModuleRegistrar(Host& host) : host_(host) {}
  int registerClass(const char* classId, const char* fileName, ControlFactory make) override {
    if (classId == nullptr || make == nullptr) return 87;  // an invalid parameter
    return host_.registerClass(classId, fileName == nullptr ? "" : fileName, make);
  }

 private:
  Host& host_;
};

}  // namespace

Value EventParameters::at(int position) const {
  if (position == 0) return Value(name_);
  if (position < 1 || position > count()) return {};
  return parameters_[static_cast<std::size_t>(position - 1)];
}

// The sink a slot's object fires into: hands each event to the connected callback, one at a
// time, and lets a disconnect wait for the one in flight.
class Host::Sink final : public EventSink {
 public:
  void fire(std::string_view name, std::vector<Value> parameters) override {
    std::string clipped(name);
    while (!clipped.empty() && clipped.back() == ' ') clipped.pop_back();
    {
      std::lock_guard lock(nameMutex_);
      lastName_ = clipped;
    }
    std::lock_guard lock(callMutex_);
    if (!callback_) return;
    callback_(EventParameters(std::move(clipped), std::move(parameters)));
  }
  void setCallback(EventCallback callback) {
    std::lock_guard lock(callMutex_);
    callback_ = std::move(callback);
  }
  [[nodiscard]] std::string lastName() const {
    std::lock_guard lock(nameMutex_);
    return lastName_;
  }

 private:
  mutable std::mutex nameMutex_;
  std::string lastName_;
  std::mutex callMutex_;
  EventCallback callback_;
};

Host::Host() : folders_{programFolder(), MARLO_LIBRARY_DIR} {}

Host::~Host() {
  std::map<SlotKey, Slot> slots;
  {
    std::lock_guard lock(mutex_);
    slots.swap(slots_);
  }
  for (auto& [key, slot] : slots) {
    if (slot.sink) slot.sink->setCallback(nullptr);
    if (slot.object) slot.object->advise(nullptr);
  }
}

Host& Host::instance() {
  static Host host;
  return host;
}

// --- Classes and modules ---------------------------------------------------------------------

int Host::registerClass(std::string_view classId, std::string_view fileName, ControlFactory make) {
  if (classId.empty() || make == nullptr) return 87;
  std::lock_guard lock(mutex_);
  classes_[std::string(classId)] = ClassEntry{std::string(fileName), make};
  return 0;
}

void Host::unregisterClass(std::string_view classId) {
  std::lock_guard lock(mutex_);
  if (const auto it = classes_.find(classId); it != classes_.end()) classes_.erase(it);
}

bool Host::isRegistered(std::string_view classId) const {
  std::lock_guard lock(mutex_);
  return classes_.find(classId) != classes_.end();
}

std::shared_ptr<Control> Host::createObject(std::string_view classId) const {
  ControlFactory make = nullptr;
  {
    std::lock_guard lock(mutex_);
    const auto it = classes_.find(classId);
    if (it == classes_.end()) return nullptr;
    make = it->second.make;
  }
  GlobalLock::Released released;
  return make();
}

void Host::setModuleFolders(std::vector<std::filesystem::path> folders) {
  std::lock_guard lock(mutex_);
  folders_ = std::move(folders);
}

std::vector<std::filesystem::path> Host::moduleFolders() const {
  std::lock_guard lock(mutex_);
  return folders_;
}

std::optional<std::filesystem::path> Host::findModule(std::string_view fileName) const {
  if (fileName.empty()) return std::nullopt;
  const std::filesystem::path name(fileName);
  // Only a plain file name is looked for, so a setting can never make us load a module from an
  // arbitrary place.
  if (name.has_parent_path()) return std::nullopt;
  for (const auto& folder : moduleFolders()) {
    if (folder.empty()) continue;
    std::error_code ec;
    const std::filesystem::path candidate = folder / name;
    if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
  }
  return std::nullopt;
}

int Host::registerServer(std::string_view fileName) {
  const std::optional<std::filesystem::path> path = findModule(fileName);
  if (!path) return ModuleNotFound;
  void* module = ::dlopen(path->c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    report(std::string("cannot load ") + path->string() + ": " + ::dlerror());
    return BadModule;
  }
  auto* entry = reinterpret_cast<RegisterServerEntry>(::dlsym(module, kRegisterServerEntry));
  if (entry == nullptr) return EntryNotFound;
  ModuleRegistrar registrar(*this);
  GlobalLock::Released released;
  return entry(&registrar);
}

// --- Control slots ----------------------------------------------------------------------------

void Host::attach(win::WindowHandle window, int control, std::shared_ptr<Control> object) {
  detach(window, control);
  auto sink = std::make_shared<Sink>();
  {
    std::lock_guard lock(mutex_);
    Slot& slot = slots_[{window, control}];
    slot.object = object;
    slot.sink = sink;
  }
  if (object) {
    GlobalLock::Released released;
    object->advise(sink);
  }
}

void Host::detach(win::WindowHandle window, int control) {
  Slot old;
  {
    std::lock_guard lock(mutex_);
    const auto it = slots_.find({window, control});
    if (it == slots_.end()) return;
    old.object = std::move(it->second.object);
    old.sink = std::move(it->second.sink);
    it->second.reportErrors = false;
    if (it->second.wrapper == nullptr) slots_.erase(it);
  }
  if (old.sink) old.sink->setCallback(nullptr);
  if (old.object) {
    GlobalLock::Released released;
    old.object->advise(nullptr);
  }
}

bool Host::hasObject(win::WindowHandle window, int control) const {
  return object(window, control) != nullptr;
}

std::shared_ptr<Control> Host::object(win::WindowHandle window, int control) const {
  std::lock_guard lock(mutex_);
  const auto it = slots_.find({window, control});
  return it == slots_.end() ? nullptr : it->second.object;
}

void Host::setReportErrors(win::WindowHandle window, int control, bool report) {
  std::lock_guard lock(mutex_);
  slots_[{window, control}].reportErrors = report;
}

void Host::setErrorReporter(std::function<void(std::string_view)> reporter) {
  std::lock_guard lock(mutex_);
  reporter_ = std::move(reporter);
}

void Host::report(std::string_view message) {
  std::function<void(std::string_view)> reporter;
  {
    std::lock_guard lock(mutex_);
    reporter = reporter_;
  }
  if (reporter) {
    reporter(message);
  } else {
    std::cerr << "control error: " << message << '\n';
  }
}

// --- Member texts ------------------------------------------------------------------------------

std::shared_ptr<Dispatch> Host::target(win::WindowHandle window, int control,
                                       const std::string& reference, bool* reportErrors) {
  std::lock_guard lock(mutex_);
  const auto slot = slots_.find({window, control});
  *reportErrors = slot != slots_.end() && slot->second.reportErrors;
  if (!reference.empty()) {
    const auto it = references_.find(reference);
    return it == references_.end() ? nullptr : it->second;
  }
  return slot == slots_.end() ? nullptr : slot->second.object;
}

CallResult Host::call(win::WindowHandle window, int control, std::string_view member, CallKind kind,
                      Value assigned) {
  ParsedMember parsed = parseMemberText(member);
  CallResult result;
  bool reportErrors = false;
  if (!parsed.member) {
    std::lock_guard lock(mutex_);
    const auto slot = slots_.find({window, control});
    reportErrors = slot != slots_.end() && slot->second.reportErrors;
    result = CallResult::failure(CallError::Syntax, parsed.error);
  } else {
    const std::shared_ptr<Dispatch> object =
        target(window, control, parsed.member->object, &reportErrors);
    if (!object) {
      result = CallResult::failure(CallError::NoObject,
                                   parsed.member->object.empty()
                                       ? "no control in slot " + std::to_string(control)
                                       : "no object is known as " + parsed.member->object);
    } else {
      std::vector<Value> args = std::move(parsed.member->args);
      if (kind == CallKind::Put) args.push_back(std::move(assigned));
      GlobalLock::Released released;
      result = object->call(parsed.member->member, kind, args);
    }
  }
  if (result.ok() && result.value.kind() == Value::Kind::Object) {
    result.value = Value(reference(result.value.object()));
  }
  lastCallError = HostError{result.error, result.message};
  if (!result.ok() && reportErrors) report(result.message);
  return result;
}

Value Host::get(win::WindowHandle window, int control, std::string_view member) {
  return call(window, control, member, CallKind::Get).value;
}

bool Host::put(win::WindowHandle window, int control, std::string_view member, Value value) {
  return call(window, control, member, CallKind::Put, std::move(value)).ok();
}

bool Host::execute(win::WindowHandle window, int control, std::string_view member) {
  return call(window, control, member, CallKind::Execute).ok();
}

HostError Host::lastError() {
  return lastCallError;
}

// --- Object references -------------------------------------------------------------------------

std::string Host::reference(std::shared_ptr<Dispatch> object) {
  std::lock_guard lock(mutex_);
  for (const auto& [text, held] : references_) {
    if (held == object) return text;
  }
  std::string text = "`" + std::to_string(nextReference_++);
  references_[text] = std::move(object);
  return text;
}

bool Host::release(std::string_view reference) {
  std::shared_ptr<Dispatch> dropped;
  {
    std::lock_guard lock(mutex_);
    const auto it = references_.find(reference);
    if (it == references_.end()) return false;
    dropped = std::move(it->second);
    references_.erase(it);
  }
  GlobalLock::Released released;
  dropped.reset();  // the object's destructor may call into its control
  return true;
}

// --- Events ------------------------------------------------------------------------------------

void Host::connect(win::WindowHandle window, int control, EventCallback callback) {
  std::shared_ptr<Sink> sink;
  {
    std::lock_guard lock(mutex_);
    sink = slots_[{window, control}].sink;
  }
  if (sink) sink->setCallback(std::move(callback));
}

void Host::disconnect(win::WindowHandle window, int control) {
  connect(window, control, nullptr);
}

std::string Host::lastEventName(win::WindowHandle window, int control) const {
  std::shared_ptr<Sink> sink;
  {
    std::lock_guard lock(mutex_);
    const auto it = slots_.find({window, control});
    if (it != slots_.end()) sink = it->second.sink;
  }
  return sink ? sink->lastName() : std::string();
}

bool Host::postEvent(win::WindowHandle window, int control, win::EventCode code) {
  if (!win::Engine::exists()) return false;
  return win::Engine::instance().post(window, code, control);
}

// --- Wrappers ----------------------------------------------------------------------------------

void Host::recordWrapper(win::WindowHandle window, int control, OleControl* wrapper) {
  std::lock_guard lock(mutex_);
  slots_[{window, control}].wrapper = wrapper;
}

void Host::forgetWrapper(win::WindowHandle window, int control, const OleControl* wrapper) {
  std::lock_guard lock(mutex_);
  const auto it = slots_.find({window, control});
  if (it == slots_.end() || it->second.wrapper != wrapper) return;
  it->second.wrapper = nullptr;
  if (!it->second.object) slots_.erase(it);
}

OleControl* Host::wrapper(win::WindowHandle window, int control) const {
  std::lock_guard lock(mutex_);
  const auto it = slots_.find({window, control});
  return it == slots_.end() ? nullptr : it->second.wrapper;
}

}  // namespace marlo::activex
