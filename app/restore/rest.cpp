#include "app/restore/rest.h"

#include <unistd.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "app/log_file.h"
#include "app/restore/listing.h"
#include "app/restore/restore_commands.h"
#include "app/restore/restore_outcome.h"
#include "app/restore/restore_state.h"
#include "app/restore/viewers.h"
#include "framework/error_manager.h"
#include "framework/file_dialog.h"
#include "framework/user_interface.h"
#include "framework/window/window_component.h"
#include "framework/window/window_controller.h"
#include "framework/window/window_resizer.h"
#include "platform/core/number.h"
#include "platform/dialogs/dialogs.h"
#include "platform/storage/text_file.h"
#include "platform/window/engine.h"
#include "platform/window/window.h"

namespace app {

namespace {

using marlo::SeverityLevel;
namespace win = marlo::win;
using win::n;
namespace fs = std::filesystem;

enum class RestControl : int {
  Panel = 1,
  ArchivePrompt,
  ArchiveName,
  LookupFile,
  Test,
  Log,
  Restore,
  UncompressedPrompt,
  UncompressedSize,
  CompressedPrompt,
  FileCountPrompt,
  FileCount,
  Close,
  OutText,
  List,
  CompressedSize,
  ExtractPrompt,
  ExtractFolder,
  ChooseFolder,
};

constexpr std::string_view kCaption = "Restore";
constexpr std::string_view kFolderDialogTitle = "Choose Directory to DeCompress to:";
constexpr std::string_view kSavedOutput = "outfile.txt";
constexpr std::int32_t kRestoreOutSize = 999999;
constexpr std::size_t kArchiveTyping = 99;
constexpr std::size_t kFolderTyping = 221;
// A signed number with thousands commas in 14 positions.
constexpr std::string_view kTotalPicture = "n-14";
constexpr std::uint16_t kPanelPositional = 0x100;
constexpr std::uint16_t kPanelResize = marlo::resize_strategy::kLockHeight;
const win::Font kFont{"Tahoma", 8};

// An entry shows only the first `shown` characters of its variable, and committing the screen
// values would cut a longer path chosen in a dialog to that many characters: another path.
// The variable keeps its whole text as long as the screen still shows its beginning unchanged.
win::Binding pathBinding(marlo::HeapText& path, std::size_t shown) {
  return {[&path] { return std::string(path.view()); },
          [&path, shown](std::string_view screen) {
            const std::string_view whole = path.view();
            if (whole.size() > shown && screen == whole.substr(0, shown)) return;
            path = screen;
          }};
}

// The hidden text box over the report: its text without the blank fill. Nobody can type into
// it, so committing the screen values leaves the report exactly as the library wrote it.
win::Binding reportBinding(const marlo::HeapText& report) {
  return {[&report] { return std::string(marlo::clip(report.view())); }, [](std::string_view) {}};
}

bool enterFolder(const fs::path& folder) {
  std::error_code error;
  if (folder.empty()) return false;
  fs::current_path(folder, error);
  return !error;
}

class RestoreWindow : public marlo::WindowController {
 public:
  SeverityLevel init() override {
    return setUp({.procedure = "rest",
                  .window = &window_,
                  .firstField = n(RestControl::Panel),
                  .admit = [this] { return admit(); },
                  .beforeOpen = [this] { return layOut(); },
                  .afterOpen = [this] { return opened(); }});
  }

  SeverityLevel kill() override {
    const SeverityLevel r = WindowController::kill();
    if (r == marlo::SevNotify) return r;
    if (ownsThread_) glo::RestoreThread = 0;
    ownsThread_ = false;
    marlo::globalErrors.setProcedureName({}, true);
    return r;
  }

  SeverityLevel onWindowEvent() override {
    if (const SeverityLevel r = WindowController::onWindowEvent(); r != marlo::SevBenign) return r;
    switch (window_.eventCode()) {
      case win::event::OpenWindow:
        glo::RestoreOutSize = kRestoreOutSize;
        redisplay();
        break;
      case win::event::GainFocus:
        bringForward();
        break;
      default:
        break;
    }
    return marlo::SevBenign;
  }

  SeverityLevel onAccepted() override {
    const auto control = static_cast<RestControl>(window_.eventControl());
    // The folder is chosen before the controller sees the button.
    if (control == RestControl::ChooseFolder) chooseExtractFolder();
    if (const SeverityLevel r = WindowController::onAccepted(); r != marlo::SevBenign) return r;
    switch (control) {
      case RestControl::LookupFile:
        listChosenArchive();
        break;
      case RestControl::Test:
        runArchiveCommand(kTestCommand);
        break;
      case RestControl::Restore:
        runArchiveCommand(kExtractCommand);
        break;
      case RestControl::Log:
        saveAndShowReport();
        break;
      case RestControl::Close:
        commit();
        window_.post(win::event::CloseWindow);
        break;
      case RestControl::Panel:
      case RestControl::ArchivePrompt:
      case RestControl::ArchiveName:
      case RestControl::UncompressedPrompt:
      case RestControl::UncompressedSize:
      case RestControl::CompressedPrompt:
      case RestControl::FileCountPrompt:
      case RestControl::FileCount:
      case RestControl::OutText:
      case RestControl::List:
      case RestControl::CompressedSize:
      case RestControl::ExtractPrompt:
      case RestControl::ExtractFolder:
      case RestControl::ChooseFolder:
        break;
    }
    return marlo::SevBenign;
  }

