#include "app/backup_command.h"

#include "platform/core/text.h"

namespace app {

// Built by appending rather than by "+" on temporaries: gcc 12 at -O2 reports a false overlap
// (-Wrestrict) for a one-character literal joined to a string.
std::string folderFragment(std::string_view folder) {
  std::string fragment;
  fragment.reserve(folder.size() + 2 + kBackupSwitches.size());
  fragment.push_back('"');
  fragment.append(folder);
  fragment.push_back('"');
  fragment.append(kBackupSwitches);
  return fragment;
}

std::string backupCommandLine(std::string_view archive, std::string_view folder) {
  std::string line = "u \"";
  line.append(archive);
  line.append("\" ");
  line.append(folderFragment(folder));
  return std::string(marlo::clip(line));
}

}  // namespace app
