#include "app/trayicon.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "app/files_table.h"
#include "app/globals.h"
#include "app/restore/rest.h"
#include "app/settings.h"
#include "app/tray.h"
#include "app/up_folder.h"
#include "app/windowed_backup.h"
#include "framework/error_manager.h"
#include "framework/window/browse_list.h"
#include "framework/window/form_toolbar.h"
#include "framework/window/window_controller.h"
#include "platform/core/number.h"
#include "platform/core/picture.h"
#include "platform/dialogs/dialogs.h"
#include "platform/storage/profile.h"
#include "platform/window/window.h"

namespace app {

namespace {

using marlo::SevBenign;
using marlo::SeverityLevel;
using marlo::win::Align;
using marlo::win::Binding;
using marlo::win::ControlKind;
using marlo::win::Font;
using marlo::win::n;
namespace ev = marlo::win::event;
namespace flag = marlo::win::flag;

class MainWindow : public marlo::WindowController {
 public:
  SeverityLevel init() override;
  SeverityLevel kill() override;
  std::uint8_t runProcedure(int number, std::uint8_t request) override;
  SeverityLevel onAccepted() override;
  SeverityLevel onFieldEvent() override;
  SeverityLevel onWindowEvent() override;

 private:
  SeverityLevel prepare();
  SeverityLevel takeOverTray();
  void layOut();
  void addControls();
  void bindControls();
  void nameControls();
  void setUpList();
  void readSettings(bool withLog);
  void writeSettings();
  void showTimedState();
  void opened();
  void closing();
  void chooseArchive();
  [[nodiscard]] marlo::shell::HWND handle() const { return window_.handle(); }

  // The procedure's own variables.
  marlo::StandardTime TIMED = marlo::kNoTime;
  std::uint8_t MINIMIZE = 0;
  std::uint8_t NOTEPAD = 0;
  marlo::CString<21> DANAS;
  std::int32_t SAT1 = 0;
  std::int32_t SAT2 = 0;
  std::int32_t SAT3 = 0;
  std::int32_t GET_R = 0;
  marlo::StandardTime OSTALO = marlo::kNoTime;

