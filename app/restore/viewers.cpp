#include "app/restore/viewers.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "app/globals.h"
#include "app/restore/restore_state.h"
#include "framework/error_manager.h"
#include "framework/ini_manager.h"
#include "framework/runtime_error.h"
#include "framework/window/window_component.h"
#include "framework/window/window_controller.h"
#include "framework/window/window_placement.h"
#include "framework/window/window_resizer.h"
#include "platform/window/window.h"
#include "richtext/rich_text_box.h"

namespace app {

marlo::richtext::RichTextBox* ViewerRichText = nullptr;

namespace {

using marlo::SeverityLevel;
namespace win = marlo::win;

enum class PokaziControl : int { OutText = 1, RtfTextBox, Cancel };
enum class Pokazi1Control : int { OutText = 1, Cancel };
// Both viewers start in their text box, their first control.
constexpr int kTextControl = 1;
static_assert(win::n(PokaziControl::OutText) == kTextControl &&
              win::n(Pokazi1Control::OutText) == kTextControl);

const win::Font kWindowFont{"MS Sans Serif", 8};
const win::Font kControlFont{"Tahoma", 8};
constexpr win::Rect kViewerRect{0, 0, 426, 254};
constexpr win::Rect kTextRect{4, 4, 418, 224};
constexpr win::Rect kCancelRect{370, 234, 50, 14};
constexpr std::uint32_t kTextFlags = win::flag::ReadOnly | win::flag::VScroll | win::flag::HScroll;
// Where the rich-text component draws itself: a thin strip near the bottom, never shown.
constexpr win::Rect kRichTextPlace{4, 230, 300, 2};

// The buffer's text up to its first zero byte. The blank fill after a report is not part of
// it: shown, it would only be a megabyte of blanks to scroll through.
win::Binding shownText(const marlo::HeapText& buffer) {
  return {[&buffer] { return std::string(marlo::clip(buffer.view())); }, [](std::string_view) {}};
}

// What both viewers share: the window, the text box over a buffer, Cancel, and the place kept
// in the settings under the procedure's name.
class LogViewer : public marlo::WindowController {
 public:
  LogViewer(std::string_view procedure, std::string_view textName, const marlo::HeapText& buffer)
      : procedure_(procedure), textName_(textName), buffer_(buffer) {}

  SeverityLevel init() override {
    return setUp({.procedure = procedure_,
                  .window = &window_,
                  .firstField = kTextControl,
                  .beforeOpen = [this] { return layOut(); },
                  .afterOpen = [this] { return opened(); }});
  }

  SeverityLevel kill() override {
    const SeverityLevel r = WindowController::kill();
    if (r == marlo::SevNotify) return r;
    releaseOwn();
    if (OPENED) marlo::globalIni.updateWindow(procedure_, placement_);
    marlo::globalErrors.setProcedureName({}, true);
    return r;
  }

 protected:
  virtual void addControls() = 0;
  // What a viewer sets up on its window once it is open, and lets go of when it ends.
  virtual SeverityLevel afterOpening() { return marlo::SevBenign; }
  virtual void releaseOwn() {}

  // The text box and Cancel, once the viewer's table has added them.
  void showText(int box) {
    window_.setName(box, textName_);
    window_.setFont(box, kControlFont);
    window_.bind(box, shownText(buffer_));
  }
  void nameCancel(int cancel) {
    window_.setName(cancel, "?CANCELBUTTON");
    window_.setFont(cancel, kControlFont);
  }
  void commitAndClose() {
    update();
    window_.update();
    window_.post(win::event::CloseWindow);
  }

  win::Window window_{"", kViewerRect};

 private:
  SeverityLevel opened() {
    if (const SeverityLevel r = afterOpening(); r != marlo::SevBenign) return r;
    resizer_.init(window_, marlo::WindowResizer::kResize, true, false);
    addResizer(resizer_);
    marlo::globalIni.fetchWindow(procedure_, placement_);
    return marlo::SevBenign;
  }

