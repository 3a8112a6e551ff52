#include "app/headless_backup.h"

#include <filesystem>
#include <ostream>
#include <system_error>

#include "app/files_table.h"
#include "app/globals.h"
#include "app/program.h"
#include "app/settings.h"
#include "app/trayicon.h"
#include "framework/file_manager.h"
#include "framework/relation_set.h"
#include "platform/headless/headless_view.h"
#include "platform/window/engine.h"

namespace app {

namespace {

// Every folder of the table, in folder-number order: what the main window's list holds.
std::vector<std::int32_t> tableFolderNumbers() {
  std::vector<std::int32_t> numbers;
  files::table().setBefore(files::kRbrKey);
  while (files::manager().tryNext() == marlo::SevBenign) numbers.push_back(files::RBR);
  return numbers;
}

void report(const BackupOutcome& outcome, std::ostream& out) {
  out << outcome.summary() << '\n';
  for (const FolderOutcome& folder : outcome.folders) {
    if (!folder.failed) continue;
    out << "Failed: folder " << folder.number;
    if (!folder.folder.empty()) out << ", " << folder.folder;
    out << ": " << folder.why << '\n';
  }
  if (outcome.verify.failed())
    out << "Failed: the test of the archive: " << outcome.verify.closing << '\n';
  if (glo::CEK == 1)
    out << "Write to CDRW is set: the disc is written when the backup runs from the window.\n";
  if (!outcome.folders.empty()) out << "The library's reports are in " << outcome.log << ".\n";
}

}  // namespace

BackupOutcome backUpFolderTable(BackupProgress* progress) {
  files::relations().open();
  // No window owns the library's calls; the archive is the one the main window proposes.
  glo::HWND = "0";
  std::error_code ignored;
  glo::PAT = (std::filesystem::current_path(ignored) / kArchiveBaseName).string();
  glo::SAJZ = 999999;
  glo::CEK = static_cast<std::uint8_t>(readSetting("Write_CDRW", glo::CEK));
  BackupOutcome outcome = backUpFolders(tableFolderNumbers(), progress);
  files::relations().close();
  return outcome;
}

int backupWithoutWindows(std::ostream& out) {
  marlo::headless::HeadlessView view;
  marlo::win::Engine engine(view);
  BackupOutcome outcome;
  const marlo::win::ThreadId first = engine.start([&outcome] {
    Program program;
    outcome = program.backUp();
  });
  engine.waitForEnd(first);
  engine.shutdown();
  report(outcome, out);
  return outcome.allStored() ? kExitAllStored : kExitSomeFailed;
}

}  // namespace app
