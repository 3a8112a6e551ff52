#include "app/pis_cd.h"

#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

#include "app/cd_writer_control.h"
#include "app/globals.h"
#include "app/log_file.h"
#include "app/trayicon.h"
#include "framework/error_manager.h"
#include "framework/ini_manager.h"
#include "framework/window/form_toolbar.h"
#include "framework/window/window_controller.h"
#include "framework/window/window_placement.h"
#include "framework/window/window_resizer.h"
#include "platform/core/number.h"
#include "platform/core/picture.h"
#include "platform/window/engine.h"
#include "platform/window/window.h"

namespace glo {

std::uint8_t CD_BUSY = 0;

}  // namespace glo

namespace app {

marlo::win::RowQueue WriterStatusQueue;

namespace {

const glo::Reset kReset{[] {
  glo::CD_BUSY = 0;
  WriterStatusQueue.clear();
}};

using marlo::SevBenign;
using marlo::SeverityLevel;
using marlo::SevNotify;
using marlo::win::Colour;
using marlo::win::ControlKind;
using marlo::win::n;
namespace ev = marlo::win::event;
namespace flag = marlo::win::flag;

constexpr const char* kProcedure = "Pis_cd";
constexpr const char* kCaption = "Writing to CD-RW";
constexpr const char* kImageFolder = "\\Backup\\";
// Shown in the list while the disc is blanked; the control's own lines go to the log.
constexpr const char* kBlankingLine = "              Blanking disc ... Please wait ...";

// Windows colours of the status field (red in the low byte).
constexpr Colour kBlue = 16711680;
constexpr Colour kWhite = 16777215;
constexpr Colour kOrange = 33023;
constexpr Colour kRed = 255;
constexpr Colour kYellow = 65535;
constexpr Colour kGreen = 32768;

// Busy markers: a step that has just called the control must not take the reading from
// before that call for "idle".
constexpr std::uint8_t kAfterFinalWrite = 103;
constexpr std::uint8_t kWritingStarted = 12;

// Where a run stands. Each step waits for a reading of the control's busy indicator.
enum class Step {
  WaitIdle,      // the image is being built
  BlankPending,  // the control was idle: the next tick blanks
  Blanked,       // blanking asked for: write once the control is idle
  WriteStarted,  // writing asked for, until the control reads busy
  Writing,       // written once; when idle, write once more and finish
  Finishing,     // when idle, the run is over
  Failed,        // over, after an error: the window stays open until the person closes it
};

// The drive the last "OnSCSIScan" reported. Nothing reads it back; the window only ever uses
// the first drive.
struct DeviceRecord {
  std::int16_t ADAPTER = 0;
  std::int16_t ID = 0;
  std::int16_t LUN = 0;
  marlo::BlankString<30> PRODUCT;
  marlo::BlankString<30> PRODUCTIDENT;
  marlo::BlankString<20> PRODUCTREVISION;
  std::int16_t DEVTYPE = 0;
};

std::string timeNow() {
  return marlo::formatPicture("t4", marlo::toText(marlo::win::Engine::instance().now().time));
}

std::string cut(std::string_view text, std::size_t capacity) {
  return std::string(text.substr(0, capacity));
}

// The image is a private file of the person's: its folder is made for the owner alone.
void makeImageFolder(const std::string& image) {
  std::error_code ignored;
  const std::filesystem::path folder = std::filesystem::path(image).parent_path();
  if (std::filesystem::create_directories(folder, ignored))
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ignored);
}

class DiscWriterWindow;

// The window's own wrapper over the disc-writing control: four events let through, each
// handed to the window in its loop.
class WindowWriter : public CdWriterControl {
 public:
  explicit WindowWriter(DiscWriterWindow& window) : window_(window) { AUTORELEASE = 1; }

  void afterInit() override;
  std::int32_t OnErrorQueued(std::int16_t code, const std::string& message) override;
  std::int32_t OnSCSIScanQueued(std::int16_t adapter, std::int16_t id, std::int16_t lun,
                                const std::string& product, const std::string& productIdent,
                                const std::string& productRevision, std::int16_t devType) override;
  std::int32_t OnWritingProcessQueued(std::int16_t value, std::int32_t written,
                                      std::int32_t total) override;
  std::int32_t OnStatusQueued(std::int16_t code, const std::string& message) override;

 private:
  DiscWriterWindow& window_;
};

class DiscWriterWindow : public marlo::WindowController {
 public:
  SeverityLevel init() override;
  SeverityLevel kill() override;
  SeverityLevel onWindowEvent() override;
  SeverityLevel handleEvent() override;

  // What the control's events do, in the window's loop.
  void showProgress(std::int32_t written, std::int32_t total);
  void showStatus(std::string_view message);
  void showDevice(std::int16_t adapter, std::int16_t id, std::int16_t lun, std::string_view product,
                  std::string_view productIdent, std::string_view productRevision,
                  std::int16_t devType);
  void showError(std::int16_t code, std::string_view message);

