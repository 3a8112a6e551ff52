// The program-wide variables of the Restore window and its actions.
//
// The Restore window runs on a thread of its own while the main window may be in the middle of
// a backup run. Both call the compression library, so each keeps its own command line, result
// text, output buffer and log-file name: the backup run uses glo::CMD, glo::RESULT, glo::OUT_
// and glo::LogFileName, the Restore window the variables below. Neither thread can then
// overwrite the other's command line while the library reads it, or the other's report.
#pragma once

#include <atomic>
#include <cstdint>

#include "app/compression.h"
#include "app/globals.h"
#include "app/restore/listing.h"
#include "platform/core/text.h"
#include "platform/window/event.h"

namespace glo {

extern marlo::HeapText NAZ_REST;  // the chosen archive's path
extern marlo::HeapText RASPK;     // the extract folder
// The output text of the Restore window's last library call, blank-filled at start.
extern marlo::HeapText OUT;
extern std::int32_t RestoreOutSize;  // capacity handed to the library with OUT
extern std::int32_t UNLHAGETARCORIGINALSIZE_;
extern std::int32_t ARC_FILE_SIZE;
extern std::int32_t FILE_COUNT;
// The logical thread of the open Restore window; 0 while none is open. Thread numbers are
// never reused and grow past any byte, so the full thread number is kept: a cut number could
// read 0 while a window is open, or name another thread.
extern std::atomic<marlo::win::ThreadId> RestoreThread;
extern app::ArchiveEntry FirstEntry;  // filled by the find-first call
extern app::ArchiveEntry NextEntry;   // filled by the find-next calls
extern app::ListingQueue ListingQueue;

// The Restore window's own command line, result text and log-file name (see above).
extern marlo::HeapText RestoreCMD;
extern marlo::HeapText RestoreRESULT;
extern marlo::BlankString<255> RestoreLogFileName;

}  // namespace glo
