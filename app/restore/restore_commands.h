// The command lines the Restore window hands to the compression library:
//   -l1 "<archive>"                                       list
//   T "<archive>" "<folder>\" -jf0 -gj0 -c -jyo0 -l1      test
//   x "<archive>" "<folder>\" -jf0 -gj0 -c -jyo0 -l1      extract below the folder
// The archive and the folder are quoted: the library splits its command line at blanks, and
// an unquoted path with a blank would make it open another archive or extract somewhere else.
// The separator after the folder stays as written, also when the folder already ends in one
// (the library takes a doubled separator as one) and when the folder is empty (a lone "\",
// the root).
#pragma once

#include <string>
#include <string_view>

namespace app {

inline constexpr std::string_view kTestCommand = "T ";
inline constexpr std::string_view kExtractCommand = "x ";
inline constexpr std::string_view kRestoreSwitches = " -jf0 -gj0 -c -jyo0 -l1";

// The path in double quotes, trailing blanks removed first.
[[nodiscard]] std::string quotedPath(std::string_view path);

[[nodiscard]] std::string listCommandLine(std::string_view archive);

// `command` is kTestCommand or kExtractCommand.
[[nodiscard]] std::string restoreCommandLine(std::string_view command, std::string_view archive,
                                             std::string_view folder);

}  // namespace app
