// Events of the window engine: what a window's accept loop receives.
//
// Codes below 0x400 are the engine's own. Four of them are fixed because programs compare them
// with literal numbers (560 to 563: moved, sized, restored, maximized); the others are ours.
// Codes from 0x400 up belong to the program: the engine delivers them untouched.
#pragma once

#include <cstdint>
#include <string_view>

namespace marlo::win {

using EventCode = std::int32_t;
using WindowHandle = std::int32_t;  // 0 = no window; never reused within a process
using ThreadId = std::int32_t;      // logical thread, numbered from 1; 0 = not a program thread
using KeyCode = std::int32_t;

namespace event {
// Field events: they name the control they concern.
inline constexpr EventCode Accepted = 1;  // a control's value was entered or a button pressed
inline constexpr EventCode NewSelection =
    2;  // a list's highlight moved, a check box or option changed
inline constexpr EventCode ScrollUp = 3;
inline constexpr EventCode ScrollDown = 4;
inline constexpr EventCode PageUp = 5;
inline constexpr EventCode PageDown = 6;
inline constexpr EventCode ScrollTop = 7;
inline constexpr EventCode ScrollBottom = 8;
inline constexpr EventCode ScrollDrag = 9;  // thumb dragged; Window::thumb() holds 0..100
inline constexpr EventCode AlertKey = 10;   // an alerted key; Window::keyCode() says which
inline constexpr EventCode Rejected = 11;   // the shown text does not fit the control's picture
inline constexpr EventCode Selected = 12;   // the control received the focus

// Window events: control 0.
inline constexpr EventCode OpenWindow = 0x101;
inline constexpr EventCode CloseWindow = 0x102;  // default processing closes the window
inline constexpr EventCode CloseDown = 0x103;    // the program is ending; closes like CloseWindow
inline constexpr EventCode GainFocus = 0x104;
inline constexpr EventCode LoseFocus = 0x105;
inline constexpr EventCode Timer = 0x106;
inline constexpr EventCode Completed = 0x107;  // the accept-all pass found every field valid
inline constexpr EventCode Suspend = 0x108;
inline constexpr EventCode Resume = 0x109;
inline constexpr EventCode Iconized = 0x10A;  // the window has been minimised
inline constexpr EventCode Restore = 0x10B;   // a request: default processing restores the window
inline constexpr EventCode Moved = 560;
inline constexpr EventCode Sized = 561;
inline constexpr EventCode Restored = 562;
inline constexpr EventCode Maximized = 563;

inline constexpr EventCode FirstProgramEvent = 0x400;
}  // namespace event

[[nodiscard]] std::string_view eventName(EventCode code);

// Key codes: a Windows virtual-key number plus modifier bits, so Ctrl plus the apostrophe key
// (virtual key 0xDE) is 0x2DE = 734. Mouse actions have codes of their own above the key range.
namespace key {
inline constexpr KeyCode Shift = 0x100;
inline constexpr KeyCode Ctrl = 0x200;
inline constexpr KeyCode Alt = 0x400;

inline constexpr KeyCode Tab = 0x09;
inline constexpr KeyCode Enter = 0x0D;
inline constexpr KeyCode Escape = 0x1B;
inline constexpr KeyCode PageUp = 0x21;
inline constexpr KeyCode PageDown = 0x22;
inline constexpr KeyCode End = 0x23;
inline constexpr KeyCode Home = 0x24;
inline constexpr KeyCode Up = 0x26;
inline constexpr KeyCode Down = 0x28;
inline constexpr KeyCode Insert = 0x2D;
inline constexpr KeyCode Delete = 0x2E;
inline constexpr KeyCode F1 = 0x70;
inline constexpr KeyCode Apostrophe = 0xDE;
inline constexpr KeyCode CtrlEnter = Ctrl | Enter;
inline constexpr KeyCode ShiftEnter = Shift | Enter;
inline constexpr KeyCode CtrlHome = Ctrl | Home;
inline constexpr KeyCode CtrlEnd = Ctrl | End;

inline constexpr KeyCode MouseLeft = 0x1001;     // left button pressed
inline constexpr KeyCode MouseLeft2 = 0x1002;    // left double click
inline constexpr KeyCode MouseRight = 0x1003;    // right button pressed
inline constexpr KeyCode MouseRightUp = 0x1004;  // right button released
inline constexpr KeyCode MouseLeftUp = 0x1005;   // left button released
}  // namespace key

// One event as the accept loop hands it out.
struct Event {
  EventCode code = 0;
  WindowHandle window = 0;  // when posted: 0 = the thread's innermost window
  int control = 0;          // 0 for window events
  KeyCode key = 0;          // the key of an AlertKey event
  int thumb = 0;            // ScrollDrag: thumb position 0..100
};

}  // namespace marlo::win
