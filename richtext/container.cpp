#include "richtext/container.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QTextDocument>
#include <algorithm>
#include <array>
#include <cctype>
#include <string>

#include "framework/error_manager.h"
#include "framework/window/window_controller.h"
#include "platform/core/number.h"
#include "platform/window/engine.h"
#include "platform/window/window.h"
#include "richtext/rich_text_box.h"

namespace marlo::richtext {

namespace {

namespace ev = win::event;
using C = ContainerControl;
using win::ControlKind;
using win::n;

constexpr std::string_view kSizes = "8|9|10|11|12|14|16|18|20|22|24|26|28|36|48|72";
constexpr int kBarHeight = 20;
constexpr int kWidth = 408;

struct Tool {
  C control;
  std::string_view tip;
};

// The toolbar's buttons and the format bar's controls with their tips. The toolbar's tips are
// also the items of the right-click popup, in this order.
constexpr std::array<Tool, 10> kTools = {{{C::New, "New"},
                                          {C::Open, "Open"},
                                          {C::Save, "Save"},
                                          {C::Print, "Print"},
                                          {C::Find, "Find"},
                                          {C::Cut, "Cut"},
                                          {C::Copy, "Copy"},
                                          {C::Paste, "Paste"},
                                          {C::Undo, "Undo"},
                                          {C::Redo, "Redo"}}};
constexpr std::array<Tool, 7> kFormatTips = {
    {{C::Fonts, "Changes the font of the selection"},
     {C::FontSize, "Changes the font size of the selection"},
     {C::Bold, "Bold"},
     {C::Italic, "Italic"},
     {C::Underline, "Underline"},
     {C::FontColour, "Font Color"},
     {C::Bullets, "Bullets and Numbering"}}};

bool sameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// The system's fonts. Without a GUI application (a program run without windows) there is no
// font database to ask, and nobody to show the list to.
void listFonts(win::RowQueue& rows) {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return;
  for (const QString& family : QFontDatabase::families()) rows.add({family.toStdString()});
}

int rowOf(const win::RowQueue& rows, std::string_view text) {
  for (int r = 1; r <= rows.rowCount(); ++r) {
    if (sameName(rows.cell(r, 0), text)) return r;
  }
  return 0;
}

class Container : public WindowController {
 public:
  explicit Container(RichTextBox& box) : box_(box) {}

  SeverityLevel init() override {
    return setUp({.procedure = "RichTextBox",
                  .window = &window_,
                  .beforeOpen = [this] { return layOut(); },
                  .afterOpen =
                      [this] {
                        box_.RCONTAINER = &window_;
                        startUp();
                        return SevBenign;
                      }});
  }

  SeverityLevel kill() override {
    const SeverityLevel r = WindowController::kill();
    if (r == SevNotify) return r;
    box_.RCONTAINER = nullptr;
    globalErrors.setProcedureName({}, true);
    return r;
  }

  SeverityLevel onAccepted() override {
    if (const SeverityLevel r = WindowController::onAccepted(); r != SevBenign) return r;
    const auto control = static_cast<C>(window_.acceptedControl());
    switch (control) {
      case C::New:
      case C::Open:
      case C::Save:
      case C::Print:
      case C::Find:
      case C::Cut:
      case C::Copy:
      case C::Paste:
      case C::Undo:
      case C::Redo:
        runTool(control);  // gives the focus back itself
        return SevBenign;
      case C::Bold:
        box_.toggleEffect(style::Bold);
        break;
      case C::Italic:
        box_.toggleEffect(style::Italic);
        break;
      case C::Underline:
        box_.toggleEffect(style::Underline);
        break;
      case C::FontColour:
        chooseColour();
        break;
      case C::Alignment:
        box_.setAlignment(box_.LPARAFORMAT);
        break;
      case C::Bullets:
        bullets();
        break;
      case C::Toolbar:
      case C::FormatBar:
      case C::Fonts:
      case C::FontSize:
      case C::AlignLeft:
      case C::AlignCenter:
      case C::AlignRight:
        return SevBenign;
    }
    box_.focus();
    return SevBenign;
  }

