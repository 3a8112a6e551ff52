#include "app/backup_run.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "app/backup_command.h"
#include "app/compression.h"
#include "app/files_table.h"
#include "app/globals.h"
#include "app/log_file.h"
#include "app/pis_cd.h"
#include "app/restore/viewers.h"
#include "framework/file_manager.h"
#include "framework/window/browse_list.h"
#include "platform/core/number.h"
#include "platform/storage/profile.h"
#include "platform/window/window.h"

namespace app {

namespace {

// Moves into the archive's folder when PAT names one; otherwise (a file name chosen in the
// "..." dialog, say) stays where it is. Neither case is reported.
void enterArchiveFolder() {
  std::error_code ignored;
  const std::filesystem::path folder = marlo::nativePath(glo::PAT.view());
  if (glo::PAT.empty() || !std::filesystem::is_directory(folder, ignored)) return;
  std::filesystem::current_path(folder, ignored);
}

// The folder numbers the list shows as the run starts, in its order. They are taken once: the
// list is read again after every folder, and another copy of the program may have deleted
// folders meanwhile, so its rows can shrink under the run.
std::vector<std::int32_t> folderNumbers(const marlo::BrowseList& list) {
  std::vector<std::int32_t> numbers;
  const int shown = list.records();
  const auto& rows = list.LISTQUEUE->rows;
  for (int row = 1; row <= shown && static_cast<std::size_t>(row) <= rows.size(); ++row) {
    const auto& cells = rows[static_cast<std::size_t>(row - 1)].cells;
    numbers.push_back(cells.empty() ? 0 : static_cast<std::int32_t>(marlo::toInteger(cells[0])));
  }
  return numbers;
}

void backUpFolder(LogFile& log, std::int32_t number) {
  files::RBR = number;
  if (files::manager().tryFetch(files::kRbrKey) != marlo::SevBenign) {
    // Deleted since the run began (or unreadable): the buffer holds some other folder, which
    // must be neither backed up again nor written back under this number.
    const bool gone = files::table().error() == marlo::storage_error::kNoRecord;
    log.TL = "Folder " + marlo::toText(number) + " was not backed up: " +
             (gone ? "it is no longer in the folder list." : "its record could not be read.");
    log.append();
    return;
  }
  // The stored fragment keeps the field's capacity and is cut there; the command line is built
  // from the whole folder path, so a long path is still backed up whole.
  files::TEST_FOLDER = marlo::clip(folderFragment(files::NAZIV_FOLDERA.view()));
  glo::CMD = backupCommandLine(glo::PAT.view(), files::NAZIV_FOLDERA.view());
  const int result = Unlha(glo::HWND.view(), glo::CMD, glo::OUT_, glo::SAJZ);
  glo::RESULT = marlo::toText(result);
  // The library leaves its report as zero-terminated text in a blank-filled buffer.
  log.TL = marlo::clip(glo::OUT_.view());
  log.append();
  glo::RBR = static_cast<std::uint8_t>(files::RBR & 0xFF);
  files::manager().update();
}

}  // namespace

void runBackup(marlo::win::Window& window, marlo::BrowseList& list, std::uint8_t minimize,
               std::uint8_t showLog) {
  if (minimize == 1) window.setState(marlo::win::WindowState::Minimized);
  glo::PATTERN = kBackupSwitches;

  LogFile log(glo::LogFileName);
  glo::LogFileName = kBackupLogName;
  log.remove();
  log.create();
  log.open(marlo::kAccessReadWrite | marlo::kDenyWrite);

  enterArchiveFolder();
  files::NAZIV_FOLDERA = "";
  glo::FOLDER = files::NAZIV_FOLDERA.view();

  for (const std::int32_t number : folderNumbers(list)) {
    backUpFolder(log, number);
    list.reset(1);
    glo::CMD.clear();
  }
  log.close();
  window.display();
  if (showLog == 1) pokazi();
  if (glo::CEK == 1) Pis_cd();
}

}  // namespace app
