// Control numbers as a window's own enum. Each window procedure keeps one `enum class` with the
// numbers of its controls; `n()` turns a value into the number the engine uses, and a layout
// table of `ControlLayout` rows adds the controls as those numbers, so that a table whose order
// does not match the enum stops at once instead of shifting every later number by one.
//
// A number that names no control of its window is a fault of the window procedure (never of
// the person): see UnknownControl.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/window/control.h"

namespace marlo::win {

template <class E>
requires std::is_enum_v<E>
[[nodiscard]] constexpr int n(E control) {
  return static_cast<int>(control);
}

// One row of a window's layout: the control's number (its enum value), kind, text, place in
// dialog units and flags.
template <class E>
requires std::is_enum_v<E>
struct ControlLayout {
  E id;
  ControlKind kind;
  std::string text;
  Rect rect;
  std::uint32_t flags = 0;
};

// What a window does when the program names a control it does not have. Abort ends the program
// at once with a message naming the window and the number: the default of debug builds, so a
// mis-numbered window cannot pass a test run. Log writes the same message to the fault log and
// goes on as if nothing was asked (a change goes nowhere, a read finds an empty control): the
// default of release builds, so a slip in a corner the tests missed does not cost a person the
// backup in progress. Tests may set either, whatever the build.
enum class UnknownControl { Abort, Log };
void setUnknownControlAction(UnknownControl action);
[[nodiscard]] UnknownControl unknownControlAction();

// Where logged faults go: standard error, unless a test reads them through a sink of its own
// (an empty function restores standard error). The sink may be called from any thread.
using FaultLog = std::function<void(std::string_view message)>;
void setFaultLog(FaultLog log);
void logFault(std::string_view message);

}  // namespace marlo::win
