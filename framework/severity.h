// Result codes of framework operations and the button codes of questions.
#pragma once

#include "platform/window/view.h"

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

// Message-box buttons as bit values; a box returns the code of the button pressed. They are the
// window engine's own codes, so an answer passes between the two without translation.
namespace button {
inline constexpr unsigned kOk = win::button::Ok;
inline constexpr unsigned kYes = win::button::Yes;
inline constexpr unsigned kNo = win::button::No;
inline constexpr unsigned kAbort = win::button::Abort;
inline constexpr unsigned kRetry = win::button::Retry;
inline constexpr unsigned kIgnore = win::button::Ignore;
inline constexpr unsigned kCancel = win::button::Cancel;
inline constexpr unsigned kHelp = win::button::Help;
}  // namespace button

}  // namespace marlo
