#include "app/restore/restore_commands.h"

#include "platform/core/text.h"

namespace app {

std::string quotedPath(std::string_view path) {
  return "\"" + std::string(marlo::clip(path)) + "\"";
}

std::string listCommandLine(std::string_view archive) {
  return "-l1 " + quotedPath(archive);
}

std::string restoreCommandLine(std::string_view command, std::string_view archive,
                               std::string_view folder) {
  const std::string line = std::string(command) + quotedPath(archive) + " " +
                           quotedPath(std::string(marlo::clip(folder)) + "\\") +
                           std::string(kRestoreSwitches);
  return std::string(marlo::clip(line));
}

}  // namespace app
