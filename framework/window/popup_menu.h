// A context menu built at the moment it is shown. Most items "mimic" a button: choosing one is
// the same as pressing that button, and the item shows the button's text and is greyed while
// the button is disabled.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window/view.h"

namespace marlo {

namespace win {
class Window;
}
class IniManager;

class PopupMenu {
 public:
  struct Item {
    std::int16_t CONTROLID = 0;  // the mimicked control, or where EVENT is posted
    std::uint16_t DEPTH = 0;     // deeper items form a submenu of the item before them
    std::uint16_t EVENT = 0;     // posted when the item mimics nothing
    bool MIMICMODE = false;
    bool DISABLED = false;
    std::uint8_t CHECK = 0;  // 0 none, 1 checked, other: an unchecked check mark
    bool ONTOOLBOX = true;
    std::string ICON;
    std::string NAME;
    std::string TEXT;  // up to 1024 characters
  };

  PopupMenu() = default;
  PopupMenu(const PopupMenu&) = delete;
  PopupMenu& operator=(const PopupMenu&) = delete;

  bool CLEARKEYCODE = false;
  std::string LASTSELECTION;
  std::unique_ptr<std::vector<Item>> POPUPITEMS;
  std::function<std::string(std::string_view)> TRANSLATOR;
  IniManager* INIMGR = nullptr;
  bool INTOOLBOX = false;
  std::int32_t MYTHREAD = 0;
  win::Window* PARENTWINDOW = nullptr;
  win::Window* THISWINDOW = nullptr;

  void init(win::Window& window);
  void kill();

  // Appends an item and returns its name, derived from the text; "-" makes a separator.
  std::string addItem(std::string_view text);
  // Appends an item that mimics `control`; a text beginning with "!" gives way to the
  // control's own text.
  void addItemMimic(std::string_view name, int control, std::string_view text);
  // Appends an item that posts `event` to `control` when chosen.
  void addItemEvent(std::string_view name, std::uint16_t event, int control, std::string_view text);
  // Appends a separator with this name.
  void addSeparator(std::string_view name);
  void setItemDepth(std::string_view name, std::uint16_t depth);
  void setItemEnable(std::string_view name, bool enabled);
  void setItemCheck(std::string_view name, bool checked);
  [[nodiscard]] const Item* item(std::string_view name) const;

  // Shows the menu and returns the chosen item's name (empty when dismissed, and then nothing
  // is posted).
  std::string ask();
  // Carries out the item as if the person had chosen it.
  void choose(std::string_view name);

  // The menu as it would be shown now (mimic items refreshed from their controls).
  [[nodiscard]] std::vector<win::MenuItem> buildMenu();
  // The text an item shows now.
  [[nodiscard]] std::string shownText(const Item& item) const;

 private:
  Item* find(std::string_view name);
  void refreshMimic(Item& item);
  [[nodiscard]] std::string uniqueName(std::string base) const;
  std::vector<win::MenuItem> buildLevel(std::size_t& index, std::uint16_t depth, int& number,
                                        std::vector<std::size_t>& numbered);

  std::vector<std::size_t> numbered_;  // item index of each menu number (from 1)
};

}  // namespace marlo
