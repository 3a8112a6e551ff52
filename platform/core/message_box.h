// The buttons and icons of a message box. Every layer that asks the person something uses these
// codes: the window engine and its views, the runtime's dialogs, and the framework's numbered
// messages (which reach the person without knowing about windows). An answer is one button's
// code, so it passes between the layers without translation.
#pragma once

namespace marlo {

// Buttons of a message box, as bit values; the answer is one of them.
namespace button {
inline constexpr unsigned Ok = 1;
inline constexpr unsigned Yes = 2;
inline constexpr unsigned No = 4;
inline constexpr unsigned Abort = 8;
inline constexpr unsigned Retry = 16;
inline constexpr unsigned Ignore = 32;
inline constexpr unsigned Cancel = 64;
inline constexpr unsigned Help = 128;

// The answer to a box nobody can answer any more (the program halts, or the asking thread is
// ended): Cancel, else No, so that a question such as "Confirm Delete" changes nothing. A box
// with neither keeps its default (OK, or Abort and Ignore of the stop box).
[[nodiscard]] constexpr unsigned refusal(unsigned buttons, unsigned defaultButton) {
  if ((buttons & Cancel) != 0) return Cancel;
  if ((buttons & No) != 0) return No;
  return defaultButton;
}
}  // namespace button

enum class MessageIcon { None, Exclamation, Asterisk, Question, Hand };

}  // namespace marlo
