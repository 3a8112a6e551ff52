// Result codes of framework operations. The button codes of questions are the runtime's
// (platform/core/message_box.h), included here for every user of the framework.
#pragma once

#include "platform/core/message_box.h"

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

}  // namespace marlo
