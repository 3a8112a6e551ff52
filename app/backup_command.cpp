#include "app/backup_command.h"

#include "platform/core/text.h"

namespace app {

std::string folderFragment(std::string_view folder) {
  return "\"" + std::string(folder) + "\"" + std::string(kBackupSwitches);
}

std::string backupCommandLine(std::string_view archive, std::string_view folder) {
  const std::string line = "u \"" + std::string(archive) + "\" " + folderFragment(folder);
  return std::string(marlo::clip(line));
}

}  // namespace app
