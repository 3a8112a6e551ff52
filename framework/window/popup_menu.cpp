#include "framework/window/popup_menu.h"

#include <algorithm>
#include <cctype>

#include "platform/window/engine.h"
#include "platform/window/window.h"

namespace marlo {

namespace {

constexpr std::size_t kTextCapacity = 1024;

std::string nameFromText(std::string_view text) {
  std::string name;
  for (const char c : text) {
    if (c == '&' || c == '!' || std::isspace(static_cast<unsigned char>(c))) continue;
    name += c;
  }
  return name.empty() ? std::string("Item") : name;
}

std::string capped(std::string_view text) {
  return std::string(text.substr(0, kTextCapacity));
}

}  // namespace

void PopupMenu::init(win::Window& window) {
  POPUPITEMS = std::make_unique<std::vector<Item>>();
  THISWINDOW = &window;
  PARENTWINDOW = &window;
  MYTHREAD = win::Engine::currentThread();
  LASTSELECTION.clear();
}

void PopupMenu::kill() {
  POPUPITEMS.reset();
  numbered_.clear();
}

std::string PopupMenu::uniqueName(std::string base) const {
  if (item(base) == nullptr) return base;
  for (int n = 2;; ++n) {
    std::string candidate = base + std::to_string(n);
    if (item(candidate) == nullptr) return candidate;
  }
}

PopupMenu::Item* PopupMenu::find(std::string_view name) {
  if (!POPUPITEMS) return nullptr;
  const auto it = std::find_if(POPUPITEMS->begin(), POPUPITEMS->end(),
                               [&](const Item& i) { return i.NAME == name; });
  return it == POPUPITEMS->end() ? nullptr : &*it;
}

const PopupMenu::Item* PopupMenu::item(std::string_view name) const {
  return const_cast<PopupMenu*>(this)->find(name);
}

std::string PopupMenu::addItem(std::string_view text) {
  if (!POPUPITEMS) POPUPITEMS = std::make_unique<std::vector<Item>>();
  Item entry;
  entry.TEXT = capped(text);
  entry.NAME = uniqueName(text == "-" ? std::string("Separator") : nameFromText(text));
  POPUPITEMS->push_back(entry);
  return entry.NAME;
}

void PopupMenu::addItemMimic(std::string_view name, int control, std::string_view text) {
  if (!POPUPITEMS) POPUPITEMS = std::make_unique<std::vector<Item>>();
  Item entry;
  entry.NAME = uniqueName(std::string(name));
  entry.TEXT = capped(text);
  entry.CONTROLID = static_cast<std::int16_t>(control);
  entry.MIMICMODE = true;
  POPUPITEMS->push_back(entry);
}

void PopupMenu::addItemEvent(std::string_view name, std::uint16_t event, int control,
                             std::string_view text) {
  if (!POPUPITEMS) POPUPITEMS = std::make_unique<std::vector<Item>>();
  Item entry;
  entry.NAME = uniqueName(std::string(name));
  entry.TEXT = capped(text);
  entry.CONTROLID = static_cast<std::int16_t>(control);
  entry.EVENT = event;
  POPUPITEMS->push_back(entry);
}

void PopupMenu::addSeparator(std::string_view name) {
  if (!POPUPITEMS) POPUPITEMS = std::make_unique<std::vector<Item>>();
  Item entry;
  entry.NAME = uniqueName(std::string(name));
  entry.TEXT = "-";
  entry.ONTOOLBOX = false;
  POPUPITEMS->push_back(entry);
}

void PopupMenu::setItemDepth(std::string_view name, std::uint16_t depth) {
  if (Item* i = find(name)) i->DEPTH = depth;
}

void PopupMenu::setItemEnable(std::string_view name, bool enabled) {
  if (Item* i = find(name)) i->DISABLED = !enabled;
}

void PopupMenu::setItemCheck(std::string_view name, bool checked) {
  if (Item* i = find(name)) i->CHECK = checked ? 1 : 2;
}

void PopupMenu::refreshMimic(Item& entry) {
  if (!entry.MIMICMODE || THISWINDOW == nullptr || !THISWINDOW->hasControl(entry.CONTROLID)) return;
  entry.DISABLED = !THISWINDOW->control(entry.CONTROLID).enabled();
}

std::string PopupMenu::shownText(const Item& entry) const {
  std::string text = entry.TEXT;
  if (entry.MIMICMODE && THISWINDOW != nullptr && THISWINDOW->hasControl(entry.CONTROLID)) {
    const std::string& own = THISWINDOW->text(entry.CONTROLID);
    if (!own.empty() && (text.empty() || text.front() == '!')) text = own;
  }
  if (!text.empty() && text.front() == '!') text.erase(0, 1);
  return TRANSLATOR ? TRANSLATOR(text) : text;
}

std::vector<win::MenuItem> PopupMenu::buildLevel(std::size_t& index, std::uint16_t depth,
                                                 int& number, std::vector<std::size_t>& numbered) {
  std::vector<win::MenuItem> level;
  while (index < POPUPITEMS->size() && (*POPUPITEMS)[index].DEPTH >= depth) {
    const std::size_t at = index++;
    Item& entry = (*POPUPITEMS)[at];
    refreshMimic(entry);
    win::MenuItem menuItem;
    if (entry.TEXT == "-") {
      menuItem.separator = true;
      level.push_back(std::move(menuItem));
      continue;
    }
    menuItem.text = shownText(entry);
    menuItem.enabled = !entry.DISABLED;
    menuItem.checked = entry.CHECK == 1;
    const bool opensSubmenu =
        index < POPUPITEMS->size() && (*POPUPITEMS)[index].DEPTH > entry.DEPTH;
    if (opensSubmenu) {
      menuItem.children =
          buildLevel(index, static_cast<std::uint16_t>(entry.DEPTH + 1), number, numbered);
    } else {
      menuItem.number = ++number;
      numbered.push_back(at);
    }
    level.push_back(std::move(menuItem));
  }
  return level;
}

std::vector<win::MenuItem> PopupMenu::buildMenu() {
  numbered_.clear();
  if (!POPUPITEMS || POPUPITEMS->empty()) return {};
  std::size_t index = 0;
  int number = 0;
  const std::uint16_t top = POPUPITEMS->front().DEPTH;
  std::vector<win::MenuItem> menu;
  // Items shallower than the first one still belong to the top level.
  while (index < POPUPITEMS->size()) {
    auto part = buildLevel(index, std::min(top, (*POPUPITEMS)[index].DEPTH), number, numbered_);
    menu.insert(menu.end(), part.begin(), part.end());
  }
  return menu;
}

std::string PopupMenu::ask() {
  if (THISWINDOW == nullptr || !THISWINDOW->isOpen()) return {};
  auto menu = buildMenu();
  if (menu.empty()) return {};
  const int chosen = THISWINDOW->popup(std::move(menu));
  if (chosen < 1 || static_cast<std::size_t>(chosen) > numbered_.size()) return {};
  const std::string name = (*POPUPITEMS)[numbered_[static_cast<std::size_t>(chosen - 1)]].NAME;
  choose(name);
  return name;
}

void PopupMenu::choose(std::string_view name) {
  const Item* entry = find(name);
  if (entry == nullptr || THISWINDOW == nullptr || entry->DISABLED) return;
  LASTSELECTION = entry->NAME;
  if (CLEARKEYCODE) THISWINDOW->setKeyCode(0);
  if (entry->MIMICMODE) {
    THISWINDOW->post(win::event::Accepted, entry->CONTROLID);
  } else if (entry->EVENT != 0) {
    THISWINDOW->post(entry->EVENT, entry->CONTROLID);
  }
}

}  // namespace marlo