 private:
  SeverityLevel opened() {
    resizer_.init(window_, marlo::WindowResizer::kResize, true, false);
    resizer_.setParents();
    resizer_.setStrategy(n(RestControl::Panel), kPanelPositional, kPanelResize);
    addResizer(resizer_);
    fileDialog_.init();
    fileDialog_.FLAGS |= marlo::file_dialog_flag::kLongName;
    fileDialog_.setMask("Archive", "*.LZH");
    return marlo::SevBenign;
  }

  // A second start while a Restore window is open only brings that one forward.
  SeverityLevel admit() {
    if (REQUEST == marlo::RequestSelect || claimSingleInstance()) return marlo::SevBenign;
    return marlo::SevFatal;
  }

  // Makes this window the one Restore window, or hands the request to the open one. The
  // claim is one atomic step, so two starts close together never both open a window.
  bool claimSingleInstance() {
    const win::ThreadId self = win::Engine::currentThread();
    for (;;) {
      win::ThreadId open = 0;
      if (glo::RestoreThread.compare_exchange_strong(open, self)) {
        ownsThread_ = true;
        return true;
      }
      if (win::Engine::instance().postToThread(open, win::event::GainFocus)) return false;
      // The open window's thread ended between the two steps; its claim is gone with it.
      glo::RestoreThread.compare_exchange_strong(open, 0);
    }
  }

  void bringForward() {
    win::Engine::instance().activate(window_.handle());
    if (window_.state() == win::WindowState::Minimized) window_.setState(win::WindowState::Normal);
  }

  void commit() {
    update();
    window_.update();
  }

  void listChosenArchive() {
    commit();
    glo::NAZ_REST = fileDialog_.ask(false);
    runListCommand();
    redisplay();
    readArchiveListing();
    redisplay();
  }

  void runArchiveCommand(std::string_view command) {
    commit();
    const bool testing = command == kTestCommand;
    if (!testing && !confirmRestoreTarget(glo::RASPK.view())) return;
    glo::RestoreCMD = restoreCommandLine(command, glo::NAZ_REST.view(), glo::RASPK.view());
    glo::OUT.clear();
    const int result = Unlha(glo::HWND.view(), glo::RestoreCMD, glo::OUT, glo::RestoreOutSize);
    glo::RestoreRESULT = marlo::toText(result);
    redisplay();
    tellArchiveOutcome(testing, result, glo::OUT.view());
  }

  // Saves the last report to "outfile.txt" in the current directory, then shows it. Failures
  // of the file are not reported: the viewer shows the report from memory in every case.
  void saveAndShowReport() {
    commit();
    glo::RestoreLogFileName = kSavedOutput;
    LogFile log(glo::RestoreLogFileName);
    log.remove();
    log.create();
    log.open(marlo::kAccessReadWrite | marlo::kDenyWrite);
    log.TL = glo::OUT.view();
    log.append();  // an empty report is one empty line
    log.close();
    pokazi1();
  }

  // The folder dialog starts in the extract folder, or in the current directory when that
  // cannot be entered. Only a confirmed folder changes the extract folder and becomes the
  // current directory. The dialog is handed its start as a whole path instead of being shown
  // from inside it: moving the current directory there and back around the dialog would undo
  // whatever a backup on the main window's thread did to it while the person was choosing.
  void chooseExtractFolder() {
    const std::string chosen =
        marlo::dialogs::folderDialog(kFolderDialogTitle, extractDialogStart(), true);
    if (!chosen.empty()) {
      glo::RASPK = chosen;
      enterFolder(chosen);
    }
    redisplay();
  }

  // Whole, so that a folder typed relative to the current directory is found where it is.
  static std::string extractDialogStart() {
    std::error_code error;
    const std::string wanted(marlo::clip(glo::RASPK.view()));
    if (!wanted.empty()) {
      const fs::path whole = fs::canonical(fs::path(wanted), error);
      if (!error && fs::is_directory(whole, error) && ::access(whole.c_str(), X_OK) == 0)
        return whole.string();
    }
    return fs::current_path(error).string();
  }