  SeverityLevel onNewSelection() override {
    if (const SeverityLevel r = WindowController::onNewSelection(); r != SevBenign) return r;
    const int control = window_.eventControl();
    const int row = window_.selection(control);
    if (control == n(C::Fonts) && row > 0) {
      box_.setFont(fonts_.cell(row, 0), 0, win::kNoColour);
    } else if (control == n(C::FontSize) && row > 0) {
      box_.setFont({}, static_cast<std::int32_t>(toInteger(sizes_.cell(row, 0))), win::kNoColour);
    } else {
      return SevBenign;
    }
    box_.focus();
    return SevBenign;
  }

  SeverityLevel onWindowEvent() override {
    if (const SeverityLevel r = WindowController::onWindowEvent(); r != SevBenign) return r;
    switch (window_.eventCode()) {
      case rich_event::FormatBar:
        showFormat();
        break;
      case rich_event::Popup:
        popup();
        break;
      case rich_event::Selection:
        box_.syncFormat();
        break;
      default:
        break;
    }
    return SevBenign;
  }

 private:
  SeverityLevel layOut() {
    const win::Rect button{0, 3, 36, 14};
    auto tool = [&](int i) { return win::Rect{4 + i * 38, button.y, button.width, button.height}; };
    window_.add<C>({
        {C::Toolbar, ControlKind::Panel, "", {0, 0, kWidth, kBarHeight}},
        {C::New, ControlKind::Button, "New", tool(0)},
        {C::Open, ControlKind::Button, "Open", tool(1)},
        {C::Save, ControlKind::Button, "Save", tool(2)},
        {C::Print, ControlKind::Button, "Print", tool(3)},
        {C::Find, ControlKind::Button, "Find", tool(4)},
        {C::Cut, ControlKind::Button, "Cut", tool(5)},
        {C::Copy, ControlKind::Button, "Copy", tool(6)},
        {C::Paste, ControlKind::Button, "Paste", tool(7)},
        {C::Undo, ControlKind::Button, "Undo", tool(8)},
        {C::Redo, ControlKind::Button, "Redo", tool(9)},
        {C::FormatBar, ControlKind::Panel, "", {0, 20, kWidth, 22}},
        {C::Fonts, ControlKind::List, "", {4, 24, 96, 12}, win::flag::Drop},
        {C::FontSize, ControlKind::List, "", {102, 24, 26, 12}, win::flag::Drop},
        {C::Bold,
         ControlKind::CheckBox,
         "B",
         {132, 23, 14, 14},
         win::flag::Latch | win::flag::Bold},
        {C::Italic, ControlKind::CheckBox, "I", {148, 23, 14, 14}, win::flag::Latch},
        {C::Underline, ControlKind::CheckBox, "U", {164, 23, 14, 14}, win::flag::Latch},
        {C::FontColour, ControlKind::Button, "Color", {182, 23, 30, 14}},
        {C::Alignment, ControlKind::OptionGroup, "", {214, 20, 144, 21}},
        {C::AlignLeft, ControlKind::Radio, "Align Left", {218, 26, 44, 10}},
        {C::AlignCenter, ControlKind::Radio, "Center", {264, 26, 36, 10}},
        {C::AlignRight, ControlKind::Radio, "Align Right", {302, 26, 54, 10}},
        {C::Bullets, ControlKind::CheckBox, "Bullets", {362, 23, 42, 14}, win::flag::Latch},
    });
    for (const Tool& t : kTools) window_.setTip(n(t.control), std::string(t.tip));
    for (const Tool& t : kFormatTips) window_.setTip(n(t.control), std::string(t.tip));
    window_.setFont(n(C::Italic), {.name = {}, .size = 0, .italic = true});
    window_.setFont(n(C::Underline), {.name = {}, .size = 0, .underline = true});
    for (const C radio : {C::AlignLeft, C::AlignCenter, C::AlignRight})
      window_.setParent(n(radio), n(C::Alignment));

    listFonts(fonts_);
    for (std::size_t start = 0; start < kSizes.size();) {
      const std::size_t bar = std::min(kSizes.find('|', start), kSizes.size());
      sizes_.add({std::string(kSizes.substr(start, bar - start))});
      start = bar + 1;
    }
    window_.setSource(n(C::Fonts), &fonts_);
    window_.setSource(n(C::FontSize), &sizes_);
    window_.bind(n(C::Bold), win::Binding::to(box_.LFONTBOLD));
    window_.bind(n(C::Italic), win::Binding::to(box_.LFONTITALIC));
    window_.bind(n(C::Underline), win::Binding::to(box_.LFONTUNDERLINE));
    window_.bind(n(C::Alignment), win::Binding::to(box_.LPARAFORMAT));
    window_.bind(n(C::Bullets), win::Binding::to(box_.BBULLETS));

    box_.TOOLBOX = n(C::Toolbar);
    box_.FORMATBOX = n(C::FormatBar);
    showBars();
    window_.setFont({box_.windowFont().name, 8});
    window_.setProcedure("RichTextBox");
    return SevBenign;
  }

