// The control host: the registry of control classes by class id, the objects that sit in the
// control slots of windows, member texts evaluated against them, their events, and the
// registration of control modules.
//
// A control class is registered in-process (registerClass) or by its module: registerServer
// loads the module file from the module folders (the program's own folder, then the library
// folder) and calls its DllRegisterServer entry, which registers the module's classes here.
//
// Member texts (see member_text.h) are read, assigned or executed against the object in a
// window's control slot. A text that does not parse, an unknown dispatch number, a wrong count
// or type of arguments and a missing object are errors: the call returns an empty value (or
// false), the error stays readable through lastError() on the calling thread, and a slot marked
// for it reports the error through the error reporter.
//
// Events: the object raises them on its own thread (its worker); the host hands each to the
// callback connected to the slot, on that same thread, with the event's name and parameters.
// Disconnecting waits for a callback that is running, so nothing arrives after it returns.
//
// Every call into a control releases the global lock (global_lock.h) for its duration.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/activex/dispatch.h"
#include "platform/window/event.h"

namespace marlo::activex {

class OleControl;

// One event as a callback receives it: position 0 is the event's name, positions 1... its
// parameters in order. A position past the last gives an empty value.
class EventParameters {
 public:
  EventParameters(std::string name, std::vector<Value> parameters)
      : name_(std::move(name)), parameters_(std::move(parameters)) {}
  [[nodiscard]] const std::string& name() const { return name_; }
  [[nodiscard]] int count() const { return static_cast<int>(parameters_.size()); }
  [[nodiscard]] Value at(int position) const;

 private:
  std::string name_;
  std::vector<Value> parameters_;
};

using EventCallback = std::function<void(const EventParameters&)>;

struct HostError {
  CallError error = CallError::None;
  std::string message;
};

class Host {
 public:
  Host();
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // The process's host, made on first use.
  static Host& instance();

  // --- Classes and modules -----------------------------------------------------------------
  // 0 on success; a class id already registered is replaced.
  int registerClass(std::string_view classId, std::string_view fileName, ControlFactory make);
  void unregisterClass(std::string_view classId);
  [[nodiscard]] bool isRegistered(std::string_view classId) const;
  // A new object of the class; null when the class is not registered or its factory fails.
  [[nodiscard]] std::shared_ptr<Control> createObject(std::string_view classId) const;

  // Loads the module file from the module folders and calls its DllRegisterServer entry.
  // 0 on success; otherwise the module's own error number, or ModuleNotFound when no module
  // folder holds the file, BadModule when it does not load, EntryNotFound when it has no entry.
  // A loaded module stays loaded for the life of the process.
  int registerServer(std::string_view fileName);
  static constexpr int ModuleNotFound = 126;
  static constexpr int EntryNotFound = 127;
  static constexpr int BadModule = 193;
  // Where modules are looked for, in order. By default the folder of the running program, then
  // the program's library folder.
  void setModuleFolders(std::vector<std::filesystem::path> folders);
  [[nodiscard]] std::vector<std::filesystem::path> moduleFolders() const;
  [[nodiscard]] std::optional<std::filesystem::path> findModule(std::string_view fileName) const;

  // --- Control slots ------------------------------------------------------------------------
  // Puts an object into a window's control slot (replacing and disconnecting any other).
  void attach(win::WindowHandle window, int control, std::shared_ptr<Control> object);
  // Empties the slot: disconnects its events (waiting for a callback in flight) and drops the
  // host's reference to the object.
  void detach(win::WindowHandle window, int control);
  [[nodiscard]] bool hasObject(win::WindowHandle window, int control) const;
  [[nodiscard]] std::shared_ptr<Control> object(win::WindowHandle window, int control) const;
  // Errors of calls into this slot's object go to the error reporter as well.
  void setReportErrors(win::WindowHandle window, int control, bool report);
  // Where reported errors go (by default the error stream).
  void setErrorReporter(std::function<void(std::string_view message)> reporter);

  // --- Member texts -------------------------------------------------------------------------
  // Reads a member: a property, or a member with a result. An object result becomes a
  // reference text ("`3") that later member texts can name.
  Value get(win::WindowHandle window, int control, std::string_view member);
  // Assigns a property.
  bool put(win::WindowHandle window, int control, std::string_view member, Value value);
  // Invokes a member without a result.
  bool execute(win::WindowHandle window, int control, std::string_view member);
  // The three forms in one, with the whole result.
  CallResult call(win::WindowHandle window, int control, std::string_view member, CallKind kind,
                  Value assigned = {});
  // The last error of a call made on the calling thread (None after a call that succeeded).
  [[nodiscard]] static HostError lastError();

  // --- Object references ----------------------------------------------------------------------
  [[nodiscard]] std::string reference(std::shared_ptr<Dispatch> object);
  // Drops the object a reference text names; false when it names none.
  bool release(std::string_view reference);

  // --- Events -------------------------------------------------------------------------------
  void connect(win::WindowHandle window, int control, EventCallback callback);
  void disconnect(win::WindowHandle window, int control);
  // The name of the event the slot's object raised last (empty before the first).
  [[nodiscard]] std::string lastEventName(win::WindowHandle window, int control) const;
  // Queues a private event for a control of a window; it arrives through the window's loop.
  // False when the window is not open.
  static bool postEvent(win::WindowHandle window, int control, win::EventCode code);

  // --- Wrappers ------------------------------------------------------------------------------
  void recordWrapper(win::WindowHandle window, int control, OleControl* wrapper);
  void forgetWrapper(win::WindowHandle window, int control, const OleControl* wrapper);
  [[nodiscard]] OleControl* wrapper(win::WindowHandle window, int control) const;

 private:
  class Sink;
  struct Slot {
    std::shared_ptr<Control> object;
    std::shared_ptr<Sink> sink;
    bool reportErrors = false;
    OleControl* wrapper = nullptr;
  };
  using SlotKey = std::pair<win::WindowHandle, int>;
  struct ClassEntry {
    std::string fileName;
    ControlFactory make = nullptr;
  };

  std::shared_ptr<Dispatch> target(win::WindowHandle window, int control,
                                   const std::string& reference, bool* report);
  void report(std::string_view message);

  mutable std::mutex mutex_;
  std::map<std::string, ClassEntry, std::less<>> classes_;
  std::map<SlotKey, Slot> slots_;
  std::map<std::string, std::shared_ptr<Dispatch>, std::less<>> references_;
  int nextReference_ = 1;
  std::vector<std::filesystem::path> folders_;
  std::function<void(std::string_view)> reporter_;
};

}  // namespace marlo::activex