 private:
  SeverityLevel layOut();
  SeverityLevel opened();
  void prepare();
  // The steps, as the busy readings move the run on.
  void waitForBlanking();
  void writeOnceMore();
  void finish();
  void readBusy();
  void blank();
  void startWriting();

  void setStatus(std::string_view text) {
    window_.setText(n(PisCdControl::STRING9), std::string(text));
  }
  void fill(Colour colour) { window_.setFillColour(n(PisCdControl::STRING9), colour); }
  void addLine(std::string_view line, bool toLog);
  void writeLog(std::string_view line);

  std::unique_ptr<WindowWriter> writer_ = std::make_unique<WindowWriter>(*this);
  Step step_ = Step::WaitIdle;
  bool failed_ = false;  // an "OnError" arrived during this run
  DeviceRecord DeviceList;
  std::string archiveFile_;
  std::string imagePath_ = discImagePath();
  // Results of the control's calls, kept but not acted on: the steps follow the busy
  // indicator, and failures arrive as "OnError".
  std::uint8_t blankResult_ = 0;
  std::uint8_t writeResult_ = 0;
  std::uint8_t addResult_ = 0;
  std::int16_t drivesFound_ = 0;
  LogFile log_{glo::LogFileName};
  bool logOpen_ = false;
  marlo::FormToolbar toolbar_;
  marlo::WindowResizer resizer_;
  marlo::win::Window window_{kCaption, {0, 0, 300, 168}};
  marlo::EngineWindowPlacement placement_{window_};
};

// --- Start and end -------------------------------------------------------------------------------

SeverityLevel DiscWriterWindow::init() {
  return setUp({.procedure = kProcedure,
                .window = &window_,
                .firstField = n(PisCdControl::STRING9),
                .toolbar = &toolbar_,
                .beforeOpen = [this] { return layOut(); },
                .afterOpen = [this] { return opened(); }});
}

SeverityLevel DiscWriterWindow::opened() {
  resizer_.init(window_, marlo::WindowResizer::kSpread, true, false);
  resizer_.setStrategy(n(PisCdControl::LIST2), 0, 0);
  resizer_.setStrategy(n(PisCdControl::STRING9), 0x200, marlo::resize_strategy::kLockHeight);
  resizer_.setStrategy(n(PisCdControl::PROGRES), 0x300, marlo::resize_strategy::kLockHeight);
  addResizer(resizer_);
  marlo::globalIni.fetchWindow(kProcedure, placement_);
  writer_->init(window_, n(PisCdControl::OLECONTROL));
  return SevBenign;
}

SeverityLevel DiscWriterWindow::layOut() {
  window_.setProcedure(kProcedure);
  window_.setFont({"MS Sans Serif", 8});
  window_.setCentred(true);
  window_.setResizable(true);
  window_.setTimer(kDiscWriterTick);
  // One table of the controls, each added as its number.
  window_.add<PisCdControl>({
      {PisCdControl::OLECONTROL, ControlKind::ActiveX, "", {276, 152, 20, 12}},
      {PisCdControl::STRING9, ControlKind::Text, "String 9", {4, 152, 268, 12}, flag::Hidden},
      {PisCdControl::PROGRES, ControlKind::Progress, "", {4, 4, 292, 10}, flag::Hidden},
      {PisCdControl::LIST2, ControlKind::List, "", {4, 18, 292, 130}, flag::VScroll},
  });
  window_.setName(n(PisCdControl::OLECONTROL), "?OLECONTROL");
  window_.setName(n(PisCdControl::STRING9), "?STRING9");
  window_.setName(n(PisCdControl::PROGRES), "?PROGRES");
  window_.setName(n(PisCdControl::LIST2), "?LIST2");
  window_.setFont(n(PisCdControl::STRING9), {"System", 10});
  window_.setFont(n(PisCdControl::LIST2), {"Tahoma", 8});
  marlo::win::ListColumn line = marlo::win::column(" Statistiscs", 1020, marlo::win::Align::Left,
                                                   "s" + std::to_string(kWriterStatusLineCapacity));
  line.indent = 2;
  window_.setColumns(n(PisCdControl::LIST2), {line});
  window_.setSource(n(PisCdControl::LIST2), &WriterStatusQueue);
  return SevBenign;
}

SeverityLevel DiscWriterWindow::kill() {
  const SeverityLevel r = WindowController::kill();
  if (r == SevNotify) return r;
  if (OPENED) marlo::globalIni.updateWindow(kProcedure, placement_);
  writer_->kill();
  marlo::globalErrors.setProcedureName({}, true);
  return r;
}

SeverityLevel DiscWriterWindow::onWindowEvent() {
  const SeverityLevel verdict = WindowController::onWindowEvent();
  switch (window_.eventCode()) {
    case ev::CloseWindow:
    case ev::CloseDown: {
      std::error_code ignored;
      std::filesystem::remove(imagePath_, ignored);
      break;
    }
    case ev::OpenWindow:
      prepare();
      break;
    default:
      break;
  }
  return verdict;
}

// Hands the control the archive and has it build the image; the timer takes it from there.
void DiscWriterWindow::prepare() {
  writer_->Call23(0);
  useConfiguredDrive(*writer_);
  drivesFound_ = writer_->Call31();
  writer_->SetProp15(1);
  archiveFile_ = std::string(marlo::clip(glo::PAT.view())) + ".lzh";
  makeImageFolder(imagePath_);
  writer_->SetProp1(1);
  writer_->SetProp2(0);
  writer_->SetProp3(0);
  writer_->Call22();
  writer_->Call27();
  addResult_ = writer_->Call26(archiveFile_, 1, kImageFolder);
  writer_->Call25(imagePath_);
  glo::CD_BUSY = 1;
  step_ = Step::WaitIdle;
  window_.display();
}

// --- The steps -----------------------------------------------------------------------------------

// The busy reading is taken only on a tick, after the first three tests: they act on the
// reading of the tick before, which a step that has just called the control overwrites with a
// marker.
SeverityLevel DiscWriterWindow::handleEvent() {
  const bool tick = window_.eventCode() == ev::Timer;
  if (glo::CD_BUSY == 0 && (step_ == Step::WaitIdle || step_ == Step::BlankPending))
    waitForBlanking();
  if (step_ == Step::Writing && glo::CD_BUSY == 0) writeOnceMore();
  if (step_ == Step::Finishing && glo::CD_BUSY == 0) finish();
  if (tick) readBusy();
  if (window_.eventControl() == n(PisCdControl::OLECONTROL)) writer_->handleEvent();
  const SeverityLevel verdict = WindowController::handleEvent();
  if (tick) startWriting();
  return verdict;
}

void DiscWriterWindow::waitForBlanking() {
  fill(kBlue);
  fill(kWhite);
  setStatus("Please wait ... ");
  step_ = Step::BlankPending;
}

void DiscWriterWindow::writeOnceMore() {
  writer_->SetProp13(0);
  writeResult_ = writer_->Call24(imagePath_);
  step_ = Step::Finishing;
  glo::CD_BUSY = kAfterFinalWrite;
  fill(kWhite);
  fill(kOrange);
  setStatus("Please wait ... Working on ...");
  window_.show(n(PisCdControl::STRING9));
  window_.show(n(PisCdControl::PROGRES));
}

// A run that had an error says so and waits for the person, who can read the lines; only a
// clean run closes by itself.
void DiscWriterWindow::finish() {
  window_.hide(n(PisCdControl::PROGRES));
  if (failed_) {
    fill(kRed);
    setStatus(kFailedText);
    step_ = Step::Failed;
    return;
  }
  fill(kRed);
  fill(kYellow);
  setStatus(kFinishedText);
  window_.post(ev::CloseWindow);
}

void DiscWriterWindow::readBusy() {
  glo::CD_BUSY = writer_->Call33();
  window_.display();
  if (step_ == Step::BlankPending) blank();
}

void DiscWriterWindow::blank() {
  step_ = Step::Blanked;
  setStatus("Blanking disc ... Please wait!");
  fill(kYellow);
  window_.show(n(PisCdControl::STRING9));
  addLine(kBlankingLine, /*toLog=*/false);
  writer_->SetProp1(1);
  writer_->SetProp2(0);
  writer_->SetProp3(0);
  writer_->SetProp13(0);
  blankResult_ = writer_->Call21();
  writer_->Call22();
}

// While the control reads idle the write is asked for again at every tick; the first busy
// reading means it has started.
void DiscWriterWindow::startWriting() {
  if (glo::CD_BUSY == 0 && step_ == Step::Blanked) step_ = Step::WriteStarted;
  if (step_ != Step::WriteStarted) return;
  if (glo::CD_BUSY == 0) {
    writer_->SetProp13(0);
    writeResult_ = writer_->Call24(imagePath_);
    setStatus("Please wait! ...");
    return;
  }
  fill(kOrange);
  setStatus("Preparing to write ... Please wait!");
  step_ = Step::Writing;
  glo::CD_BUSY = kWritingStarted;
}

// --- The control's events ------------------------------------------------------------------------

void DiscWriterWindow::showProgress(std::int32_t written, std::int32_t total) {
  setStatus("Written: " + marlo::toText(written) + " MB of: " + marlo::toText(total) +
            " MB Total!");
  const int bar = n(PisCdControl::PROGRES);
  window_.setRange(bar, window_.control(bar).rangeLow, total);
  window_.setProgress(bar, written);
  window_.setProgress(bar, window_.progress(bar) + 1);
  if (written == total) {
    fill(kGreen);
    setStatus("Writting completed! Now Closing ... Please wait!");
  }
  window_.display();
}

void DiscWriterWindow::showStatus(std::string_view message) {
  addLine(marlo::clip("Status:  > " + timeNow() + " " + cut(message, kWriterStatusLineCapacity)),
          /*toLog=*/true);
  const int list = n(PisCdControl::LIST2);
  window_.setSelection(list, window_.rowCount(list));
}

void DiscWriterWindow::showDevice(std::int16_t adapter, std::int16_t id, std::int16_t lun,
                                  std::string_view product, std::string_view productIdent,
                                  std::string_view productRevision, std::int16_t devType) {
  DeviceList.ADAPTER = adapter;
  DeviceList.ID = id;
  DeviceList.LUN = lun;
  DeviceList.PRODUCT = product;
  DeviceList.PRODUCTIDENT = productIdent;
  DeviceList.PRODUCTREVISION = productRevision;
  DeviceList.DEVTYPE = devType;
  const auto number = [](std::int16_t v) { return marlo::toText(v); };
  addLine("Found: " + number(adapter) + " " + number(id) + " " + number(lun) + " " +
              std::string(DeviceList.PRODUCT.clipped()) + " " +
              std::string(DeviceList.PRODUCTIDENT.clipped()) + " " +
              std::string(DeviceList.PRODUCTREVISION.clipped()) + " " + number(devType),
          /*toLog=*/true);
}

void DiscWriterWindow::showError(std::int16_t code, std::string_view message) {
  failed_ = true;
  addLine("Status: " + timeNow() + "  " + marlo::toText(code) + " " + std::string(message),
          /*toLog=*/true);
}

// The list keeps what its line holds; the log keeps the whole line.
void DiscWriterWindow::addLine(std::string_view line, bool toLog) {
  WriterStatusQueue.add({cut(line, kWriterStatusLineCapacity)});
  window_.display(n(PisCdControl::LIST2));
  if (toLog) writeLog(line);
}

// The log is opened at the first line of a run and kept open, so every line of the run lands
// in the one file even if the current directory changes meanwhile. A log of the same day is
// added to, never emptied: it holds every run of that day.
void DiscWriterWindow::writeLog(std::string_view line) {
  if (!logOpen_) {
    glo::LogFileName = discLogName(marlo::win::Engine::instance().now().day);
    std::error_code ignored;
    if (!std::filesystem::exists(glo::LogFileName.clipped(), ignored)) log_.create();
    logOpen_ = log_.open(marlo::kAccessReadWrite | marlo::kDenyWrite) == 0;
    if (!logOpen_) return;
  }
  log_.TL = line;
  log_.append();
}

// --- The wrapper ---------------------------------------------------------------------------------

void WindowWriter::afterInit() {
  ENABLE_EVENT_ONERROR = 1;
  ENABLE_EVENT_ONSCSISCAN = 1;
  ENABLE_EVENT_ONSTATUS = 1;
  ENABLE_EVENT_ONWRITINGPROCESS = 1;
}

std::int32_t WindowWriter::OnErrorQueued(std::int16_t code, const std::string& message) {
  window_.showError(code, message);
  return CdWriterControl::OnErrorQueued(code, message);
}

std::int32_t WindowWriter::OnSCSIScanQueued(std::int16_t adapter, std::int16_t id, std::int16_t lun,
                                            const std::string& product,
                                            const std::string& productIdent,
                                            const std::string& productRevision,
                                            std::int16_t devType) {
  window_.showDevice(adapter, id, lun, product, productIdent, productRevision, devType);
  return CdWriterControl::OnSCSIScanQueued(adapter, id, lun, product, productIdent, productRevision,
                                           devType);
}

std::int32_t WindowWriter::OnWritingProcessQueued(std::int16_t value, std::int32_t written,
                                                  std::int32_t total) {
  window_.showProgress(written, total);
  return CdWriterControl::OnWritingProcessQueued(value, written, total);
}

std::int32_t WindowWriter::OnStatusQueued(std::int16_t code, const std::string& message) {
  window_.showStatus(message);
  return CdWriterControl::OnStatusQueued(code, message);
}

}  // namespace

std::string discLogName(marlo::DayNumber day) {
  std::string date(marlo::clip(marlo::formatPicture("d17", marlo::toText(day))));
  // A separator in the date would put the log into folders that may not exist.
  for (char& c : date) {
    if (c == '/' || c == '\\') c = '-';
  }
  return std::string(marlo::clip("LOG -" + date));
}

void Pis_cd() {
  DiscWriterWindow window;
  marlo::lastResponse = window.run();
}

}  // namespace app
