// The program-wide variables that the windows of the backup program share. Capacities are the
// program's own: assignments cut at them. The large texts live on the heap.
#pragma once

#include <cstdint>

#include "platform/core/clock.h"
#include "platform/core/text.h"

namespace glo {

inline constexpr std::size_t kLargeText = 999999;

extern marlo::CString<255> PAT;             // the archive a backup writes; also the folder to go to
extern std::int32_t SAJZ;                   // output capacity handed to the library (999999)
extern std::uint8_t CEK_SATI;               // timed backup "Activated"
extern std::uint8_t CEK;                    // "Write to CDRW"
extern marlo::StandardTime USPOREDNI_SAT_;  // nothing assigns it
extern marlo::HeapText CMD;                 // the library's command line
extern marlo::HeapText OUT_;                // the backup's library output, blank-filled at start
extern marlo::HeapText RESULT;              // the library's last return code, as decimal text
extern marlo::HeapText HWND;                // the main window's handle, as decimal text
extern marlo::HeapText FOLDER;              // copy of the folder name taken as a backup starts
extern marlo::BlankString<255> LogFileName;

// Kept by the main window, named here because its list shows them in hidden columns.
extern std::uint8_t RBR;             // low byte of the folder number last backed up
extern marlo::CString<556> PATTERN;  // the switches a backup appends to each folder

// Gives every program-wide variable of the program the value a fresh process starts with: the
// ones above, the folder record, the tray icon's state, the Restore window's and the disc
// writer's. Tests call it before each run of the program, so none sees what another left.
void resetAll();

// How a source file that defines program-wide variables takes part in resetAll: one Reset
// beside the definitions, whose function gives each of them its starting value again. A new
// variable goes into the function next to it.
class Reset {
 public:
  explicit Reset(void (*reset)());
};

}  // namespace glo