  // The bars the editor was asked for; without either the window stays out of sight.
  void showBars() {
    const bool toolbar = box_.TBACTIVE != 0;
    const bool formatBar = box_.FBACTIVE != 0;
    for (int c = n(C::Toolbar); c < n(C::FormatBar); ++c)
      window_.setFlag(c, win::flag::Hidden, !toolbar);
    for (int c = n(C::FormatBar); c <= n(C::Bullets); ++c) {
      window_.setFlag(c, win::flag::Hidden, !formatBar);
      if (!toolbar) {
        win::Rect r = window_.controlRect(c);
        r.y -= kBarHeight;
        window_.setControlRect(c, r);
      }
    }
    const int height = (toolbar ? kBarHeight : 0) + (formatBar ? 22 : 0);
    const win::Rect place = box_.barsPlace();
    window_.setRect({place.x, place.y, kWidth, std::max(height, 1)});
    window_.setVisible(toolbar || formatBar);
  }

  // The container thread's start-up: the text takes the text control's font, colour, style and
  // alignment, the bars show the selection's format, and the editor is ready.
  void startUp() {
    const win::ControlState& t = box_.textControl();
    CharFormat format;
    format.face = t.font.name.empty() ? box_.windowFont().name : t.font.name;
    const int points = t.font.size > 0              ? t.font.size
                       : box_.windowFont().size > 0 ? box_.windowFont().size
                                                    : 8;
    format.twips = points * 20;
    format.colour = t.textColour == win::kNoColour ? 0 : t.textColour;
    if (t.font.bold) format.effects |= effect::Bold;
    if (t.font.italic) format.effects |= effect::Italic;
    if (t.font.underline) format.effects |= effect::Underline;
    const int align = t.align == win::Align::Right    ? alignment::Right
                      : t.align == win::Align::Center ? alignment::Center
                                                      : alignment::Left;
    box_.SFILENAME = "";
    box_.edit([&](QTextDocument& d, win::TextSelection&) {
      formatWhole(d, format, align);
      d.clearUndoRedoStacks();
      d.setModified(false);
    });
    box_.syncFormat();
    box_.markOpened();
  }

  void runTool(C control) {
    switch (control) {
      case C::New:
        box_.newDocument();
        box_.syncFormat();
        break;
      case C::Open:
        box_.open({});
        box_.syncFormat();
        break;
      case C::Save:
        box_.save(box_.SFILENAME.view());
        break;
      case C::Print:
        box_.print("RTF Data", 1);
        break;
      case C::Find:
        box_.find({}, 1);
        break;
      case C::Cut:
        box_.cut();
        break;
      case C::Copy:
        box_.copy();
        break;
      case C::Paste:
        box_.paste();
        break;
      case C::Undo:
        box_.undo();
        break;
      case C::Redo:
        box_.redo();
        break;
      default:
        return;
    }
    box_.focus();
  }

