#include "app/windowed_backup.h"

#include <fstream>
#include <iterator>

#include "app/backup_progress_window.h"
#include "app/globals.h"
#include "app/restore/viewers.h"
#include "app/tray.h"
#include "platform/dialogs/dialogs.h"
#include "platform/window/engine.h"
#include "platform/window/window.h"

namespace app {

namespace {

namespace win = marlo::win;
namespace button = marlo::button;
using marlo::MessageIcon;

constexpr std::size_t kFoldersNamed = 10;  // a box taller than the screen helps nobody
constexpr std::size_t kErrorsNamed = 5;

// One line of the box; the box's lines are apart with '\n', so a "|" in a folder's name stays.
std::string folderLine(const FolderOutcome& folder) {
  std::string line = "Folder " + std::to_string(folder.number);
  if (!folder.folder.empty()) line += ", " + folder.folder;
  return line + ": " + folder.why + "\n";
}

// The log in the viewer that shows the backup's report: as much of it as the report's buffer
// holds, lent for as long as the viewer is open (it returns when it closes), so that "Show LOG"
// shows the last folder's report again afterwards.
void showLog(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const std::string more = "\r\n... (" + file + " goes on)";
  if (text.size() > glo::OUT_.capacity())
    text = text.substr(0, glo::OUT_.capacity() - more.size()) + more;
  const std::string lastReport(glo::OUT_.view());
  glo::OUT_ = text;
  pokazi();
  glo::OUT_ = lastReport;
}

}  // namespace

std::string failureText(const BackupOutcome& outcome) {
  std::string text;
  std::size_t named = 0, failed = 0;
  for (const FolderOutcome& folder : outcome.folders) {
    if (!folder.failed) continue;
    if (failed++ == 0) text += "These folders were not backed up:\n";
    if (named < kFoldersNamed) {
      text += folderLine(folder);
      ++named;
    }
  }
  if (failed > named) text += "... and " + std::to_string(failed - named) + " more.\n";
  if (outcome.verify.failed()) {
    if (!text.empty()) text += "\n";
    text += "The archive failed its test after the backup: " + outcome.verify.closing + "\n";
    for (std::size_t i = 0; i < outcome.verify.errors.size() && i < kErrorsNamed; ++i)
      text += outcome.verify.errors[i] + "\n";
  }
  if (text.empty()) return text;
  return text + "\nShow the log?";
}

void WindowedBackup::run(win::Window& main, marlo::BrowseList& list, std::uint8_t minimize,
                         std::uint8_t showLog) {
  if (handler_ == 0) {
    handler_ = main.registerHandler(kBackupOutcomeEvent, [this, &main](const win::Event&) {
      tell(main);
      return false;
    });
  }
  {
    BackupProgressWindow progress;
    outcome_ = runBackup(main, list, minimize, showLog, &progress);
  }
  main.post(kBackupOutcomeEvent);
}

void WindowedBackup::tell(win::Window& main) {
  const std::string summary = outcome_.summary();
  main.setStatusText(1, summary);
  const std::string failure = failureText(outcome_);
  if (InTray == 1) {
    win::Engine::instance().trayMessage(
        {main.handle(), kTrayIconId, kOutcomeCaption, summary,
         failure.empty() ? MessageIcon::Asterisk : MessageIcon::Hand});
  }
  if (failure.empty()) return;
  const unsigned answer = marlo::dialogs::messageBoxOfLines(
      failure, kOutcomeCaption, MessageIcon::Hand, button::Yes | button::No, button::No);
  if (answer == button::Yes) showLog(outcome_.log);
}

}  // namespace app
