// Result codes of framework operations and the button codes of questions.
#pragma once

namespace marlo {

// What a framework operation tells its caller. Inside an event loop SevFatal ends the loop and
// SevNotify consumes the event.
enum SeverityLevel : int {
  SevBenign = 0,   // done
  SevUser = 1,     // failed; the caller should offer a retry (also: a Yes/No question)
  SevProgram = 2,  // handled as SevFatal
  SevFatal = 3,    // cannot go on: the program ends after the message
  SevCancel = 4,   // the person said No (also: a Yes/No question)
  SevNotify = 5,   // not done, already reported or nothing to report
};

// Message-box buttons as bit values; a box returns the code of the button pressed.
namespace button {
inline constexpr unsigned kOk = 1;
inline constexpr unsigned kYes = 2;
inline constexpr unsigned kNo = 4;
inline constexpr unsigned kAbort = 8;
inline constexpr unsigned kRetry = 16;
inline constexpr unsigned kIgnore = 32;
inline constexpr unsigned kCancel = 64;
inline constexpr unsigned kHelp = 128;
}  // namespace button

}  // namespace marlo
