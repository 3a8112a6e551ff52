// The rich-text editor that takes the place of a text control of a program window.
//
// `init` lays a rich-text control (a document the person edits in place) over the text control
// and starts the container: a window of the editor's own, on a thread of its own, with a
// toolbar (new, open, save, print, find, cut, copy, paste, undo, redo) and a format bar (font,
// size, bold, italic, underline, colour, alignment, bullets and numbering). The container runs
// every command of its bars; the program may call the same commands itself.
//
// Threads: the program window's thread calls `init`, `close` and the destructor, and owns the
// rich-text control; the container thread runs the bars. They meet through posted events only.
// Either may run the commands: the document is reached through the window engine
// (Engine::editDocument), never directly, and whatever concerns the program window is posted to
// its thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/core/text.h"
#include "platform/window/control.h"
#include "platform/window/view.h"
#include "richtext/rich_edit.h"

namespace marlo::win {
class Window;
}

namespace marlo::richtext {

// The editor's private events.
namespace rich_event {
// To the container: show the kept format (SZFONT ... BBULLETS) in the format bar.
inline constexpr win::EventCode FormatBar = 0x5F5;
// To the container: the right-click popup. To the text control, once: the editor is ready.
inline constexpr win::EventCode Popup = 0x5F7;
// To the container: the person moved the selection with the left button.
inline constexpr win::EventCode Selection = 0x401;
// To the program window: lay the editor over its text control again and give it the focus.
inline constexpr win::EventCode LayOut = 0x402;
// To the program window: take the editor away (a close asked for on another thread).
inline constexpr win::EventCode Detach = 0x403;
// To the program window: as LayOut, and the editor gets the focus.
inline constexpr win::EventCode Focus = 0x404;
}  // namespace rich_event

// The style codes of toggleEffect.
namespace style {
inline constexpr std::int32_t Bold = 700;
inline constexpr std::int32_t Italic = 4096;
inline constexpr std::int32_t Underline = 8192;
inline constexpr std::int32_t Strike = 16384;
inline constexpr std::int32_t Protected = 2048;
}  // namespace style

// A program variable the editor saves into ("data" mode): how to assign it and how many
// characters it holds.
struct BoundField {
  std::function<void(std::string_view)> assign;
  std::size_t capacity = 0;
};

template <class Text>
BoundField bindField(Text& variable) {
  if constexpr (std::is_same_v<Text, std::string>) {
    return {[&variable](std::string_view v) { variable.assign(v); }, variable.max_size()};
  } else if constexpr (requires { Text::kCapacity; }) {
    return {[&variable](std::string_view v) { variable = v; }, Text::kCapacity};
  } else {  // HeapText
    return {[&variable](std::string_view v) { variable = v; }, variable.capacity()};
  }
}

class RichTextBox {
 public:
  RichTextBox() = default;
  RichTextBox(const RichTextBox&) = delete;
  RichTextBox& operator=(const RichTextBox&) = delete;
  // Closes the editor when still open and waits until the container thread has ended, so
  // nothing of the editor outlives the object.
  ~RichTextBox();

  // --- Fields, in their declared order -----------------------------------------------------
  std::int32_t ERRORCODE = 0;         // the system's error number of the last failed file operation
  CString<128> ERROR_;                // its text
  win::Window* RWINDOW = nullptr;     // the program window (its thread only)
  win::Window* RCONTAINER = nullptr;  // the container window (the container thread only)
  std::int32_t ITXTBOX = 0;           // the replaced text control
  std::uint32_t HRTFLIB = 0;          // 1 once the view took a rich-text control
  std::atomic<std::int32_t> HRTFWINDOW{0};  // the rich-text control's number; 0 = none
  // The program window's event handlers that stand in for the subclass procedures: the mouse
  // in the text, the window moving, the editor's own requests.
  std::int32_t LPREVWNDPROC = 0;
  std::int32_t LRTFWNDPROC = 0;
  std::int32_t LTXTWNDPROC = 0;
  std::int32_t CTRLGROUP = 0;
  std::int32_t CTRLREGION = 0;
  std::int32_t TOOLBOX = 0;    // the container's toolbar area
  std::int32_t FORMATBOX = 0;  // the container's format bar area
  std::int32_t CTRLTABSSTART = 0;
  std::uint8_t BSHOWTABS = 1;
  std::optional<BoundField> RFIELD;  // bound: saves go to this variable
  CString<516> SFILENAME;            // the document's file; blank for a new document
  std::int32_t ITABSHEET = 0;
  std::uint8_t BBUTTONSTATE = 1;
  std::uint8_t TBDOCKPOS = 1;
  std::uint8_t TBACTIVE = 0;
  std::int32_t TBOFFSET = 0;
  std::int32_t TBTHREAD = 0;
  std::int32_t TBYPOS = 0;
  std::int32_t TBXPOS = 0;
  std::uint8_t FBDOCKPOS = 1;
  std::uint8_t FBACTIVE = 0;
  std::int32_t FBOFFSET = 0;
  std::int32_t FBTHREAD = 0;
  std::int32_t FBYPOS = 0;
  std::int32_t FBXPOS = 0;
  std::int32_t RTFXOFFSET = 0;
  std::int32_t RTFYOFFSET = 0;
  std::atomic<std::int32_t> LRTFTHREAD{0};  // the container thread
  std::uint8_t BSHOWONSTART = 1;            // the text control was visible at init
  std::uint8_t BCURSORACTIVE = 0;
  std::uint8_t BSHIFTDOWN = 0;
  std::uint8_t BCTRLDOWN = 0;
  std::atomic<std::uint8_t> OPENED{0};  // the container has finished its start-up
  // The selection's format as the format bar shows it.
  CString<32> SZFONT;
  std::int32_t LFONTSIZE = 0;  // points
  std::uint32_t LFONTCOLOR = 0;
  std::int32_t LFONTBOLD = 0;
  std::int32_t LFONTITALIC = 0;
  std::int32_t LFONTUNDERLINE = 0;
  std::int32_t LFONTSTRIKE = 0;
  std::int32_t LPARAFORMAT = 0;  // 1 left, 2 centre, 3 right (the format bar's option)
  std::uint8_t BBULLETS = 0;

