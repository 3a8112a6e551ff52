// The disc-writer window `Pis_cd`: after a backup with "Write to CDRW" ticked it hands the new
// archive to the disc-writing control, has it build the disc image, blank the disc and write
// the image, and shows the progress and the control's status lines, which it also keeps in a
// dated log. It closes itself once the control is idle after the last write; after a failure it
// stays open with its lines until the person closes it. It runs on its caller's thread and
// returns when its window closes.
#pragma once

#include <cstdint>
#include <string>

#include "platform/core/clock.h"
#include "platform/window/binding.h"

namespace glo {

// The control's busy reading as the window last took it, or a marker (103 after the final
// write call, 12 once writing has started) that makes the next step wait for a fresh reading.
// Kept for the whole process.
extern std::uint8_t CD_BUSY;

}  // namespace glo

namespace app {

// Control numbers, in the window's layout order.
enum class PisCdControl : int { OLECONTROL = 1, STRING9, PROGRES, LIST2 };

// The status lines of every run of the window in this process, oldest first (one column,
// `WriterStatusLine`, 255 characters). Nothing empties it.
extern marlo::win::RowQueue WriterStatusQueue;
inline constexpr std::size_t kWriterStatusLineCapacity = 255;

// The timer period of the window, in hundredths of a second.
inline constexpr int kDiscWriterTick = 500;

// The texts the status field shows at the end of a run.
inline constexpr const char* kFinishedText = " Finished !";
inline constexpr const char* kFailedText = " Failed ! See the status lines.";

// The dated status log of `day`: "LOG -" and the short date, always one file in the current
// directory (a date written with "/" or "\" gets "-" there instead).
[[nodiscard]] std::string discLogName(marlo::DayNumber day);

void Pis_cd();

}  // namespace app