  SeverityLevel layOut() {
    window_.setProcedure("rest");
    window_.setCentred(true);
    window_.setFont(kFont);
    window_.setResizable(true);
    addControls();
    for (const RestControl inside :
         {RestControl::ArchivePrompt, RestControl::ArchiveName, RestControl::LookupFile,
          RestControl::ExtractPrompt, RestControl::ExtractFolder, RestControl::ChooseFolder})
      window_.setParent(n(inside), n(RestControl::Panel));
    path(RestControl::ArchiveName, glo::NAZ_REST, kArchiveTyping);
    path(RestControl::ExtractFolder, glo::RASPK, kFolderTyping);
    total(RestControl::UncompressedSize, glo::UNLHAGETARCORIGINALSIZE_);
    total(RestControl::FileCount, glo::FILE_COUNT);
    total(RestControl::CompressedSize, glo::ARC_FILE_SIZE);
    window_.bind(n(RestControl::OutText), reportBinding(glo::OUT));
    nameControls();
    const int list = n(RestControl::List);
    win::ListColumn crc = win::column("Crc32", 58, win::Align::Right, "n_13");
    crc.headerAlign = win::Align::Left;
    window_.setColumns(list, {win::column("File name", 208, win::Align::Left, "s255"),
                              win::column("Original size", 55, win::Align::Right),
                              win::column("Compr size", 52, win::Align::Right, "n13"), crc});
    window_.setSource(list, &glo::ListingQueue);
    return marlo::SevBenign;
  }

  // One table of the controls, each added as its number.
  void addControls() {
    using C = RestControl;
    using K = win::ControlKind;
    namespace flag = win::flag;
    window_.add<RestControl>({
        {C::Panel, K::Panel, "", {0, 0, 399, 40}},
        {C::ArchivePrompt, K::Prompt, "Archive Name:", {6, 7, 60, 10}, flag::Bold},
        {C::ArchiveName, K::Entry, "", {68, 6, 300, 12}, flag::Bold},
        {C::LookupFile, K::Button, "...", {372, 6, 20, 12}},
        {C::Test, K::Button, "&Test", {4, 200, 50, 14}},
        {C::Log, K::Button, "&Log", {58, 200, 50, 14}},
        {C::Restore, K::Button, "&Restore", {345, 200, 50, 14}},
        {C::UncompressedPrompt, K::Text, "Uncompressed size:", {4, 222, 66, 10}},
        {C::UncompressedSize, K::Display, "", {70, 222, 56, 10}, flag::ReadOnly},
        {C::CompressedPrompt, K::Text, "Compressed size:", {132, 222, 60, 10}},
        {C::FileCountPrompt, K::Prompt, "File count:", {262, 222, 40, 10}},
        {C::FileCount, K::Display, "", {304, 222, 56, 10}, flag::ReadOnly},
        {C::Close, K::Button, "&Close", {112, 200, 50, 14}},
        {C::OutText, K::TextBox, "", {4, 234, 20, 2}, flag::Hidden | flag::ReadOnly},
        {C::List, K::List, "", {4, 44, 391, 152}, flag::VScroll | flag::HScroll},
        {C::CompressedSize, K::Display, "", {194, 222, 56, 10}, flag::ReadOnly},
        {C::ExtractPrompt, K::Prompt, "Extract Folder:", {6, 24, 60, 10}, flag::Bold},
        {C::ExtractFolder, K::Entry, "", {68, 23, 300, 12}, flag::Bold},
        {C::ChooseFolder, K::Button, "...", {372, 23, 20, 12}},
    });
  }

  void nameControls() {
    window_.setName(n(RestControl::LookupFile), "?LOOKUPFILE");
    window_.setName(n(RestControl::Test), "?BUTTON6");
    window_.setName(n(RestControl::Log), "?BUTTON5");
    window_.setName(n(RestControl::Restore), "?OKBUTTON");
    window_.setName(n(RestControl::Close), "?CANCELBUTTON");
    window_.setName(n(RestControl::List), "?LIST1");
    window_.setName(n(RestControl::ChooseFolder), "?BUTTON4");
  }

  void path(RestControl control, marlo::HeapText& variable, std::size_t shown) {
    window_.setPicture(n(control), "s" + std::to_string(shown));
    window_.bind(n(control), pathBinding(variable, shown));
  }

  void total(RestControl control, std::int32_t& variable) {
    window_.setPicture(n(control), std::string(kTotalPicture));
    window_.setAlign(n(control), win::Align::Right);
    window_.bind(n(control), win::Binding::to(variable));
  }

  win::Window window_{std::string(kCaption), {0, 0, 399, 238}};
  marlo::WindowResizer resizer_;
  marlo::FileDialog fileDialog_;
  bool ownsThread_ = false;
};

}  // namespace

void rest() {
  RestoreWindow window;
  window.run();
}

win::ThreadId startRest() {
  return win::Engine::instance().start(rest, kRestoreStackHint);
}

}  // namespace app
