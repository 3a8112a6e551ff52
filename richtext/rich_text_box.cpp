#include "richtext/rich_text_box.h"

#include <QByteArray>
#include <QPainter>
#include <QPrinter>
#include <QTextDocument>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <filesystem>

#include "framework/runtime_error.h"
#include "platform/dialogs/dialogs.h"
#include "platform/window/engine.h"
#include "platform/window/window.h"
#include "richtext/container.h"
#include "richtext/document_file.h"
#include "richtext/printing.h"
#include "richtext/rtf.h"

namespace marlo::richtext {

namespace {

namespace ev = win::event;
using win::Engine;

constexpr std::string_view kOpenFilter =
    "Rich Text Format (*.rtf)|*.RTF|Text Documents (*.txt)|*.TXT|All Documents (*.*)|*.*";
constexpr std::string_view kSaveFilter =
    "Rich Text Format (*.rtf)|*.RTF|Text Documents (*.txt)|*.TXT";
constexpr win::Colour kWhite = 16777215;
// How often a thread that waits for the container looks at its window messages meanwhile.
constexpr std::chrono::milliseconds kPoll{10};

// The format bar's alignment option from the rich-edit alignment, and back.
int optionOf(int align) {
  return align == alignment::Center ? 2 : align == alignment::Right ? 3 : 1;
}
int alignmentOf(int option) {
  return option == 2 ? alignment::Center : option == 3 ? alignment::Right : alignment::Left;
}

unsigned effectOf(std::int32_t styleCode) {
  switch (styleCode) {
    case style::Bold:
      return effect::Bold;
    case style::Italic:
      return effect::Italic;
    case style::Underline:
      return effect::Underline;
    case style::Strike:
      return effect::Strike;
    case style::Protected:
      return effect::Protected;
    default:
      return 0;
  }
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

RichTextBox::~RichTextBox() {
  if (!Engine::exists()) return;
  if (hasEditor()) close(0);
  const win::ThreadId thread = LRTFTHREAD.load();
  if (thread == 0) return;
  Engine& engine = Engine::instance();
  std::unique_lock lock(mutex_);
  while (!containerEnded_) {
    lock.unlock();
    // A window the container opened over its own (the find window, a dialog's loop) ends first:
    // a close posted to the thread reaches its innermost window.
    if (engine.status(thread) == win::ThreadStatus::Idle)
      engine.postToThread(thread, ev::CloseWindow);
    engine.yield();
    lock.lock();
    changed_.wait_for(lock, kPoll, [&] { return containerEnded_; });
  }
}

// --- Start and end ---------------------------------------------------------------------------

void RichTextBox::init(win::Window& window, int textControl, std::uint8_t showTabs,
                       std::uint8_t showFormatBar, std::uint8_t showToolbar) {
  clearRuntimeError();
  ERRORCODE = 0;
  ERROR_ = "";
  RCONTAINER = nullptr;
  HRTFLIB = 0;
  HRTFWINDOW = 0;
  LPREVWNDPROC = LRTFWNDPROC = LTXTWNDPROC = 0;
  CTRLGROUP = CTRLREGION = TOOLBOX = FORMATBOX = CTRLTABSSTART = 0;
  RFIELD.reset();
  SFILENAME = "";
  ITABSHEET = 0;
  BBUTTONSTATE = 1;
  TBDOCKPOS = FBDOCKPOS = 1;
  TBOFFSET = TBTHREAD = TBYPOS = TBXPOS = 0;
  FBOFFSET = FBTHREAD = FBYPOS = FBXPOS = 0;
  RTFXOFFSET = RTFYOFFSET = 0;
  LRTFTHREAD = 0;
  BCURSORACTIVE = BSHIFTDOWN = BCTRLDOWN = 0;
  OPENED = 0;
  LFONTSIZE = 0;
  LFONTCOLOR = 0;
  LFONTBOLD = LFONTITALIC = LFONTUNDERLINE = LFONTSTRIKE = 0;
  LPARAFORMAT = 0;
  BBULLETS = 0;
  RWINDOW = &window;
  window_ = window.handle();
  ITXTBOX = textControl;
  BSHOWTABS = showTabs;
  FBACTIVE = showFormatBar;
  TBACTIVE = showToolbar;
  SZFONT = "";
  if (!window.isOpen() || !window.hasControl(textControl)) {
    fail("The editor has no text control to take the place of.");
    return;
  }
  textControl_ = window.control(textControl);
  windowFont_ = window.props().font;
  const win::WindowProps& props = window.props();
  if (!props.centred) barsPlace_ = {props.rect.x, std::max(0, props.rect.y - 50), 0, 0};
  BSHOWONSTART = textControl_.visible() ? 1 : 0;

  // The editor takes over the text control's scroll bars. (Moves and size changes reach the
  // window's loop as they happen in this engine; there is no delivery to switch on.)
  hadVScroll_ = textControl_.has(win::flag::VScroll);
  hadHScroll_ = textControl_.has(win::flag::HScroll);
  window.setFlag(textControl, win::flag::VScroll | win::flag::HScroll, false);

  // The editor lies over the text control and takes its styles.
  std::uint32_t flags = 0;
  const auto take = [&](std::uint32_t f) { flags |= textControl_.flags & f; };
  take(win::flag::Disabled | win::flag::ReadOnly | win::flag::Transparent | win::flag::Skip |
       win::flag::VScroll | win::flag::HScroll);
  if (BSHOWONSTART == 0) flags |= win::flag::Hidden;
  control_ = window.add(win::ControlKind::RichText, "", textControl_.rect, flags);
  window.setName(control_, "?RICHTEXT");
  window.setFont(control_, textControl_.font);
  window.setTextColour(control_, textControl_.textColour);
  window.setFillColour(
      control_, textControl_.fillColour == win::kNoColour ? kWhite : textControl_.fillColour);
  window.setAlign(control_, textControl_.align);
  document_ = makeControlDocument();
  window.setDocument(control_, document_);
  HRTFLIB = 1;
  HRTFWINDOW = control_;
  attachHandlers();

  Engine& engine = Engine::instance();
  const win::ThreadId thread = engine.start([this] { runContainer(*this); });
  LRTFTHREAD = thread;
  if (thread == 0) {
    detachFromWindow();
    fail("The editor's window could not start.");
    return;
  }
  {
    std::unique_lock lock(mutex_);
    while (OPENED.load() == 0 && !containerEnded_) {
      lock.unlock();
      engine.yield();
      lock.lock();
      changed_.wait_for(lock, kPoll, [&] { return OPENED.load() != 0 || containerEnded_; });
    }
  }
  if (OPENED.load() == 0) {
    detachFromWindow();
    fail("The editor's window did not open.");
    return;
  }
  // The container opened last and took the focus; with its bars hidden, it goes back.
  if (TBACTIVE == 0 && FBACTIVE == 0) engine.activate(window_);
  window.post(rich_event::Popup, ITXTBOX);
}

void RichTextBox::markOpened() {
  std::lock_guard lock(mutex_);
  OPENED = 1;
  changed_.notify_all();
}

void RichTextBox::containerEnded() {
  std::lock_guard lock(mutex_);
  containerEnded_ = true;
  changed_.notify_all();
}

std::uint8_t RichTextBox::close(std::uint8_t ask) {
  if (!hasEditor()) return 1;
  if (ask == 1) return askSave(1);
  if (onProgramThread()) {
    detachFromWindow();
  } else {
    Engine::instance().post(window_, rich_event::Detach);
    HRTFWINDOW = 0;
  }
  closing_ = true;
  if (const win::ThreadId thread = LRTFTHREAD.load(); thread != 0)
    Engine::instance().postToThread(thread, ev::CloseWindow);
  return 1;
}

void RichTextBox::fail(std::string_view why) {
  setRuntimeError({95, std::string(why), {}, {}});
}

// --- The program window's side ----------------------------------------------------------------

bool RichTextBox::onProgramThread() const {
  return RWINDOW != nullptr && Engine::instance().ownWindow(window_) == RWINDOW;
}

void RichTextBox::attachHandlers() {
  win::Window& w = *RWINDOW;
  // The person's mouse in the text: the right button's release opens the editor's popup, the
  // left's refreshes the format bar; either way the focus stays in the text.
  w.alert(control_, win::key::MouseRightUp);
  w.alert(control_, win::key::MouseLeftUp);
  LRTFWNDPROC = w.registerHandler(ev::AlertKey, [this](const win::Event& e) {
    if (e.control != control_ || HRTFWINDOW.load() == 0) return true;
    const win::ThreadId container = LRTFTHREAD.load();
    if (e.key == win::key::MouseRightUp) {
      Engine::instance().postToThread(container, rich_event::Popup);
    } else if (e.key == win::key::MouseLeftUp) {
      Engine::instance().postToThread(container, rich_event::Selection);
    } else {
      return true;
    }
    RWINDOW->select(control_);
    return false;
  });
  // The window moved or changed its size: the editor follows its text control, once the window
  // procedure has moved the control (a resizer does it on the same event).
  LPREVWNDPROC = w.registerHandler(0, [this](const win::Event& e) {
    switch (e.code) {
      case ev::Moved:
      case ev::Sized:
      case ev::Restored:
      case ev::Maximized:
      case ev::GainFocus:
        if (HRTFWINDOW.load() != 0) RWINDOW->post(rich_event::LayOut);
        break;
      default:
        break;
    }
    return true;
  });
  LTXTWNDPROC =
      w.registerHandler(0, [this](const win::Event& e) { return onProgramWindowEvent(e); });
}

// The editor's own requests to the program window: handled here, never seen by the procedure.
bool RichTextBox::onProgramWindowEvent(const win::Event& e) {
  switch (e.code) {
    case rich_event::LayOut:
      layout();
      return false;
    case rich_event::Focus:
      focus();
      return false;
    case rich_event::Detach:
      detachFromWindow();
      return false;
    default:
      return true;
  }
}

void RichTextBox::detachFromWindow() {
  if (RWINDOW == nullptr || control_ == 0) return;
  win::Window& w = *RWINDOW;
  for (std::int32_t* id : {&LPREVWNDPROC, &LRTFWNDPROC, &LTXTWNDPROC}) {
    if (*id != 0) w.unregisterHandler(*id);
    *id = 0;
  }
  w.removeAlert(control_, win::key::MouseRightUp);
  w.removeAlert(control_, win::key::MouseLeftUp);
  w.setFlag(ITXTBOX, win::flag::VScroll, hadVScroll_);
  w.setFlag(ITXTBOX, win::flag::HScroll, hadHScroll_);
  // A window keeps its controls to the end: the editor's stays, hidden and empty.
  w.hide(control_);
  w.setDocument(control_, nullptr);
  document_.reset();
  HRTFWINDOW = 0;
}

void RichTextBox::layout() {
  if (!hasEditor()) return;
  if (!onProgramThread()) {
    Engine::instance().post(window_, rich_event::LayOut);
    return;
  }
  RWINDOW->setControlRect(control_, RWINDOW->controlRect(ITXTBOX));
}

void RichTextBox::focus() {
  if (!hasEditor()) return;
  if (!onProgramThread()) {
    Engine::instance().post(window_, rich_event::Focus);
    return;
  }
  layout();
  RWINDOW->select(control_);
}

// --- The document -------------------------------------------------------------------------------

bool RichTextBox::edit(const win::DocumentEdit& change) {
  if (!hasEditor()) return false;
  return Engine::instance().editDocument(window_, control_,
                                         [&](QTextDocument& d, win::TextSelection& s) {
                                           const DocumentTurn turn(d);
                                           change(d, s);
                                         });
}

bool RichTextBox::isModified() {
  bool modified = false;
  edit([&](QTextDocument& d, win::TextSelection&) { modified = d.isModified(); });
  return modified;
}

void RichTextBox::setFileError(int code, std::string_view text) {
  ERRORCODE = code;
  ERROR_ = text;
  setRuntimeError({95, std::string(text), {}, {}});
}

unsigned RichTextBox::ask(std::string_view text, std::string_view title, unsigned buttons) {
  dialogs::beep(win::BeepKind::Exclamation);
  return dialogs::messageBox(text, title, MessageIcon::Exclamation, buttons);
}

std::uint8_t RichTextBox::askSave(std::uint8_t askFirst) {
  if (!hasEditor() || !isModified()) return 0;
  if (askFirst == 0) return 1;
  const bool data = RFIELD.has_value();
  Engine& engine = Engine::instance();
  for (;;) {
    dialogs::beep(win::BeepKind::Exclamation);
    win::DialogRequest question;
    question.kind = win::DialogRequest::Kind::Message;
    question.title = data ? "Save Data" : "Save Document";
    question.text = std::string("Do you want to save modified ") + (data ? "data?" : "document?");
    question.icon = MessageIcon::Exclamation;
    question.buttons = button::Yes | button::No | button::Cancel;
    question.defaultButton = button::Yes;
    const unsigned answer = engine.runDialog(question).button;
    // A halt answers every question with its default: nothing is to be saved then.
    if (engine.halting()) return 2;
    if (answer == button::Yes) {
      if (!clip(SFILENAME.view()).empty()) {
        save(SFILENAME.view());
      } else if (RFIELD) {
        saveToField(*RFIELD);
      } else {
        save("");
      }
      // A save that did not happen (the dialog cancelled, the disc full) must not let the
      // caller go on and drop the changes.
      return isModified() ? 2 : 1;
    }
    if (answer == button::No) return 0;
    if (answer == button::Cancel) return 2;
  }
}

void RichTextBox::newDocument() {
  if (!hasEditor() || askSave(1) == 2) return;
  edit([](QTextDocument& d, win::TextSelection& s) { clearDocument(d, s); });
  SFILENAME = "";
}

void RichTextBox::open(std::string_view fileName) {
  if (!hasEditor() || askSave(1) == 2) return;
  std::string path(clip(fileName));
  if (path.empty()) {
    dialogs::FileDialogOptions options;
    options.title = "Open";
    options.masks = dialogs::parseMaskList(kOpenFilter);
    path = dialogs::fileDialog(options);
    if (path.empty()) return;
  }
  QByteArray bytes;
  if (const FileError e = readFileBytes(QString::fromStdString(path), bytes); e.failed()) {
    setFileError(e.code, e.text.toStdString());
    return;
  }
  edit([&](QTextDocument& d, win::TextSelection& s) {
    readDocument(bytes, d);
    s = {0, 0};
  });
  SFILENAME = path;
}

void RichTextBox::save(std::string_view fileName) {
  int length = 0;
  if (!edit([&](QTextDocument& d, win::TextSelection&) { length = textLength(d); })) return;
  if (length == 0) {
    dialogs::beep(win::BeepKind::Exclamation);
    return;
  }
  std::string path(clip(fileName));
  if (path.empty()) {
    dialogs::FileDialogOptions options;
    options.title = "Save As";
    options.masks = dialogs::parseMaskList(kSaveFilter);
    options.save = true;
    path = dialogs::fileDialog(options);
    if (path.empty()) return;
  }
  std::string extension = std::filesystem::path(path).extension().string();
  if (extension.empty()) {
    extension = ".RTF";
    path += extension;
  }
  extension = upper(extension);
  if (extension != ".RTF" && extension != ".TXT") {
    ask("Unknown file format: \"" + extension + "\"|Extension must be .RTF or .TXT.",
        "Format Error", button::Ok);
    return;
  }
  saveTo(std::move(path), extension == ".TXT");
}

bool RichTextBox::saveTo(std::string path, bool plain) {
  QByteArray bytes;
  if (!edit([&](QTextDocument& d, win::TextSelection&) {
        bytes = plain ? writePlainText(d) : writeRtf(d);
      })) {
    return false;
  }
  if (const FileError e = writeFileBytes(QString::fromStdString(path), bytes); e.failed()) {
    setFileError(e.code, e.text.toStdString());
    return false;
  }
  edit([](QTextDocument& d, win::TextSelection&) { d.setModified(false); });
  SFILENAME = path;
  return true;
}

void RichTextBox::saveToField(BoundField field) {
  if (!hasEditor()) return;
  RFIELD = field;
  QByteArray rtf;
  edit([&](QTextDocument& d, win::TextSelection&) { rtf = writeRtf(d); });
  // Cut short, RTF is no longer RTF: a variable too small keeps what it held.
  if (static_cast<std::size_t>(rtf.size()) > field.capacity) {
    ask("The variable is to small to hold the data.", "Stream Error", button::Ok);
    return;
  }
  field.assign(std::string_view(rtf.constData(), static_cast<std::size_t>(rtf.size())));
  edit([](QTextDocument& d, win::TextSelection&) { d.setModified(false); });
}

void RichTextBox::print(std::string_view jobName, std::uint8_t showDialog) {
  if (!hasEditor()) return;
  std::string pdf;
  std::string printerName;
  if (showDialog == 1) {
    win::DialogRequest request;
    request.kind = win::DialogRequest::Kind::Print;
    request.title = std::string(jobName);
    request.buttons = button::Ok | button::Cancel;
    request.defaultButton = button::Cancel;
    const win::DialogAnswer answer = Engine::instance().runDialog(request);
    if (answer.button != button::Ok) return;
    pdf = answer.path;
    printerName = answer.printer;
  }
  // A copy made where the document lives is printed here, so the editor stays usable meanwhile.
  std::unique_ptr<QTextDocument> copy;
  if (!edit([&](QTextDocument& d, win::TextSelection&) {
        copy.reset(d.clone());
        copy->moveToThread(nullptr);
      })) {
    return;
  }
  const DocumentTurn turn(*copy);
  const PrintTarget target{QString::fromStdString(pdf), QString::fromStdString(printerName),
                           QString::fromStdString(std::string(jobName))};
  if (const int error = printDocument(*copy, target); error >= 0)
    dialogs::stop("Error Starting Print Job " + std::to_string(error));
}

// --- Edit commands -------------------------------------------------------------------------------

void RichTextBox::cut() {
  edit([](QTextDocument& d, win::TextSelection& s) { cutSelection(d, s); });
}

void RichTextBox::copy() {
  edit([](QTextDocument& d, win::TextSelection& s) { copySelection(d, s); });
}

void RichTextBox::paste() {
  edit([](QTextDocument& d, win::TextSelection& s) { richtext::paste(d, s); });
}

void RichTextBox::undo() {
  edit([](QTextDocument& d, win::TextSelection& s) {
    QTextCursor cursor = cursorOn(d, s);
    d.undo(&cursor);
    s = selectionOf(cursor);
  });
}

void RichTextBox::redo() {
  edit([](QTextDocument& d, win::TextSelection& s) {
    QTextCursor cursor = cursorOn(d, s);
    d.redo(&cursor);
    s = selectionOf(cursor);
  });
}

// --- Format commands -----------------------------------------------------------------------------

void RichTextBox::toggleEffect(std::int32_t styleCode) {
  const unsigned bit = effectOf(styleCode);
  if (bit == 0) return;
  edit([bit](QTextDocument& d, win::TextSelection& s) { richtext::toggleEffect(d, s, bit); });
  syncFormat();
}

void RichTextBox::setAlignment(std::int32_t option) {
  const int align = alignmentOf(option);
  edit([align](QTextDocument& d, win::TextSelection& s) { richtext::setAlignment(d, s, align); });
  syncFormat();
}

void RichTextBox::setNumbering(std::int32_t numberingStyle) {
  if (numberingStyle < numbering::Bullet || numberingStyle > numbering::UpperRoman) return;
  edit([numberingStyle](QTextDocument& d, win::TextSelection& s) {
    richtext::setNumbering(d, s, numberingStyle);
  });
  syncFormat();
}

void RichTextBox::numberingOff() {
  edit([](QTextDocument& d, win::TextSelection& s) {
    richtext::setNumbering(d, s, numbering::None);
  });
  syncFormat();
}

void RichTextBox::setFont(std::string_view name, std::int32_t size, win::Colour colour) {
  const QString face = QString::fromStdString(std::string(clip(name)));
  edit([&](QTextDocument& d, win::TextSelection& s) {
    richtext::setFont(d, s, face, size, colour);
  });
  syncFormat();
}

void RichTextBox::syncFormat() {
  CharFormat c;
  ParaFormat p;
  if (!edit([&](QTextDocument& d, win::TextSelection& s) {
        c = selectionCharFormat(d, s);
        p = selectionParaFormat(d, s);
      })) {
    return;
  }
  if (FBACTIVE == 0) return;
  bool changed = false;
  const auto keep = [&changed](auto& field, auto value) {
    if (field == static_cast<std::remove_reference_t<decltype(field)>>(value)) return;
    field = static_cast<std::remove_reference_t<decltype(field)>>(value);
    changed = true;
  };
  if (SZFONT.view() != c.face) {
    SZFONT = c.face;
    changed = true;
  }
  keep(LFONTSIZE, c.twips / 20);
  keep(LFONTCOLOR, static_cast<std::uint32_t>(c.colour));
  keep(LFONTBOLD, (c.effects & effect::Bold) != 0 ? 1 : 0);
  keep(LFONTITALIC, (c.effects & effect::Italic) != 0 ? 1 : 0);
  keep(LFONTUNDERLINE, (c.effects & effect::Underline) != 0 ? 1 : 0);
  keep(LFONTSTRIKE, (c.effects & effect::Strike) != 0 ? 1 : 0);
  keep(LPARAFORMAT, optionOf(p.alignment));
  keep(BBULLETS, p.numbering != numbering::None ? 1 : 0);
  if (changed && FBTHREAD != 0) Engine::instance().postToThread(FBTHREAD, rich_event::FormatBar);
}

}  // namespace marlo::richtext
