// Control numbers as a window's own enum. Each window procedure keeps one `enum class` with the
// numbers of its controls; `n()` turns a value into the number the engine uses, and a layout
// table of `ControlLayout` rows adds the controls as those numbers, so that a table whose order
// does not match the enum stops at once instead of shifting every later number by one.
#pragma once

#include <cstdint>
#include <string>
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

}  // namespace marlo::win
