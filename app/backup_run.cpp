#include "app/backup_run.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/archive_snapshot.h"
#include "app/backup_command.h"
#include "app/compression.h"
#include "app/files_table.h"
#include "app/globals.h"
#include "app/log_file.h"
#include "app/pis_cd.h"
#include "app/restore/listing.h"
#include "app/restore/restore_commands.h"
#include "app/restore/viewers.h"
#include "app/settings.h"
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

// An empty folder gives the library nothing to store, which is no failure; a missing one is.
bool folderFailed(int result, std::string_view folder) {
  if (result == 0) return false;
  std::error_code ignored;
  return result != kUnlhaNoFiles ||
         !std::filesystem::is_directory(marlo::nativePath(folder), ignored);
}

// What a person needs to hear of a failed call: its first error, else its closing line.
std::string firstError(std::string_view report) {
  const std::vector<std::string_view> lines = reportLines(report);
  for (const std::string_view line : lines)
    if (line.starts_with("Error:")) return std::string(line);
  return lines.empty() ? std::string() : std::string(lines.back());
}

// One library call, telling the run's progress; `last` is left holding the call's last counts
// (the run's outcome is made of them). With a progress the call runs where the progress runs
// work.
int callLibrary(const marlo::HeapText& command, marlo::HeapText& report, BackupProgress* progress,
                MemberProgress& last) {
  const ProgressFn tell = [&last, progress](const MemberProgress& step) {
    last = step;
    last.member = {};  // the name lives only as long as the call
    if (backupRunHooks().step) backupRunHooks().step(step);
    return progress == nullptr || progress->member(step);
  };
  const std::string owner(glo::HWND.view());
  const std::int32_t capacity = glo::SAJZ;
  const auto call = [&] { return UnlhaWithProgress(owner, command, report, capacity, tell); };
  return progress == nullptr ? call() : progress->run(call);
}

// Folder `position` of `count`.
FolderOutcome backUpFolder(LogFile& log, std::int32_t number, std::size_t position,
                           std::size_t count, BackupProgress* progress, ArchiveSnapshot& snapshot) {
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
  outcome.result = callLibrary(glo::CMD, glo::OUT_, progress, last);
  // Straight away, before another update may replace it: a cancel may put back over this file.
  if (outcome.result != kUnlhaCancelled) snapshot.noteOwnUpdate();
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

// What the whole run will store, so that a progress window can show one total. The records are
// read here; the walk over the folders runs where the progress runs work.
void countFolders(const std::vector<std::int32_t>& numbers, BackupProgress& progress) {
  std::vector<std::string> lines;
  for (const std::int32_t number : numbers) {
    files::RBR = number;
    if (files::manager().tryFetch(files::kRbrKey) != marlo::SevBenign) continue;
    lines.push_back(backupCommandLine(glo::PAT.view(), files::NAZIV_FOLDERA.view()));
  }
  std::uint64_t members = 0, bytes = 0;
  progress.run([&] {
    for (const std::string& line : lines) {
      std::uint64_t folderMembers = 0, folderBytes = 0;
      UnlhaCountFiles(line, folderMembers, folderBytes);
      members += folderMembers;
      bytes += folderBytes;
    }
    return 0;
  });
  progress.counted(members, bytes);
}

// The file the library makes of PAT: without a dot in its last part it gets ".lzh", and a
// relative name is taken from the current directory, as the library takes it.
std::filesystem::path archiveFile(std::string_view pat) {
  std::string name(marlo::clip(pat));
  std::replace(name.begin(), name.end(), '\\', '/');
  const std::size_t slash = name.rfind('/');
  const std::string_view last =
      std::string_view(name).substr(slash == std::string::npos ? 0 : slash + 1);
  if (!last.empty() && last.find('.') == std::string_view::npos) name += ".lzh";
  std::error_code ignored;
  return std::filesystem::absolute(name, ignored);
}

// The library tests the archive; its closing line (after the error lines, when it failed) is
// one more record of the log.
VerifyOutcome verifyArchive(LogFile& log, const std::string& archive, BackupProgress* progress) {
  if (backupRunHooks().beforeVerify) backupRunHooks().beforeVerify(archive);
  if (progress != nullptr) progress->verifying(archive);
  VerifyOutcome outcome;
  outcome.ran = true;
  marlo::HeapText command(glo::kLargeText);
  command = "t " + quotedPath(glo::PAT.view());
  // A buffer of its own: OUT_ keeps the last folder's report for the log viewer.
  marlo::HeapText report(glo::kLargeText);
  MemberProgress last;
  outcome.result = callLibrary(command, report, progress, last);
  const std::vector<std::string_view> lines = reportLines(marlo::clip(report.view()));
  if (!lines.empty()) outcome.closing = lines.back();
  std::string record;
  if (outcome.result != 0) {
    for (const std::string_view line : failureLines(lines)) outcome.errors.emplace_back(line);
    for (const std::string& line : outcome.errors) record += line + "\n";
  }
  log.TL = record + outcome.closing;
  log.append();
  return outcome;
}

// After a cancel: the archive goes back to what it was before the run, and the log says so.
bool putArchiveBack(LogFile& log, ArchiveSnapshot& snapshot, const std::string& archive) {
  const bool putBack = snapshot.putBack();  // false too when nothing could be taken
  if (putBack)
    log.TL = "Backup cancelled: " + archive + " is as it was before this backup.";
  else if (snapshot.replacedByAnother())
    log.TL = "Backup cancelled: " + archive +
             " was replaced by another update during this backup and is kept as that left it.";
  else
    log.TL = "Backup cancelled: " + archive +
             " keeps the folders stored before the cancel (it could not be put back).";
  log.append();
  return putBack;
}

}  // namespace

