#include "app/backup_progress_window.h"

#include <algorithm>
#include <cstdio>

#include "app/restore/listing.h"
#include "platform/window/engine.h"

namespace app {

namespace {

namespace win = marlo::win;
namespace ev = marlo::win::event;
using win::ControlKind;
using win::n;

// The window's own events: the latest step is waiting, and the work's thread has ended.
constexpr win::EventCode kStepWaiting = ev::FirstProgramEvent + 0x200;
constexpr win::EventCode kWorkDone = ev::FirstProgramEvent + 0x201;

constexpr int kOneSecond = 100;     // hundredths: how often speed and time left are worked out
constexpr int kBarSteps = 1000;     // the bar counts in tenths of a per cent
constexpr std::size_t kShown = 64;  // characters a line of the window shows

// A long path keeps its beginning and its end, cut at whole UTF-8 characters.
std::string shortened(const std::string& text) {
  if (text.size() <= kShown) return text;
  const auto atCharacter = [&text](std::size_t at, int step) {
    while (at > 0 && at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
      at = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(at) + step);
    return at;
  };
  const std::size_t head = atCharacter(20, -1);
  const std::size_t tail = atCharacter(text.size() - (kShown - 23), 1);
  return text.substr(0, head) + "..." + text.substr(tail);
}

std::string counts(std::uint64_t done, std::uint64_t total, const char* unit) {
  return groupedNumber(static_cast<std::int64_t>(done), 0) + " of " +
         groupedNumber(static_cast<std::int64_t>(std::max(done, total)), 0) + " " + unit;
}

std::string rate(double bytesPerSecond) {
  char text[32];
  if (bytesPerSecond >= 1e6)
    std::snprintf(text, sizeof text, "%.1f MB/s", bytesPerSecond / 1e6);
  else if (bytesPerSecond >= 1e3)
    std::snprintf(text, sizeof text, "%.0f kB/s", bytesPerSecond / 1e3);
  else
    std::snprintf(text, sizeof text, "%.0f bytes/s", bytesPerSecond);
  return text;
}

std::string timeLeft(std::uint64_t seconds) {
  const std::string s = std::to_string(seconds % 60) + " s";
  const std::string m = std::to_string(seconds / 60 % 60) + " min";
  if (seconds < 60) return "about " + s + " left";
  if (seconds < 3600) return "about " + m + " " + s + " left";
  return "about " + std::to_string(seconds / 3600) + " h " + m + " left";
}

win::Engine& engine() {
  return win::Engine::instance();
}

}  // namespace

BackupProgressWindow::BackupProgressWindow() : window_(kProgressCaption, {0, 0, 260, 96}) {
  window_.setProcedure(kProgressProcedure);
  window_.setFont({"MS Sans Serif", 8});
  window_.setCentred(true);
  window_.add<ProgressControl>({
      {ProgressControl::Folder,
       ControlKind::Text,
       "Counting the files to back up ...",
       {8, 6, 244, 10}},
      {ProgressControl::Member, ControlKind::Text, "", {8, 18, 244, 10}},
      {ProgressControl::Bar, ControlKind::Progress, "", {8, 32, 244, 10}},
      {ProgressControl::Counts, ControlKind::Text, "", {8, 46, 244, 10}},
      {ProgressControl::Speed, ControlKind::Text, "", {8, 58, 244, 10}},
      {ProgressControl::Cancel, ControlKind::Button, "Cancel", {202, 74, 50, 14}},
  });
  window_.setRange(n(ProgressControl::Bar), 0, kBarSteps);
}

BackupProgressWindow::~BackupProgressWindow() {
  window_.close();
}

void BackupProgressWindow::open() {
  if (window_.isOpen()) return;
  window_.open();
  window_.setTimer(kOneSecond);
  phaseStart_ = engine().now();
}

void BackupProgressWindow::counted(std::uint64_t members, std::uint64_t bytes) {
  runFiles_ = members;
  runBytes_ = bytes;
  phase_ = Phase::Storing;
  phaseStart_ = engine().now();
  showCounts();
}

void BackupProgressWindow::folderStarting(std::size_t position, std::size_t count,
                                          const std::string& folder) {
  open();
  doneFiles_ += folderFiles_;
  doneBytes_ += folderBytes_;
  folderFiles_ = folderBytes_ = 0;
  window_.setText(n(ProgressControl::Folder), "Folder " + std::to_string(position) + " of " +
                                                  std::to_string(count) + ": " + shortened(folder));
  window_.setText(n(ProgressControl::Member), "");
}

void BackupProgressWindow::verifying(const std::string& archive) {
  open();
  phase_ = Phase::Verifying;
  phaseStart_ = engine().now();
  shown_ = {};
  window_.setText(n(ProgressControl::Folder), "Testing the archive " + shortened(archive));
  window_.setText(n(ProgressControl::Member), "");
  window_.setProgress(n(ProgressControl::Bar), 0);
  showCounts();
}

bool BackupProgressWindow::member(const MemberProgress& progress) {
  bool post = false;
  {
    std::lock_guard lock(mutex_);
    latest_.member.assign(progress.member);
    latest_.filesDone = progress.filesDone;
    latest_.filesTotal = progress.filesTotal;
    latest_.bytesDone = progress.bytesDone;
    latest_.bytesTotal = progress.bytesTotal;
    post = !posted_;
    posted_ = true;
  }
  if (post) engine().post(window_.handle(), kStepWaiting);
  return !cancel_.load();
}

int BackupProgressWindow::run(const std::function<int()>& work) {
  open();
  int result = 0;
  const win::WindowHandle target = window_.handle();
  const win::ThreadId worker = engine().start([&result, &work, target] {
    result = work();
    engine().post(target, kWorkDone);
  });
  if (worker == 0) return work();  // the program is ending: no thread to spare
  bool done = false;
  while (!done) {
    const win::Event* event = window_.accept();
    if (event == nullptr) break;
    switch (event->code) {
      case kStepWaiting:
        showStep();
        break;
      case kWorkDone:
        done = true;
        break;
      case ev::Timer:
        showSpeed();
        break;
      case ev::Accepted:
        if (event->control == n(ProgressControl::Cancel)) requestCancel();
        break;
      case ev::CloseWindow:  // the close box is Cancel: the run ends the window itself
        window_.consume();
        requestCancel();
        break;
      default:
        break;
    }
  }
  // The program is ending: the library stops after its member, and the run with it.
  if (!done) cancel_ = true;
  engine().waitForEnd(worker);
  showStep();
  return result;
}

void BackupProgressWindow::finished() {
  window_.close();
}

void BackupProgressWindow::requestCancel() {
  if (cancel_.exchange(true)) return;
  window_.disable(n(ProgressControl::Cancel));
  // Once the folders are stored, a cancel stops only the archive's test.
  window_.setText(n(ProgressControl::Speed),
                  phase_ == Phase::Verifying
                      ? "Cancelling the test: the archive keeps every folder stored ..."
                      : "Cancelling: the archive goes back to what it was before the backup ...");
}

void BackupProgressWindow::showStep() {
  {
    std::lock_guard lock(mutex_);
    if (!posted_) return;
    posted_ = false;
    shown_ = latest_;
  }
  if (phase_ == Phase::Storing) {
    folderFiles_ = shown_.filesDone;
    folderBytes_ = shown_.bytesDone;
  }
  const char* doing = phase_ == Phase::Verifying ? "Testing: " : "Storing: ";
  window_.setText(n(ProgressControl::Member), doing + shortened(shown_.member));
  showCounts();
}

void BackupProgressWindow::showCounts() {
  if (phase_ == Phase::Counting) return;
  std::uint64_t files = 0, fileTotal = 0, bytes = 0, byteTotal = 0;
  if (phase_ == Phase::Verifying) {
    files = shown_.filesDone;
    fileTotal = shown_.filesTotal;
    bytes = shown_.bytesDone;
    byteTotal = shown_.bytesTotal;
  } else {
    files = doneFiles_ + folderFiles_;
    fileTotal = runFiles_;
    bytes = doneBytes_ + folderBytes_;
    byteTotal = runBytes_;
  }
  window_.setText(n(ProgressControl::Counts),
                  counts(files, fileTotal, "files") + ", " + counts(bytes, byteTotal, "bytes"));
  const std::uint64_t whole = byteTotal > 0 ? byteTotal : fileTotal;
  const std::uint64_t part = byteTotal > 0 ? bytes : files;
  const int bar =
      whole == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(part, whole) * kBarSteps / whole);
  window_.setProgress(n(ProgressControl::Bar), bar);
  showSpeed();
}

// From the bytes of this phase (storing or testing) and the program's clock.
void BackupProgressWindow::showSpeed() {
  if (cancel_.load() || phase_ == Phase::Counting) return;
  const bool testing = phase_ == Phase::Verifying;
  const std::uint64_t bytes = testing ? shown_.bytesDone : doneBytes_ + folderBytes_;
  const std::uint64_t total = testing ? shown_.bytesTotal : runBytes_;
  const std::int64_t elapsed = elapsedHundredths();
  if (elapsed < kOneSecond || bytes == 0) {
    window_.setText(n(ProgressControl::Speed), "");
    return;
  }
  const double perSecond = static_cast<double>(bytes) * kOneSecond / static_cast<double>(elapsed);
  std::string line = rate(perSecond);
  if (total > bytes)
    line +=
        ", " +
        timeLeft(static_cast<std::uint64_t>(static_cast<double>(total - bytes) / perSecond) + 1);
  window_.setText(n(ProgressControl::Speed), line);
}

std::int64_t BackupProgressWindow::elapsedHundredths() const {
  const marlo::Moment now = engine().now();
  return static_cast<std::int64_t>(now.day - phaseStart_.day) * marlo::kHundredthsPerDay +
         (now.time - phaseStart_.time);
}

}  // namespace app