  SeverityLevel layOut() {
    window_.setProcedure(procedure_);
    window_.setCentred(true);
    window_.setFont(kWindowFont);
    window_.setResizable(true);
    addControls();
    return marlo::SevBenign;
  }

  std::string procedure_;
  std::string textName_;
  const marlo::HeapText& buffer_;
  marlo::WindowResizer resizer_;
  marlo::EngineWindowPlacement placement_{window_};
};

// The backup run's report, with a rich-text editor on its hidden control 2: none of its bars is
// shown and nothing is loaded into it.
class Pokazi : public LogViewer {
 public:
  Pokazi() : LogViewer("pokazi", "?OUT_", glo::OUT_) {}

  SeverityLevel onWindowEvent() override {
    if (const SeverityLevel r = WindowController::onWindowEvent(); r != marlo::SevBenign) return r;
    if (window_.eventCode() == win::event::CloseWindow && richText_) richText_->close(0);
    return marlo::SevBenign;
  }

  SeverityLevel onAccepted() override {
    if (const SeverityLevel r = WindowController::onAccepted(); r != marlo::SevBenign) return r;
    switch (static_cast<PokaziControl>(window_.eventControl())) {
      case PokaziControl::Cancel:
        commitAndClose();
        break;
      case PokaziControl::OutText:
      case PokaziControl::RtfTextBox:
        break;
    }
    return marlo::SevBenign;
  }

 private:
  void addControls() override {
    using C = PokaziControl;
    window_.add<PokaziControl>({
        {C::OutText, win::ControlKind::TextBox, "", kTextRect, kTextFlags},
        {C::RtfTextBox, win::ControlKind::TextBox, "", kRichTextPlace, win::flag::Hidden},
        {C::Cancel, win::ControlKind::Button, "Cancel", kCancelRect},
    });
    showText(win::n(C::OutText));
    window_.setName(win::n(C::RtfTextBox), "?RTFTEXTBOX");
    nameCancel(win::n(C::Cancel));
  }

  SeverityLevel afterOpening() override {
    richText_ = std::make_unique<marlo::richtext::RichTextBox>();
    ViewerRichText = richText_.get();
    // Only this editor's own failure counts, not one left behind by an earlier operation.
    marlo::clearRuntimeError();
    richText_->init(window_, win::n(PokaziControl::RtfTextBox), 0, 0, 0);
    return marlo::currentRuntimeError().code == 95 ? marlo::SevFatal : marlo::SevBenign;
  }

  void releaseOwn() override {
    richText_.reset();  // waits until the editor's own thread has ended
    ViewerRichText = nullptr;
  }

  std::unique_ptr<marlo::richtext::RichTextBox> richText_;
};

// The Restore window's report.
class Pokazi1 : public LogViewer {
 public:
  Pokazi1() : LogViewer("pokazi1", "?OUT", glo::OUT) {}

  SeverityLevel onAccepted() override {
    if (const SeverityLevel r = WindowController::onAccepted(); r != marlo::SevBenign) return r;
    switch (static_cast<Pokazi1Control>(window_.eventControl())) {
      case Pokazi1Control::Cancel:
        commitAndClose();
        break;
      case Pokazi1Control::OutText:
        break;
    }
    return marlo::SevBenign;
  }

 private:
  void addControls() override {
    using C = Pokazi1Control;
    window_.add<Pokazi1Control>({
        {C::OutText, win::ControlKind::TextBox, "", kTextRect, kTextFlags},
        {C::Cancel, win::ControlKind::Button, "Cancel", kCancelRect},
    });
    showText(win::n(C::OutText));
    nameCancel(win::n(C::Cancel));
  }
};

}  // namespace

void pokazi() {
  Pokazi viewer;
  viewer.run();
}

void pokazi1() {
  Pokazi1 viewer;
  viewer.run();
}

}  // namespace app
