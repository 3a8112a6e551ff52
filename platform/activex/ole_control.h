// The base of a program's wrapper over a hosted control: it adopts a window's control slot,
// brings the control object into it (registering the control's module when the class is not
// known yet), connects the control's events and keeps the queue of events waiting for the
// window's loop.
//
// The wrapper's events cross threads: the control raises them on its worker thread, where
// onControlEvent only converts and queues them; the window's loop takes them back out
// (handleEvent). The queue is the one piece both threads touch, so it guards itself.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/activex/dispatch.h"
#include "platform/activex/host.h"
#include "platform/core/text.h"
#include "platform/window/event.h"

namespace marlo::win {
class Window;
}

namespace marlo::activex {

// One event waiting for the window: its number and its parameters in order.
struct PendingEvent {
  std::int32_t number = 0;
  std::unique_ptr<std::vector<Value>> parameters;
};

class PendingEvents {
 public:
  void append(PendingEvent entry);
  // Takes the most recently appended entry when `accept` agrees to its number; otherwise the
  // entry stays where it is. Empty when there is none or it stayed.
  std::optional<PendingEvent> takeLast(const std::function<bool(std::int32_t number)>& accept);
  [[nodiscard]] std::size_t size() const;
  void clear();

 private:
  mutable std::mutex mutex_;
  std::deque<PendingEvent> entries_;
};

class OleControl {
 public:
  OleControl() = default;
  OleControl(const OleControl&) = delete;
  OleControl& operator=(const OleControl&) = delete;
  // Kills the wrapper unless that happened already.
  virtual ~OleControl();

  std::uint8_t OLETYPECREATED = 0;     // init made the object from the class id
  std::uint8_t OLECONTROLCREATED = 0;  // the wrapper made the window control itself
  std::uint8_t DEAD = 0;               // killed: kill and destruction do nothing more
  std::unique_ptr<PendingEvents> EVENTS;
  win::Window* OLEWINDOW = nullptr;
  std::int32_t OLECONTROL = 0;
  CString<200> OLEDISPATCH;         // put in front of every member text
  CString<255> OLECONTROLFILENAME;  // the control's module, for registration and messages
  std::uint8_t AUTORELEASE = 0;     // kill releases the object OLEDISPATCH refers to

  // Adopts control `control` of `window` (an open window, on its own thread) and puts an
  // object of `classId` into it unless the slot holds one. When the class is not registered,
  // the module OLECONTROLFILENAME is registered and creation tried once more; when that fails
  // the person is told ("Fatal OLE Error") and the program is asked to close down. Then
  // afterInit runs and the control's events start to reach onControlEvent. False when no
  // object could be had.
  virtual bool init(win::Window& window, std::int32_t control, std::string_view classId);
  // Runs inside init, after the object is there and before its events are connected.
  virtual void afterInit() {}
  // Disconnects the events, releases the OLEDISPATCH object when AUTORELEASE says so, frees
  // the waiting events and empties the slot. Nothing when DEAD.
  virtual void kill();
  // Every event of the control, on the control's thread. Returns 0.
  virtual std::int32_t onControlEvent(const EventParameters& parameters);
  // Called by the window's loop for events of the control. Returns 0.
  virtual std::int32_t handleEvent();

 protected:
  // Member texts against this wrapper's control (OLEDISPATCH is not added here).
  Value get(std::string_view member);
  bool put(std::string_view member, Value value);
  bool execute(std::string_view member);
  // The name of the event the control raised last.
  [[nodiscard]] std::string lastEventName() const;
  // Queues a private event for this wrapper's control, through the window's loop.
  bool postToControl(win::EventCode code) const;
  [[nodiscard]] win::WindowHandle windowHandle() const { return handle_; }

 private:
  bool createObject(std::string_view classId);
  void failCreation(const std::string& text);

  win::WindowHandle handle_ = 0;
};

}  // namespace marlo::activex