  // --- Operations ------------------------------------------------------------------------------
  // On the program window's thread, once the window is open. A failure (no such text control,
  // no container) leaves no editor and sets the runtime error code 95.
  void init(win::Window& window, int textControl, std::uint8_t showTabs, std::uint8_t showFormatBar,
            std::uint8_t showToolbar);
  // 1 when there is nothing to close. Ask 1: the save question's answer (askSave). Ask 0: takes
  // the editor away and ends the container, returning 1.
  std::uint8_t close(std::uint8_t ask);
  // Ask 0: 1 when the document changed since it was loaded or saved. Ask 1: 0 when it did not,
  // else the question: 1 saved, 0 not to be saved, 2 cancelled.
  std::uint8_t askSave(std::uint8_t ask);
  void newDocument();
  void open(std::string_view fileName);  // blank: the open-file dialog
  void save(std::string_view fileName);  // blank: the save-file dialog
  // Binds the variable (saves go there from now on) and saves the document into it as RTF.
  template <class Text>
  void saveToField(Text& variable) {
    saveToField(bindField(variable));
  }
  void saveToField(BoundField field);
  void print(std::string_view jobName, std::uint8_t showDialog);
  // Direct search (show window 0): the match's position, -1 when there is none. Window search
  // and anything without an editor: 0.
  std::int32_t find(std::string_view text, std::uint8_t showWindow);
  void cut();
  void copy();
  void paste();
  void undo();
  void redo();
  void toggleEffect(std::int32_t styleCode);
  void setAlignment(std::int32_t option);  // 1 left, 2 centre, 3 right
  void setNumbering(std::int32_t style);   // 1 bullets ... 6 upper-case roman
  void numberingOff();
  // Blank name, size 0 and kNoColour leave that part as it is.
  void setFont(std::string_view name, std::int32_t size, win::Colour colour);
  // Reads the selection's format; when the format bar is shown and it changed, tells the bar.
  void syncFormat();
  // Lays the editor over its text control again; with focus, gives the editor the focus.
  void layout();
  void focus();

  // Runs `edit` on the document and selection; false without an editor.
  bool edit(const win::DocumentEdit& edit);
  [[nodiscard]] win::WindowHandle programWindow() const { return window_; }
  [[nodiscard]] bool hasEditor() const { return window_ != 0 && HRTFWINDOW.load() != 0; }

  // The text control as init found it, for the container's start-up.
  [[nodiscard]] const win::ControlState& textControl() const { return textControl_; }
  [[nodiscard]] const win::Font& windowFont() const { return windowFont_; }
  // Where the bars go: above the program window when it has a place of its own.
  [[nodiscard]] win::Rect barsPlace() const { return barsPlace_; }
  // The container thread's start-up is done (OPENED), or the thread has ended.
  void markOpened();
  void containerEnded();

 private:
  void attachHandlers();
  void detachFromWindow();
  bool onProgramWindowEvent(const win::Event& e);
  void fail(std::string_view why);
  void setFileError(int code, std::string_view text);
  bool saveTo(std::string path, bool plain);
  // Asks with the exclamation icon and beep; the message box for the editor's own windows.
  unsigned ask(std::string_view text, std::string_view title, unsigned buttons);
  [[nodiscard]] bool isModified();
  [[nodiscard]] bool onProgramThread() const;

  win::WindowHandle window_ = 0;  // RWINDOW's handle, for any thread
  int control_ = 0;               // the rich-text control, also after HRTFWINDOW went to 0
  win::ControlState textControl_;
  win::Font windowFont_;
  win::Rect barsPlace_;
  bool hadVScroll_ = false;
  bool hadHScroll_ = false;
  std::shared_ptr<QTextDocument> document_;
  std::mutex mutex_;
  std::condition_variable changed_;  // OPENED set, or the container thread ended
  bool containerEnded_ = false;
  std::atomic<bool> closing_{false};
};

}  // namespace marlo::richtext
