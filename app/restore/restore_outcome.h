// What the Restore window tells around "&Test" and "&Restore": before a restore into the
// places the files came from, a question; after either, a box with the library's closing line
// (and, when it failed, the failing members and an offer to show the log).
#pragma once

#include <string>
#include <string_view>

namespace app {

inline constexpr std::string_view kTestCaption = "Test";
inline constexpr std::string_view kRestoreCaption = "Restore";

// With an empty extract folder every member goes back to the path it was stored with: asks
// first, No by default. True when the restore may go ahead (at once for any other folder).
[[nodiscard]] bool confirmRestoreTarget(std::string_view extractFolder);

// The box after a Test (`testing`) or a Restore whose library call returned `result` with
// `report`. After a failure, Yes shows the report in the Restore window's log viewer.
void tellArchiveOutcome(bool testing, int result, std::string_view report);

// The box's text, its lines apart with '\n': the closing line, and after a failure the failing
// members and the question.
[[nodiscard]] std::string archiveOutcomeText(int result, std::string_view report);

}  // namespace app
