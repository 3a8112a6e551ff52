#include "app/backup_run.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
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
#include "platform/core/picture.h"
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

// An empty folder gives the library nothing to store, which is no failure; a missing one is.
bool folderFailed(int result, std::string_view folder) {
  if (result == 0) return false;
  std::error_code ignored;
  return result != kUnlhaNoFiles ||
         !std::filesystem::is_directory(marlo::nativePath(folder), ignored);
}

// What a person needs to hear of a failed call: its first error, else its closing line.
std::string firstError(std::string_view report) {
  std::string last;
  std::size_t start = 0;
  while (start < report.size()) {
    std::size_t end = report.find('\n', start);
    if (end == std::string_view::npos) end = report.size();
    const std::string_view line = marlo::clip(report.substr(start, end - start));
    if (line.starts_with("Error:")) return std::string(line);
    if (!line.empty()) last = line;
    start = end + 1;
  }
  return last;
}

// Folder `position` of `count`.
FolderOutcome backUpFolder(LogFile& log, std::int32_t number, std::size_t position,
                           std::size_t count, BackupProgress* progress) {
  FolderOutcome outcome;
  outcome.number = number;
  outcome.result = -1;
  files::RBR = number;
  if (files::manager().tryFetch(files::kRbrKey) != marlo::SevBenign) {
    // Deleted since the run began (or unreadable): the buffer holds some other folder, which
    // must be neither backed up again nor written back under this number.
    const bool gone = files::table().error() == marlo::storage_error::kNoRecord;
    log.TL = "Folder " + marlo::toText(number) + " was not backed up: " +
             (gone ? "it is no longer in the folder list." : "its record could not be read.");
    log.append();
    outcome.failed = !gone;
    outcome.why = log.TL.str();
    return outcome;
  }
  outcome.folder = files::NAZIV_FOLDERA.str();
  if (progress != nullptr) progress->folderStarting(position, count, outcome.folder);
  // The stored fragment keeps the field's capacity and is cut there; the command line is built
  // from the whole folder path, so a long path is still backed up whole.
  files::TEST_FOLDER = marlo::clip(folderFragment(files::NAZIV_FOLDERA.view()));
  glo::CMD = backupCommandLine(glo::PAT.view(), files::NAZIV_FOLDERA.view());
  MemberProgress last;
  const ProgressFn tell = [&last, progress](const MemberProgress& step) {
    last = step;
    last.member = {};  // the name lives only as long as the call
    return progress == nullptr || progress->member(step);
  };
  outcome.result = UnlhaWithProgress(glo::HWND.view(), glo::CMD, glo::OUT_, glo::SAJZ, tell);
  glo::RESULT = marlo::toText(outcome.result);
  // The library leaves its report as zero-terminated text in a blank-filled buffer.
  log.TL = marlo::clip(glo::OUT_.view());
  log.append();
  glo::RBR = static_cast<std::uint8_t>(files::RBR & 0xFF);
  files::manager().update();
  if (outcome.result == kUnlhaCancelled) return outcome;  // nothing of it was stored
  outcome.members = last.filesDone;
  outcome.bytesIn = last.bytesDone;
  outcome.bytesOut = last.packedDone;
  outcome.failed = folderFailed(outcome.result, outcome.folder);
  if (outcome.failed) outcome.why = firstError(log.TL.view());
  return outcome;
}

// What the whole run will store, so that a progress window can show one total.
void countFolders(const std::vector<std::int32_t>& numbers, BackupProgress& progress) {
  std::uint64_t members = 0, bytes = 0;
  for (const std::int32_t number : numbers) {
    files::RBR = number;
    if (files::manager().tryFetch(files::kRbrKey) != marlo::SevBenign) continue;
    std::uint64_t folderMembers = 0, folderBytes = 0;
    UnlhaCountFiles(backupCommandLine(glo::PAT.view(), files::NAZIV_FOLDERA.view()), folderMembers,
                    folderBytes);
    members += folderMembers;
    bytes += folderBytes;
  }
  progress.counted(members, bytes);
}

std::string grouped(std::uint64_t value) {
  const std::string shown =
      marlo::formatPicture("n26", marlo::toText(static_cast<std::int64_t>(value)));
  return shown.substr(std::min(shown.size(), shown.find_first_not_of(' ')));
}

}  // namespace

std::size_t BackupOutcome::failedFolders() const {
  return static_cast<std::size_t>(std::count_if(folders.begin(), folders.end(),
                                                [](const FolderOutcome& f) { return f.failed; }));
}

std::string BackupOutcome::summary() const {
  std::uint64_t members = 0, in = 0, out = 0;
  for (const FolderOutcome& f : folders) {
    members += f.members;
    in += f.bytesIn;
    out += f.bytesOut;
  }
  const std::size_t failed = failedFolders();
  std::string line = cancelled ? "Backup cancelled: " : "Backup: ";
  line += marlo::toText(static_cast<std::int64_t>(folders.size())) +
          (folders.size() == 1 ? " folder, " : " folders, ") + grouped(members) +
          (members == 1 ? " member, " : " members, ") + grouped(in) + " -> " + grouped(out) +
          " bytes, ";
  if (failed == 0) return line + "no errors.";
  return line + marlo::toText(static_cast<std::int64_t>(failed)) +
         (failed == 1 ? " folder failed." : " folders failed.");
}

BackupOutcome backUpFolders(const std::vector<std::int32_t>& numbers, BackupProgress* progress,
                            const std::function<void()>& afterFolder) {
  glo::PATTERN = kBackupSwitches;

  LogFile log(glo::LogFileName);
  glo::LogFileName = kBackupLogName;
  log.remove();
  log.create();
  log.open(marlo::kAccessReadWrite | marlo::kDenyWrite);

  enterArchiveFolder();
  files::NAZIV_FOLDERA = "";
  glo::FOLDER = files::NAZIV_FOLDERA.view();

  if (progress != nullptr) countFolders(numbers, *progress);
  BackupOutcome outcome;
  for (const std::int32_t number : numbers) {
    outcome.folders.push_back(
        backUpFolder(log, number, outcome.folders.size() + 1, numbers.size(), progress));
    if (afterFolder) afterFolder();
    glo::CMD.clear();
    if (outcome.folders.back().result == kUnlhaCancelled) {
      outcome.cancelled = true;
      break;
    }
  }
  // Verifying the archive after the run belongs here, once the windows show its outcome: the
  // library tests the archive, its report becomes one more record of the log, and a failed
  // test counts as a failed folder does.
  log.close();
  return outcome;
}

BackupOutcome runBackup(marlo::win::Window& window, marlo::BrowseList& list, std::uint8_t minimize,
                        std::uint8_t showLog, BackupProgress* progress) {
  if (minimize == 1) window.setState(marlo::win::WindowState::Minimized);
  BackupOutcome outcome = backUpFolders(folderNumbers(list), progress, [&list] { list.reset(1); });
  window.display();
  if (showLog == 1) pokazi();
  if (glo::CEK == 1) Pis_cd();
  return outcome;
}

}  // namespace app
