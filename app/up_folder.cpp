#include "app/up_folder.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "app/files_table.h"
#include "app/globals.h"
#include "framework/error_manager.h"
#include "framework/window/form_toolbar.h"
#include "framework/window/window_controller.h"
#include "platform/core/number.h"
#include "platform/dialogs/dialogs.h"
#include "platform/storage/profile.h"
#include "platform/window/window.h"

namespace app {

namespace {

using marlo::SevBenign;
using marlo::SeverityLevel;
using marlo::SevNotify;
using marlo::win::ControlKind;
using marlo::win::n;
namespace flag = marlo::win::flag;

// The last record the form saved: the history key recalls its values in the next run too.
marlo::RecordImage& savedRecord() {
  static marlo::RecordImage saved;
  return saved;
}
const glo::Reset kReset{[] { savedRecord().clear(); }};

void refuseLongPath(std::size_t length) {
  marlo::dialogs::messageBox("The folder path is " +
                                 marlo::toText(static_cast<std::int64_t>(length)) +
                                 " characters long.|A folder path can have at most " +
                                 marlo::toText(static_cast<std::int64_t>(kFolderPathCapacity)) +
                                 " characters; choose a folder with a shorter path.",
                             kFolderFormCaption, marlo::MessageIcon::Exclamation);
}

class FolderForm : public marlo::WindowController {
 public:
  SeverityLevel init() override;
  SeverityLevel kill() override;
  void ask() override;
  std::uint8_t run() override;
  SeverityLevel onAccepted() override;

 private:
  SeverityLevel prepare();
  void layOut();
  // The folder entry shows the typed text even when it is too long to keep, so the person sees
  // what was refused; only a path that fits reaches the record.
  [[nodiscard]] marlo::win::Binding folderBinding();
  void browseForFolder();
  SeverityLevel checkFolder();

