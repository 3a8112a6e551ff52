// `RichTextBox::find` and the search window.
#include "richtext/find.h"

#include <QString>
#include <QTextDocument>
#include <algorithm>
#include <string>

#include "framework/error_manager.h"
#include "framework/window/window_controller.h"
#include "platform/dialogs/dialogs.h"
#include "platform/window/engine.h"
#include "platform/window/window.h"
#include "richtext/rich_text_box.h"

namespace marlo::richtext {

namespace {

using F = FindControl;
using win::ControlKind;
using win::n;

QString text(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Selects the first match from `from` towards `to` (see findText); its start, or -1.
int findAndSelect(RichTextBox& box, const QString& what, unsigned flags,
                  int (*from)(const win::TextSelection&), bool toEnd) {
  int found = -1;
  box.edit([&](QTextDocument& d, win::TextSelection& s) {
    found = findText(d, what, from(s), toEnd ? textLength(d) : 0, flags);
    if (found >= 0) s = {found, found + static_cast<int>(what.size())};
  });
  return found;
}

int selectionStart(const win::TextSelection& s) {
  return std::min(s.anchor, s.caret);
}
int selectionEnd(const win::TextSelection& s) {
  return std::max(s.anchor, s.caret);
}
// The direct search goes from the end of a selection, or from the top when there is none.
int directStart(const win::TextSelection& s) {
  return s.anchor == s.caret ? 0 : selectionEnd(s);
}

// The direction option's radios stand for 0 (up) and 1 (down); the option shows which of its
// radios is chosen, counted from 1.
win::Binding directionBinding() {
  return {[] { return std::string(FindDirection == 1 ? "2" : "1"); },
          [](std::string_view v) { FindDirection = v == "2" ? 1 : 0; }};
}

class FindWindow : public WindowController {
 public:
  explicit FindWindow(RichTextBox& box) : box_(box) {}

  SeverityLevel init() override {
    return setUp({.procedure = "Find",
                  .window = &window_,
                  .firstField = n(F::SearchString),
                  .beforeOpen = [this] { return layOut(); }});
  }

  SeverityLevel kill() override {
    const SeverityLevel r = WindowController::kill();
    if (r != SevNotify) globalErrors.setProcedureName({}, true);
    return r;
  }

  SeverityLevel onAccepted() override {
    if (const SeverityLevel r = WindowController::onAccepted(); r != SevBenign) return r;
    switch (static_cast<F>(window_.acceptedControl())) {
      case F::FindNext:
        findNext();
        break;
      case F::Cancel:
        window_.post(win::event::CloseWindow);
        break;
      case F::SearchString:
      case F::WholeWords:
      case F::Direction:
      case F::Up:
      case F::Down:
      case F::CaseSensitive:
      case F::Prompt:
        break;
    }
    return SevBenign;
  }

  SeverityLevel onWindowEvent() override {
    if (const SeverityLevel r = WindowController::onWindowEvent(); r != SevBenign) return r;
    const win::EventCode code = window_.eventCode();
    if (code == win::event::Moved) box_.layout();
    // The editor's events meant for its container wait there until this window has closed.
    if (code >= win::event::FirstProgramEvent &&
        win::Engine::currentThread() == box_.LRTFTHREAD.load() && box_.RCONTAINER != nullptr &&
        box_.RCONTAINER->isOpen())
      win::Engine::instance().post(box_.RCONTAINER->handle(), code);
    return SevBenign;
  }

 private:
  SeverityLevel layOut() {
    window_.add<F>({
        {F::SearchString, ControlKind::Entry, "", {50, 6, 130, 12}},
        {F::WholeWords, ControlKind::CheckBox, " &Whole words only", {8, 24, 90, 10}},
        {F::Direction, ControlKind::OptionGroup, "Direction", {104, 20, 76, 24}},
        {F::Up, ControlKind::Radio, "&Up", {110, 30, 30, 10}},
        {F::Down, ControlKind::Radio, "&Down", {144, 30, 32, 10}},
        {F::CaseSensitive, ControlKind::CheckBox, " &Case sensitive search", {8, 36, 94, 10}},
        {F::FindNext, ControlKind::Button, "&Find Next", {190, 5, 50, 14}, win::flag::Default},
        {F::Cancel, ControlKind::Button, "Cancel", {190, 23, 50, 14}},
        {F::Prompt, ControlKind::Prompt, "Fi&nd what:", {8, 8, 40, 10}},
    });
    window_.setName(n(F::SearchString), "?SEARCHSTRING");
    window_.setName(n(F::WholeWords), "?WHOLEWORDS");
    window_.setName(n(F::Direction), "?BDIRECTION");
    window_.setName(n(F::CaseSensitive), "?CASESENSITIVE");
    window_.setName(n(F::FindNext), "?BUTTONFIND");
    window_.setName(n(F::Cancel), "?BUTTONCANCEL");
    window_.setPicture(n(F::SearchString), "s255");
    window_.setParent(n(F::Up), n(F::Direction));
    window_.setParent(n(F::Down), n(F::Direction));
    window_.bind(n(F::SearchString), win::Binding::to(FindWhat));
    window_.bind(n(F::WholeWords), win::Binding::to(FindWholeWords));
    window_.bind(n(F::Direction), directionBinding());
    window_.bind(n(F::CaseSensitive), win::Binding::to(FindCaseSensitive));
    window_.setProcedure("Find");
    window_.setFont({"MS Sans Serif", 8});
    return SevBenign;
  }

  void findNext() {
    window_.update();  // what is typed counts, even before the entry was left
    unsigned flags = 0;
    if (FindWholeWords != 0) flags |= find_flag::WholeWord;
    if (FindCaseSensitive != 0) flags |= find_flag::MatchCase;
    const QString what = text(FindWhat.view());
    const int found = FindDirection == 1
                          ? findAndSelect(box_, what, flags | find_flag::Down, &selectionEnd, true)
                          : findAndSelect(box_, what, flags, &selectionStart, false);
    if (found >= 0) return;
    dialogs::beep(win::BeepKind::Exclamation);
    dialogs::messageBox("\"" + std::string(FindWhat.view()) + "\" not found.", "Search",
                        MessageIcon::Exclamation, button::Ok);
  }

  RichTextBox& box_;
  win::Window window_{std::string(kFindTitle), {0, 0, 248, 50}};
};

}  // namespace

std::int32_t RichTextBox::find(std::string_view what, std::uint8_t showWindow) {
  if (!hasEditor()) return 0;
  int length = 0;
  edit([&](QTextDocument& d, win::TextSelection&) { length = textLength(d); });
  std::int32_t result = 0;
  if (length == 0) {
    dialogs::beep(win::BeepKind::Exclamation);
  } else if (showWindow == 0) {
    // Whatever the settings say, the program's own search is for the whole word as written.
    FindWhat = clip(what);
    result = findAndSelect(*this, text(FindWhat.view()),
                           find_flag::Down | find_flag::WholeWord | find_flag::MatchCase,
                           &directStart, true);
  } else {
    FindWindow window(*this);
    window.run();
    win::Engine::instance().activate(window_);
  }
  focus();
  return result;
}

}  // namespace marlo::richtext
