// What a window and its controls look like, as plain data. The engine keeps one copy per
// window on the owning thread and hands copies of it to the view, so nothing here is shared
// between threads.
//
// Geometry is in dialog units: a quarter of the window font's average character width
// horizontally and an eighth of its height vertically, so a layout scales with its font.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/window/event.h"

// The content of a rich-text control is Qt's text document. The engine only hands it on (it is
// made and edited by the rich-text component and shown by the view), so no Qt header is needed
// here.
class QTextDocument;

namespace marlo::win {

// Windows colour value: red in the low byte. kNoColour leaves the view's default.
using Colour = std::int32_t;
inline constexpr Colour kNoColour = -1;

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Font {
  std::string name;  // empty = inherit the window's font
  int size = 0;      // points; 0 = inherit
  bool bold = false;
  bool italic = false;
  bool underline = false;
  friend bool operator==(const Font&, const Font&) = default;
};

enum class ControlKind {
  Text,     // a fixed text (caption only)
  Prompt,   // a label that belongs to the next control
  Entry,    // one-line input through a picture
  Display,  // read-only field shown through a picture
  Button,
  CheckBox,     // value "1" or "0"
  OptionGroup,  // value: the number (1-based) of the chosen radio among its radios
  Radio,        // belongs to the option group named by its parent
  List,
  Panel,
  Line,
  Progress,
  TextBox,  // multi-line text
  ActiveX,  // a slot where a hosted component draws itself
  Region,   // an invisible area that reports mouse events
  // Formatted text the person edits in place. Its content is a document the program supplies
  // (ControlState::document); the view keeps the selection, and the program reaches both only
  // through Engine::editDocument, wherever the view keeps them.
  RichText,
};

enum class Align { Left, Center, Right };

namespace flag {
inline constexpr std::uint32_t Hidden = 1u << 0;
inline constexpr std::uint32_t Disabled = 1u << 1;
inline constexpr std::uint32_t ReadOnly = 1u << 2;
inline constexpr std::uint32_t Transparent = 1u << 3;
inline constexpr std::uint32_t Immediate = 1u << 4;  // report changes while the person types/drags
inline constexpr std::uint32_t VScroll = 1u << 5;
inline constexpr std::uint32_t HScroll = 1u << 6;
inline constexpr std::uint32_t Default = 1u << 7;  // the button Enter presses
inline constexpr std::uint32_t Skip = 1u << 8;     // not in the tab order
inline constexpr std::uint32_t Bold = 1u << 9;     // shorthand for a bold control font
// A list that shows its highlighted row only and drops down to choose another (a drop list).
inline constexpr std::uint32_t Drop = 1u << 10;
// A check box drawn as a button that stays down while it is on (a toolbar's latched button).
inline constexpr std::uint32_t Latch = 1u << 11;
}  // namespace flag

struct ListColumn {
  std::string header;
  int width = 0;  // dialog units; 0 = not shown
  Align align = Align::Left;
  Align headerAlign = Align::Left;
  std::string picture;  // empty = the raw value
  bool resizable = true;
  int indent = 0;
};

// The common column: a header, a width, an alignment and a picture; the header takes the
// column's alignment.
inline ListColumn column(std::string header, int width, Align align = Align::Left,
                         std::string picture = {}) {
  ListColumn c;
  c.header = std::move(header);
  c.width = width;
  c.align = align;
  c.headerAlign = align;
  c.picture = std::move(picture);
  return c;
}

// One control as the person sees it.
struct ControlState {
  int number = 0;  // 1..N in layout order
  ControlKind kind = ControlKind::Text;
  std::string name;     // the program's label for it, for messages and tests ("?PAT")
  std::string text;     // caption: button, prompt, text, check box, radio, panel, group
  std::string value;    // screen value: entry/display text, "1"/"0", chosen radio, text box
  std::string picture;  // display picture of the value; empty = shown as it is
  std::string tip;      // the hint shown when the mouse rests on the control
  Rect rect;
  Font font;
  Colour textColour = kNoColour;
  Colour fillColour = kNoColour;
  std::uint32_t flags = 0;
  Align align = Align::Left;
  int parent = 0;  // option group of a radio, or the containing control; 0 = the window
  std::vector<KeyCode> alerts;

  // Lists.
  std::vector<ListColumn> columns;
  std::vector<std::vector<std::string>> rows;  // shown texts, already through the column pictures
  int selection = 0;                           // highlighted row, 1-based; 0 = none
  int firstRow = 1;                            // first row in sight

  // Progress bars.
  int rangeLow = 0;
  int rangeHigh = 100;
  int progress = 0;

  // Rich-text controls: the document shown (null = an empty one of the view's).
  std::shared_ptr<QTextDocument> document;

  [[nodiscard]] bool has(std::uint32_t f) const { return (flags & f) != 0; }
  [[nodiscard]] bool visible() const { return !has(flag::Hidden); }
  [[nodiscard]] bool enabled() const { return !has(flag::Disabled); }
  // Rows a list shows at once: its height less the header line, ten dialog units per row.
  [[nodiscard]] int visibleRows() const;
  // Whether a person can give this control a value (and the accept-all pass checks it).
  [[nodiscard]] bool takesInput() const;
};

// The selection of a rich-text control as character positions in its document: the fixed end
// and the caret (equal when nothing is selected).
struct TextSelection {
  int anchor = 0;
  int caret = 0;
  friend bool operator==(const TextSelection&, const TextSelection&) = default;
};

enum class WindowState { Normal, Minimized, Maximized };
enum class Cursor { Arrow, Wait };

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

// The window itself, without its controls.
struct WindowProps {
  WindowHandle handle = 0;
  ThreadId thread = 0;
  std::string title;
  std::string
      procedure;  // the window procedure that runs it ("Trayicon", "rest"), for tests and logs
  std::string icon;
  Rect rect;  // x, y ignored when centred
  bool centred = false;
  Font font;
  Colour fillColour = kNoColour;
  bool resizable = false;
  Size minimum;  // 0 = no limit
  Size maximum;
  WindowState state = WindowState::Normal;
  bool visible = true;
  bool enabled = true;  // false while a window opened later on the same thread is open
  Cursor cursor = Cursor::Arrow;
  std::vector<int> statusWidths;  // one per zone; empty = no status bar; -1 = the rest
  std::vector<std::string> statusTexts;
  std::vector<KeyCode> alerts;  // keys alerted for the whole window
};

// A whole window as the view receives it when it opens.
struct WindowSnapshot {
  WindowProps props;
  std::vector<ControlState> controls;
};

}  // namespace marlo::win
