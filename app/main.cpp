// marlo-backup: the program's entry point.
//
// The main window is not built yet; until it is, the program prepares what a backup needs in
// the current directory (the folder table and the settings) and says what it found.
#include <cstdio>

#include "app/files_table.h"
#include "app/settings.h"
#include "platform/storage/text_file.h"

int main() {
  marlo::KeyedTable table(files::declaration());
  int opened = table.open(marlo::kAccessReadWrite | marlo::kDenyNone);
  if (opened == marlo::storage_error::kNotFound) {
    opened = table.create();
    if (opened == 0) opened = table.open(marlo::kAccessReadWrite | marlo::kDenyNone);
  }
  if (opened != 0) {
    std::fprintf(stderr, "Marlo BACKUP: the folder table %s cannot be used: %s\n",
                 table.fileName().c_str(), table.errorText().c_str());
    return 1;
  }
  const bool activated = app::readSetting("Activated", 0) == 1;
  std::printf("Marlo BACKUP 0.1 BETA\nFolder table %s: %lld folder(s).\n%s\n",
              table.fileName().c_str(), static_cast<long long>(table.records()),
              activated ? "Timed Backup Activated!" : "Timed Backup NOT Activated!");
  std::printf("The main window is not available in this build yet.\n");
  return 0;
}
