// The container window: the editor's toolbar and format bar, on the editor's own thread.
#pragma once

#include <string_view>

namespace marlo::richtext {

class RichTextBox;

// The container's controls, as their numbers.
enum class ContainerControl : int {
  Toolbar = 1,
  New,
  Open,
  Save,
  Print,
  Find,
  Cut,
  Copy,
  Paste,
  Undo,
  Redo,
  FormatBar,
  Fonts,
  FontSize,
  Bold,
  Italic,
  Underline,
  FontColour,
  Alignment,
  AlignLeft,
  AlignCenter,
  AlignRight,
  Bullets,
};

inline constexpr std::string_view kContainerTitle = "Rich Text Editor";
inline constexpr std::string_view kNumberingMenu =
    "Numbering off|Bullets|Arabic Numbers|Lower case letters|Upper case letters|"
    "Lowercase Roman numerals|Uppercase Roman numerals";

// Runs the container window procedure for `box` on the calling thread (the editor's own) until
// the editor closes; tells the box when its start-up is done and when it has ended.
void runContainer(RichTextBox& box);

}  // namespace marlo::richtext
