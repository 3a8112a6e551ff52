#include <algorithm>
#include <string>

#include "platform/window/control.h"
#include "platform/window/event.h"
#include "platform/window/view.h"
#include "platform/window/window.h"

namespace marlo::win {

namespace {
constexpr int kRowHeight = 10;  // dialog units per list row and for the header line
}

int ControlState::visibleRows() const {
  const bool header = std::any_of(columns.begin(), columns.end(),
                                  [](const ListColumn& c) { return !c.header.empty(); });
  const int space = rect.height - (header ? kRowHeight : 0);
  return std::max(1, space / kRowHeight);
}

bool ControlState::takesInput() const {
  switch (kind) {
    case ControlKind::Entry:
    case ControlKind::CheckBox:
    case ControlKind::OptionGroup:
    case ControlKind::TextBox:
      return true;
    default:
      return false;
  }
}

std::string_view eventName(EventCode code) {
  switch (code) {
    case event::Accepted:
      return "Accepted";
    case event::NewSelection:
      return "NewSelection";
    case event::ScrollUp:
      return "ScrollUp";
    case event::ScrollDown:
      return "ScrollDown";
    case event::PageUp:
      return "PageUp";
    case event::PageDown:
      return "PageDown";
    case event::ScrollTop:
      return "ScrollTop";
    case event::ScrollBottom:
      return "ScrollBottom";
    case event::ScrollDrag:
      return "ScrollDrag";
    case event::AlertKey:
      return "AlertKey";
    case event::Rejected:
      return "Rejected";
    case event::Selected:
      return "Selected";
    case event::OpenWindow:
      return "OpenWindow";
    case event::CloseWindow:
      return "CloseWindow";
    case event::CloseDown:
      return "CloseDown";
    case event::GainFocus:
      return "GainFocus";
    case event::LoseFocus:
      return "LoseFocus";
    case event::Timer:
      return "Timer";
    case event::Completed:
      return "Completed";
    case event::Suspend:
      return "Suspend";
    case event::Resume:
      return "Resume";
    case event::Iconized:
      return "Iconized";
    case event::Restore:
      return "Restore";
    case event::Moved:
      return "Moved";
    case event::Sized:
      return "Sized";
    case event::Restored:
      return "Restored";
    case event::Maximized:
      return "Maximized";
    default:
      return code >= event::FirstProgramEvent ? "Program" : "Unknown";
  }
}

// --- Popup menu texts ---------------------------------------------------------------------

namespace {

// Splits at "|" outside braces.
std::vector<std::string_view> splitItems(std::string_view text) {
  std::vector<std::string_view> out;
  int depth = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '{') ++depth;
    if (text[i] == '}' && depth > 0) --depth;
    if (text[i] == '|' && depth == 0) {
      out.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  out.push_back(text.substr(start));
  return out;
}

void parseInto(std::string_view text, std::vector<MenuItem>& items, int& next) {
  if (text.empty()) return;
  for (std::string_view part : splitItems(text)) {
    MenuItem item;
    if (part == "-") {
      item.separator = true;
      items.push_back(std::move(item));
      continue;
    }
    while (!part.empty() && (part.front() == '~' || part.front() == '+')) {
      if (part.front() == '~') item.enabled = false;
      if (part.front() == '+') item.checked = true;
      part.remove_prefix(1);
    }
    const auto brace = part.find('{');
    if (brace != std::string_view::npos) {
      item.text = std::string(part.substr(0, brace));
      std::string_view inner = part.substr(brace + 1);
      if (!inner.empty() && inner.back() == '}') inner.remove_suffix(1);
      parseInto(inner, item.children, next);
    } else {
      item.text = std::string(part);
      item.number = next++;
    }
    items.push_back(std::move(item));
  }
}

}  // namespace

std::vector<MenuItem> parseMenu(std::string_view menu) {
  std::vector<MenuItem> items;
  int next = 1;
  parseInto(menu, items, next);
  return items;
}

}  // namespace marlo::win