  marlo::CString<41> ACTIONMESSAGE;
  std::string refusedPath_;  // the typed path while it is too long; empty otherwise
  marlo::FormToolbar toolbar_;
  marlo::FormToolbarTarget target_;
  marlo::win::Window window_{kFolderFormCaption, {0, 0, 249, 49}};
};

SeverityLevel FolderForm::init() {
  // The number is hidden, so the form starts in the folder entry, where the history key works.
  return setUp({.procedure = "up_folder",
                .window = &window_,
                .firstField = n(FolderFormControl::Folder),
                .toolbar = &toolbar_,
                .beforeOpen = [this] { return prepare(); }});
}

SeverityLevel FolderForm::prepare() {
  addToolbarTarget(target_);
  HISTORYKEY = 734;
  addHistoryFile(files::table(), savedRecord());
  addHistoryField(n(FolderFormControl::Number), 1);
  addHistoryField(n(FolderFormControl::Folder), 2);
  addUpdateFile(files::manager());
  addButton(n(FolderFormControl::Cancel), marlo::ResponseCancelled);
  files::relations().open();
  FILESOPENED = true;
  PRIMARY = &files::relations();
  if (REQUEST == marlo::RequestView) {
    INSERTACTION = 1;
    DELETEACTION = 1;
    CHANGEACTION = 0;
    CANCELACTION = 0;
    OKCONTROL = 0;
  } else {
    OKCONTROL = n(FolderFormControl::Ok);
    if (primeUpdate() != 0) return SevNotify;
  }
  layOut();
  return SevBenign;
}

void FolderForm::layOut() {
  using C = FolderFormControl;
  using K = ControlKind;
  window_.setProcedure("up_folder");
  window_.setFont({"Tahoma", 8});
  window_.setCentred(true);
  // One table of the controls, each added as its number.
  window_.add<FolderFormControl>({
      {C::NumberPrompt, K::Prompt, "Nr:", {4, 4, 14, 10}, flag::Hidden},
      {C::Number, K::Entry, "", {20, 4, 30, 10}, flag::Hidden},
      {C::FolderPrompt, K::Prompt, "Folder to Add:", {4, 17, 50, 10}},
      {C::Folder, K::Entry, "", {56, 16, 170, 12}},
      {C::Browse, K::Button, "...", {229, 16, 16, 12}},
      {C::Ok, K::Button, "OK", {200, 32, 45, 14}, flag::Default},
      {C::Cancel, K::Button, "Cancel", {150, 32, 45, 14}},
      {C::ActionMessage, K::Display, "", {4, 3, 160, 10}, flag::Skip | flag::Transparent},
  });
  window_.setPicture(n(C::Number), "n_6");
  window_.bind(n(C::Number), marlo::win::Binding::to(files::RBR));
  window_.setPicture(n(C::Folder), "s255");
  window_.setName(n(C::Folder), "?FILES:NAZIV_FOLDERA");
  window_.bind(n(C::Folder), folderBinding());
  window_.setName(n(C::Ok), "?OK");
  window_.setName(n(C::Cancel), "?CANCEL");
  window_.setPicture(n(C::ActionMessage), "s40");
  window_.bind(n(C::ActionMessage), marlo::win::Binding::to(ACTIONMESSAGE));
  if (REQUEST == marlo::RequestView) window_.setFlag(n(C::Folder), flag::ReadOnly, true);
}

marlo::win::Binding FolderForm::folderBinding() {
  return {[this] { return refusedPath_.empty() ? files::NAZIV_FOLDERA.str() : refusedPath_; },
          [this](std::string_view typed) {
            if (typed.size() > kFolderPathCapacity) {
              refusedPath_ = std::string(typed);
              return;
            }
            refusedPath_.clear();
            files::NAZIV_FOLDERA = typed;
          }};
}

void FolderForm::ask() {
  switch (REQUEST) {
    case marlo::RequestView:
      ACTIONMESSAGE = "View Record";
      break;
    case marlo::RequestInsert:
      ACTIONMESSAGE = "Record will be Added";
      break;
    case marlo::RequestChange:
      ACTIONMESSAGE = "Record will be Changed";
      break;
    default:
      break;
  }
  WindowController::ask();
}

std::uint8_t FolderForm::run() {
  const std::uint8_t response = WindowController::run();
  return REQUEST == marlo::RequestView ? marlo::ResponseCancelled : response;
}

SeverityLevel FolderForm::onAccepted() {
  if (const SeverityLevel r = WindowController::onAccepted(); r != SevBenign) return r;
  switch (static_cast<FolderFormControl>(window_.acceptedControl())) {
    case FolderFormControl::Folder:
      return checkFolder();
    case FolderFormControl::Browse:
      window_.update();
      browseForFolder();
      window_.display();
      break;
    case FolderFormControl::Ok:
      window_.update();
      if (REQUEST == marlo::RequestView) window_.post(marlo::win::event::CloseWindow);
      break;
    case FolderFormControl::NumberPrompt:
    case FolderFormControl::Number:
    case FolderFormControl::FolderPrompt:
    case FolderFormControl::Cancel:
    case FolderFormControl::ActionMessage:
      break;
  }
  return SevBenign;
}

// A path the record cannot hold whole is refused here rather than stored cut: a cut path would
// back up some other folder, or none.
SeverityLevel FolderForm::checkFolder() {
  if (refusedPath_.empty()) return SevBenign;
  refuseLongPath(refusedPath_.size());
  window_.select(n(FolderFormControl::Folder));  // also ends a running OK pass
  return SevNotify;
}

void FolderForm::browseForFolder() {
  const std::string shown = refusedPath_.empty() ? files::NAZIV_FOLDERA.str() : refusedPath_;
  const std::string chosen =
      marlo::dialogs::folderDialog("Choose Directory to Compress:", shown, /*keepDirectory=*/true);
  if (chosen.empty()) return;
  if (chosen.size() > kFolderPathCapacity) {
    refuseLongPath(chosen.size());
    return;
  }
  refusedPath_.clear();
  files::NAZIV_FOLDERA = chosen;
  // As the folder dialog leaves it on Windows: later relative names resolve in that folder.
  std::error_code ignored;
  std::filesystem::current_path(marlo::nativePath(chosen), ignored);
}

SeverityLevel FolderForm::kill() {
  const SeverityLevel r = WindowController::kill();
  if (r == SevNotify) return r;
  if (FILESOPENED) files::relations().close();
  marlo::globalErrors.setProcedureName({}, true);
  return r;
}

}  // namespace

std::uint8_t up_folder() {
  FolderForm form;
  const std::uint8_t response = form.run();
  // The global is for callers that learn the answer from it; this caller gets its own copy,
  // which the Restore window's thread (clearing the global as it opens) cannot change.
  marlo::lastResponse = response;
  return response;
}

}  // namespace app