  void chooseColour() {
    win::DialogRequest request;
    request.kind = win::DialogRequest::Kind::PickColour;
    request.colour = static_cast<win::Colour>(box_.LFONTCOLOR);
    request.buttons = button::Ok | button::Cancel;
    request.defaultButton = button::Cancel;
    const win::DialogAnswer answer = win::Engine::instance().runDialog(request);
    if (answer.button == button::Ok && answer.colour != win::kNoColour)
      box_.setFont({}, 0, answer.colour);
  }

  // Down: choose a numbering from the popup (or turn it off); up: numbering off.
  void bullets() {
    if (box_.BBULLETS == 0) {
      box_.numberingOff();
      return;
    }
    const int item = window_.popup(kNumberingMenu);
    if (item == 1) {
      box_.numberingOff();
      box_.BBULLETS = 0;
      window_.display(n(C::Bullets));
    } else if (item >= 2) {
      box_.setNumbering(item - 1);
    } else {
      box_.syncFormat();  // dismissed: the button shows the paragraph as it is
    }
  }

  void showFormat() {
    if (!box_.SZFONT.empty() && rowOf(fonts_, box_.SZFONT.view()) == 0)
      fonts_.add({std::string(box_.SZFONT.view())});
    window_.display();
    window_.setSelection(n(C::Fonts), rowOf(fonts_, box_.SZFONT.view()));
    window_.setSelection(n(C::FontSize), rowOf(sizes_, toText(box_.LFONTSIZE)));
  }

  // The popup of the right button in the text: the toolbar's commands, greyed where they would
  // do nothing.
  void popup() {
    bool selected = false;
    bool undo = false;
    bool redo = false;
    if (!box_.edit([&](QTextDocument& d, win::TextSelection& s) {
          selected = s.anchor != s.caret;
          undo = d.isUndoAvailable();
          redo = d.isRedoAvailable();
        })) {
      return;
    }
    const bool writable = !box_.textControl().has(win::flag::ReadOnly);
    const auto available = [&](C c) {
      switch (c) {
        case C::New:
        case C::Open:
        case C::Paste:
          return writable;
        case C::Cut:
          return writable && selected;
        case C::Copy:
          return selected;
        case C::Undo:
          return writable && undo;
        case C::Redo:
          return writable && redo;
        default:
          return true;
      }
    };
    std::string menu;
    for (const Tool& t : kTools) {
      if (!menu.empty()) menu += t.control == C::Cut || t.control == C::Undo ? "|-|" : "|";
      if (!available(t.control)) menu += '~';
      menu += t.tip;
    }
    const int chosen = window_.popup(menu);
    if (chosen >= 1 && chosen <= static_cast<int>(kTools.size()))
      runTool(kTools[static_cast<std::size_t>(chosen - 1)].control);
  }

  RichTextBox& box_;
  win::RowQueue fonts_;
  win::RowQueue sizes_;
  win::Window window_{std::string(kContainerTitle), {0, 0, kWidth, 42}};
};

// Tells the box when the thread ends, however it ends (a halt unwinds through here).
struct EndNotice {
  RichTextBox& box;
  ~EndNotice() { box.containerEnded(); }
};

}  // namespace

void runContainer(RichTextBox& box) {
  const EndNotice notice{box};
  // Known before the start-up tells the bars anything, which may be before `start` returned.
  const win::ThreadId self = win::Engine::currentThread();
  box.LRTFTHREAD = self;
  box.TBTHREAD = self;
  box.FBTHREAD = self;
  Container container(box);
  container.run();
}

}  // namespace marlo::richtext
