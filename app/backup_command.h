// The command lines a backup hands to the compression library, one per folder:
//   u "<archive>" "<folder>"\*.* -x1 -r
// The archive is quoted as the folder is: unquoted, an archive path with a blank would send
// the backup to another archive. The line is built from the whole folder path; the copy kept
// in the record (TEST_FOLDER) is cut at its field's capacity, and a cut copy would name
// another folder.
#pragma once

#include <string>
#include <string_view>

namespace app {

inline constexpr std::string_view kBackupSwitches = "\\*.* -x1 -r";

// The folder's part of the line: the folder in double quotes, then the switches.
[[nodiscard]] std::string folderFragment(std::string_view folder);

// The whole line for one folder, trailing blanks removed.
[[nodiscard]] std::string backupCommandLine(std::string_view archive, std::string_view folder);

}  // namespace app