namespace {
std::string withThousands(std::uint64_t value) {
  return groupedNumber(static_cast<std::int64_t>(value), 0);
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
  if (cancelled)
    return putBack ? "Backup cancelled: the archive is as it was before the backup."
                   : "Backup cancelled: the archive keeps the folders stored before the cancel.";
  std::string line = "Backup: ";
  line += marlo::toText(static_cast<std::int64_t>(folders.size())) +
          (folders.size() == 1 ? " folder, " : " folders, ") + withThousands(members) +
          (members == 1 ? " member, " : " members, ") + withThousands(in) + " -> " +
          withThousands(out) + " bytes, ";
  line += failed == 0 ? std::string("no errors")
                      : marlo::toText(static_cast<std::int64_t>(failed)) +
                            (failed == 1 ? " folder failed" : " folders failed");
  if (verify.stopped())
    line += ", archive test cancelled";
  else if (verify.ran)
    line += verify.failed() ? ", archive NOT OK" : ", archive OK";
  return line + ".";
}

BackupRunHooks& backupRunHooks() {
  static BackupRunHooks hooks;
  return hooks;
}

namespace {
// A test's seams never outlive it: the fixture's glo::resetAll() clears them.
const glo::Reset kResetHooks{[] { backupRunHooks() = {}; }};
}  // namespace

BackupOutcome backUpFolders(const std::vector<std::int32_t>& numbers, BackupProgress* progress,
                            const std::function<void()>& afterFolder) {
  glo::PATTERN = kBackupSwitches;
  // Read where the main window reads its settings, before the run may move into the archive's
  // folder.
  const bool verify = readSetting(kVerifySetting, 1) != 0;

  BackupOutcome outcome;
  LogFile log(glo::LogFileName);
  glo::LogFileName = kBackupLogName;
  log.remove();
  log.create();
  log.open(marlo::kAccessReadWrite | marlo::kDenyWrite);
  std::error_code ignored;
  outcome.log = std::filesystem::absolute(kBackupLogName, ignored).string();

  enterArchiveFolder();
  files::NAZIV_FOLDERA = "";
  glo::FOLDER = files::NAZIV_FOLDERA.view();
  outcome.archive = archiveFile(glo::PAT.view()).string();

  // Only a progress can stop a run, so only then is the archive kept to be put back.
  ArchiveSnapshot snapshot;
  if (progress != nullptr && !numbers.empty()) {
    countFolders(numbers, *progress);
    progress->run([&] { return snapshot.take(outcome.archive) ? 0 : -1; });
  }
  for (const std::int32_t number : numbers) {
    outcome.folders.push_back(
        backUpFolder(log, number, outcome.folders.size() + 1, numbers.size(), progress, snapshot));
    if (afterFolder) afterFolder();
    glo::CMD.clear();
    if (outcome.folders.back().result == kUnlhaCancelled) {
      outcome.cancelled = true;
      break;
    }
  }
  if (progress != nullptr && progress->stopRequested()) outcome.cancelled = true;
  if (outcome.cancelled) {
    outcome.putBack = putArchiveBack(log, snapshot, outcome.archive);
  } else if (verify && std::filesystem::is_regular_file(outcome.archive, ignored)) {
    outcome.verify = verifyArchive(log, outcome.archive, progress);
  }
  snapshot.drop();
  log.close();
  if (progress != nullptr) progress->finished();
  return outcome;
}

BackupOutcome runBackup(marlo::win::Window& window, marlo::BrowseList& list, std::uint8_t minimize,
                        std::uint8_t showLog, BackupProgress* progress) {
  if (minimize == 1) window.setState(marlo::win::WindowState::Minimized);
  BackupOutcome outcome = backUpFolders(folderNumbers(list), progress, [&list] { list.reset(1); });
  window.display();
  if (showLog == 1) pokazi();
  // A cancelled run leaves the archive the disc already holds; after a stopped test the person
  // asked for the run to end, and no disc is written either.
  if (glo::CEK == 1 && !outcome.cancelled && !outcome.verify.stopped()) Pis_cd();
  return outcome;
}

}  // namespace app