  marlo::BrowseList list_;
  marlo::FormToolbar toolbar_;
  WindowedBackup backup_;
  marlo::win::Window window_{kMainCaption, {0, 0, 488, 226}};
};

SeverityLevel MainWindow::init() {
  return setUp({.procedure = "Trayicon",
                .window = &window_,
                .firstField = n(MainControl::LIST),
                .toolbar = &toolbar_,
                .beforeOpen = [this] { return prepare(); },
                .afterOpen = [this] { return takeOverTray(); }});
}

// The window's message procedure becomes the tray icon's, which passes on what it does not take.
SeverityLevel MainWindow::takeOverTray() {
  OldWindowProc = reinterpret_cast<marlo::shell::WNDPROC>(
      marlo::shell::SetWindowLongPtrA(handle(), marlo::shell::GWLP_WNDPROC,
                                      reinterpret_cast<marlo::shell::LONG_PTR>(&TrayWindowProc)));
  FillTrayIconData(handle());
  return SevBenign;
}

SeverityLevel MainWindow::prepare() {
  files::relations().open();
  FILESOPENED = true;
  readSettings(/*withLog=*/false);
  layOut();
  useWindow(window_);  // the list is set up on the laid-out window before it opens
  setUpList();
  return SevBenign;
}

void MainWindow::layOut() {
  window_.setProcedure("Trayicon");
  window_.setIcon("ICON11.ICO");
  window_.setFont({"MS Sans Serif", 8});
  window_.setCentred(true);
  window_.setStatusBar({300, -1});
  addControls();
  bindControls();
  nameControls();
  window_.setFont(n(MainControl::STRING4), Font{"Tahoma", 22, true});
  window_.setFont(n(MainControl::STRING5), Font{"Small Fonts", 7});
  window_.setFont(n(MainControl::STRING6), Font{"Small Fonts", 7});
  window_.setFont(n(MainControl::LIST), Font{"Tahoma", 10, true});
  marlo::win::ListColumn nr = marlo::win::column("Nr", 32, Align::Right, "n_6");
  nr.headerAlign = Align::Center;
  window_.setColumns(
      n(MainControl::LIST),
      {nr, marlo::win::column("Folder Name", 431), marlo::win::column("test folder", 0),
       marlo::win::column("glo : rbr", 0), marlo::win::column("glo :", 0)});
}

// One table of the controls, each added as its number.
void MainWindow::addControls() {
  using C = MainControl;
  using K = ControlKind;
  window_.add<MainControl>({
      {C::STRING4, K::Text, "Marlo BACKUP 0.1", {8, 3, 200, 22}, flag::Transparent},
      {C::NAZIV_FOLDERA, K::Display, "", {300, 26, 100, 10}, flag::Hidden},
      {C::OKBUTTON, K::Button, "&Backup NOW", {8, 200, 90, 18}},
      {C::CEK_SATI, K::CheckBox, " Activated", {300, 36, 60, 10}, flag::Hidden},
      {C::PANEL1, K::Panel, "", {4, 30, 480, 146}},
      {C::LINE1, K::Line, "", {8, 27, 472, 1}},
      {C::STRING5,
       K::Text,
       "Backs up a list of folders into one LZH archive and can write it to a CD-RW.",
       {212, 5, 270, 9}},
      {C::STRING6,
       K::Text,
       "LZH compression: the Marlo LZH library.  Disc writing: libisofs and libburn.",
       {212, 15, 270, 9}},
      {C::CANCELBUTTON, K::Button, "&Close", {420, 200, 60, 18}},
      {C::PANEL2, K::Panel, "", {4, 178, 480, 44}},
      {C::USPOREDNI_SAT_PROMPT, K::Prompt, "Time:", {300, 46, 30, 10}, flag::Hidden},
      {C::USPOREDNI_SAT_, K::Entry, "", {330, 46, 40, 10}, flag::Hidden},
      {C::USPOREDNI_SAT_PROMPT2, K::Prompt, "Next Backup:", {300, 56, 50, 10}, flag::Hidden},
      {C::TIMED, K::Entry, "", {350, 56, 40, 10}, flag::Hidden},
      {C::OSTALO, K::Entry, "", {300, 66, 50, 10}, flag::Hidden},
      {C::BUTTON6, K::Button, "&Restore", {104, 200, 60, 18}},
      {C::LIST, K::List, "", {8, 34, 472, 120}, flag::Immediate | flag::VScroll},
      {C::GET_R, K::Entry, "", {300, 76, 20, 10}, flag::Hidden},
      {C::SAJZ, K::Entry, "", {300, 86, 60, 10}, flag::Hidden},
      {C::INSERT, K::Button, "&Insert", {8, 158, 50, 14}},
      {C::CHANGE, K::Button, "&Change", {62, 158, 50, 14}},
      {C::DELETE_, K::Button, "&Delete", {116, 158, 50, 14}},
      {C::STRING8, K::Prompt, "Archive name:", {8, 184, 48, 10}},
      {C::PAT, K::Entry, "", {58, 182, 400, 12}},
      {C::NOTEPAD, K::CheckBox, " Show LOG", {300, 96, 50, 10}, flag::Hidden},
      {C::CEK, K::CheckBox, " Write to CDRW", {250, 160, 70, 10}},
      {C::BUTTON10, K::Button, "...", {462, 182, 18, 12}},
      {C::DANAS, K::Display, "", {300, 106, 60, 10}, flag::Hidden},
      {C::SAT1, K::Display, "", {300, 116, 60, 10}, flag::Hidden},
      {C::SAT2, K::Entry, "", {300, 126, 60, 10}, flag::Hidden},
      {C::SAT3, K::Display, "", {300, 136, 60, 10}, flag::Hidden},
      {C::MINIMIZE, K::CheckBox, " Minimize", {180, 160, 60, 10}, flag::Transparent},
  });
}

// The variables the controls show, with the pictures they are shown through.
void MainWindow::bindControls() {
  const auto bound = [this](MainControl c, const char* picture, Binding binding) {
    window_.setPicture(n(c), picture);
    window_.bind(n(c), std::move(binding));
  };
  bound(MainControl::NAZIV_FOLDERA, "s221", Binding::to(files::NAZIV_FOLDERA));
  window_.bind(n(MainControl::CEK_SATI), Binding::to(glo::CEK_SATI));
  bound(MainControl::USPOREDNI_SAT_, "t4", Binding::to(glo::USPOREDNI_SAT_));
  bound(MainControl::TIMED, "t4", Binding::to(TIMED));
  bound(MainControl::OSTALO, "n_11", Binding::to(OSTALO));
  bound(MainControl::GET_R, "n3", Binding::to(GET_R));
  bound(MainControl::SAJZ, "n13", Binding::to(glo::SAJZ));
  bound(MainControl::PAT, "s254", Binding::to(glo::PAT));
  window_.bind(n(MainControl::NOTEPAD), Binding::to(NOTEPAD));
  window_.bind(n(MainControl::CEK), Binding::to(glo::CEK));
  bound(MainControl::DANAS, "s20", Binding::to(DANAS));
  bound(MainControl::SAT1, "n_14", Binding::to(SAT1));
  bound(MainControl::SAT2, "n_14", Binding::to(SAT2));
  bound(MainControl::SAT3, "n_14", Binding::to(SAT3));
  window_.bind(n(MainControl::MINIMIZE), Binding::to(MINIMIZE));
}

void MainWindow::nameControls() {
  struct Name {
    MainControl control;
    const char* name;
  };
  static constexpr Name kNames[] = {
      {MainControl::STRING4, "?STRING4"},
      {MainControl::NAZIV_FOLDERA, "?FILES:NAZIV_FOLDERA"},
      {MainControl::OKBUTTON, "?OKBUTTON"},
      {MainControl::CEK_SATI, "?CEK_SATI"},
      {MainControl::PANEL1, "?PANEL1"},
      {MainControl::LINE1, "?LINE1"},
      {MainControl::STRING5, "?STRING5"},
      {MainControl::STRING6, "?STRING6"},
      {MainControl::CANCELBUTTON, "?CANCELBUTTON"},
      {MainControl::PANEL2, "?PANEL2"},
      {MainControl::USPOREDNI_SAT_PROMPT, "?USPOREDNI_SAT_:PROMPT"},
      {MainControl::USPOREDNI_SAT_, "?USPOREDNI_SAT_"},
      {MainControl::USPOREDNI_SAT_PROMPT2, "?USPOREDNI_SAT:PROMPT"},
      {MainControl::TIMED, "?TIMED"},
      {MainControl::OSTALO, "?OSTALO"},
      {MainControl::BUTTON6, "?BUTTON6"},
      {MainControl::LIST, "?LIST"},
      {MainControl::GET_R, "?GET_R"},
      {MainControl::SAJZ, "?SAJZ"},
      {MainControl::INSERT, "?INSERT"},
      {MainControl::CHANGE, "?CHANGE"},
      {MainControl::DELETE_, "?DELETE"},
      {MainControl::STRING8, "?STRING8"},
      {MainControl::PAT, "?PAT"},
      {MainControl::NOTEPAD, "?NOTEPAD"},
      {MainControl::CEK, "?CEK"},
      {MainControl::BUTTON10, "?BUTTON10"},
      {MainControl::DANAS, "?DANAS"},
      {MainControl::SAT1, "?SAT1"},
      {MainControl::SAT2, "?SAT2"},
      {MainControl::SAT3, "?SAT3"},
      {MainControl::MINIMIZE, "?MINIMIZE"},
  };
  for (const Name& name : kNames) window_.setName(n(name.control), name.name);
}

void MainWindow::setUpList() {
  list_.FILELOADED = true;
  list_.init(n(MainControl::LIST), files::relations(), *this);
  list_.addSortOrder(files::kRbrKey);
  list_.addField(static_cast<std::size_t>(files::Field::RBR));
  list_.addField(static_cast<std::size_t>(files::Field::NAZIV_FOLDERA));
  list_.addField(static_cast<std::size_t>(files::Field::TEST_FOLDER));
  list_.addField([] { return marlo::toText(glo::RBR); });
  list_.addField([] { return glo::PATTERN.str(); });
  list_.INSERTCONTROL = n(MainControl::INSERT);
  list_.CHANGECONTROL = n(MainControl::CHANGE);
  list_.DELETECONTROL = n(MainControl::DELETE_);
  list_.ASKPROCEDURE = 1;
}

// Every setting is read with its current value as the default, so a missing one stays as it is.
void MainWindow::readSettings(bool withLog) {
  TIMED = static_cast<marlo::StandardTime>(readSetting("Timed", TIMED));
  MINIMIZE = static_cast<std::uint8_t>(readSetting("Minimize", MINIMIZE));
  glo::CEK_SATI = static_cast<std::uint8_t>(readSetting("Activated", glo::CEK_SATI));
  glo::CEK = static_cast<std::uint8_t>(readSetting("Write_CDRW", glo::CEK));
  if (withLog) NOTEPAD = static_cast<std::uint8_t>(readSetting("Log", NOTEPAD));
}

void MainWindow::writeSettings() {
  writeSetting("Timed", TIMED);
  writeSetting("Minimize", MINIMIZE);
  writeSetting("Activated", glo::CEK_SATI);
  writeSetting("Write_CDRW", glo::CEK);
  writeSetting("Log", NOTEPAD);
}

void MainWindow::showTimedState() {
  if (glo::CEK_SATI == 1) window_.setStatusText(2, kTimedOnText);
  if (glo::CEK_SATI == 0) window_.setStatusText(2, kTimedOffText);
}

void MainWindow::opened() {
  window_.setStatusText(1, kWelcomeText);
  glo::HWND = marlo::toText(handle());
  std::error_code ignored;
  glo::PAT = (std::filesystem::current_path(ignored) / kArchiveBaseName).string();
  glo::SAJZ = static_cast<std::int32_t>(marlo::toInteger("999999"));
  const marlo::Moment now = marlo::win::Engine::instance().now();
  DANAS = marlo::formatPicture("d17", marlo::toText(now.day));
  SAT1 = now.time;
  OSTALO = now.time;
  readSettings(/*withLog=*/true);
  SAT2 = TIMED;
  showTimedState();
  window_.display();
}

void MainWindow::closing() {
  writeSettings();
  std::error_code ignored;
  std::filesystem::remove(discImagePath(), ignored);
}

void MainWindow::chooseArchive() {
  marlo::dialogs::FileDialogOptions options;
  options.title = "Choose Archive name:";
  options.masks = marlo::dialogs::parseMaskList("Archive|*.LZH");
  options.fileName = glo::PAT.str();
  options.save = true;
  const std::string chosen = marlo::dialogs::fileDialog(options);
  if (!chosen.empty()) glo::PAT = chosen;
  window_.display();
}

std::uint8_t MainWindow::runProcedure(int number, std::uint8_t request) {
  (void)number;  // the list has one update procedure: the folder form
  marlo::pendingRequest = request;
  return up_folder();
}

SeverityLevel MainWindow::onAccepted() {
  if (const SeverityLevel r = WindowController::onAccepted(); r != SevBenign) return r;
  switch (static_cast<MainControl>(window_.acceptedControl())) {
    case MainControl::OKBUTTON:
      backup_.run(window_, list_, MINIMIZE, NOTEPAD);
      break;
    case MainControl::CEK_SATI:
      showTimedState();
      window_.display();
      break;
    case MainControl::CANCELBUTTON:
      window_.post(ev::CloseWindow);
      break;
    case MainControl::TIMED:
      SAT2 = TIMED;
      window_.display();
      break;
    case MainControl::BUTTON6:
      startRest();  // a second press brings the open Restore window forward
      break;
    case MainControl::BUTTON10:
      chooseArchive();
      break;
    case MainControl::STRING4:
    case MainControl::NAZIV_FOLDERA:
    case MainControl::PANEL1:
    case MainControl::LINE1:
    case MainControl::STRING5:
    case MainControl::STRING6:
    case MainControl::PANEL2:
    case MainControl::USPOREDNI_SAT_PROMPT:
    case MainControl::USPOREDNI_SAT_:
    case MainControl::USPOREDNI_SAT_PROMPT2:
    case MainControl::OSTALO:
    case MainControl::LIST:
    case MainControl::GET_R:
    case MainControl::SAJZ:
    case MainControl::INSERT:
    case MainControl::CHANGE:
    case MainControl::DELETE_:
    case MainControl::STRING8:
    case MainControl::PAT:
    case MainControl::NOTEPAD:
    case MainControl::CEK:
    case MainControl::DANAS:
    case MainControl::SAT1:
    case MainControl::SAT2:
    case MainControl::SAT3:
    case MainControl::MINIMIZE:
      break;
  }
  return SevBenign;
}

// The status bar names the highlighted folder.
SeverityLevel MainWindow::onFieldEvent() {
  if (const SeverityLevel r = WindowController::onFieldEvent(); r != SevBenign) return r;
  if (window_.eventControl() != n(MainControl::LIST)) return SevBenign;
  const int row = window_.selection(n(MainControl::LIST));
  const auto& rows = list_.LISTQUEUE->rows;
  if (row >= 1 && static_cast<std::size_t>(row) <= rows.size()) {
    const auto& cells = rows[static_cast<std::size_t>(row - 1)].cells;
    if (cells.size() > 1) window_.setStatusText(1, cells[1]);
  }
  window_.display();
  return SevBenign;
}

SeverityLevel MainWindow::onWindowEvent() {
  if (const SeverityLevel r = WindowController::onWindowEvent(); r != SevBenign) return r;
  switch (window_.eventCode()) {
    case ev::OpenWindow:
      opened();
      break;
    case ev::CloseWindow:
      closing();
      break;
    case ev::Iconized:
      if (InTray == 0) {
        FillTrayIconData(handle());
        AddTrayIcon();
      }
      break;
    case ev::Restore:
      restoreMainWindow(handle());
      break;
    default:  // the icon's own events 1089 to 1092 among them: nothing to do
      break;
  }
  return SevBenign;
}

SeverityLevel MainWindow::kill() {
  const SeverityLevel r = WindowController::kill();
  if (r == marlo::SevNotify) return r;
  if (FILESOPENED) files::relations().close();
  if (OPENED && OldWindowProc != nullptr) {
    marlo::shell::SetWindowLongPtrA(handle(), marlo::shell::GWLP_WNDPROC,
                                    reinterpret_cast<marlo::shell::LONG_PTR>(OldWindowProc));
    OldWindowProc = nullptr;
  }
  marlo::globalErrors.setProcedureName({}, true);
  return r;
}

}  // namespace

void Trayicon() {
  MainWindow window;
  window.run();
}

std::string discImagePath() {
  return (marlo::userConfigFolder() / "temp_iso.iso").string();
}

}  // namespace app
