// A list of a keyed table's records in a list control, through which the person inserts,
// changes, deletes, views or selects the highlighted record by buttons, keys, the mouse and a
// popup menu. Its ViewManager (framework/view_manager.h) does the reading. BrowseList is a
// component of its window's controller: it receives
// every event of that window, asks the window to run the update form, and refreshes itself when
// the form ends.
//
// Setting up a list in the window controller's beforeOpen step, once the window is laid out
// and given to the controller (the list is set up before the window opens; setUp sets the
// alerts itself):
//
//   list_.init(kFolderList, relations, *this);   // the list control, the table family, the window
//   list_.addSortOrder(kRbrKey);
//   list_.addField(kRbrField);  list_.addField(kNameField);    // one per list column
//   list_.INSERTCONTROL = kInsert; list_.CHANGECONTROL = kChange; list_.DELETECONTROL = kDelete;
//   list_.ASKPROCEDURE = 1;                     // runProcedure(1, request) starts the form
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/relation_set.h"
#include "framework/view_manager.h"
#include "framework/window/popup_menu.h"
#include "framework/window/window_component.h"
#include "platform/window/binding.h"

namespace marlo {

class WindowController;

class BrowseList : public ViewManager, public WINDOWCOMPONENT {
 public:
  // The rows shown: one text per column plus the record's position.
  class Rows : public win::ListSource {
   public:
    struct Row {
      std::vector<std::string> cells;
      std::string position;
      RecordImage image;  // the record as read, for finding its place when it is gone
    };
    [[nodiscard]] int rowCount() const override { return static_cast<int>(rows.size()); }
    [[nodiscard]] std::string cell(int row, int column) const override;
    std::vector<Row> rows;
  };

  // --- fields, in their declared order
  bool ACTIVEINVISIBLE = false;
  bool ALLOWUNFILLED = false;
  std::uint8_t ARROWACTION = 0;
  std::uint16_t ASKPROCEDURE = 0;  // the update form's number; 0 = no form
  std::uint16_t BUFFER = 0;        // the record saved while selecting (kept in savedRecord_)
  std::int32_t CHANGECONTROL = 0;
  std::int32_t CURRENTCHOICE = 0;
  std::int32_t CURRENTEVENT = 0;
  std::int32_t DELETECONTROL = 0;
  std::uint8_t ENTERACTION = 0;
  bool FILELOADED = false;
  std::uint8_t FOCUSLOSSACTION = 0;
  bool HASTHUMB = false;
  bool HIDESELECT = false;
  std::int32_t ILC = 0;  // the list control
  std::int32_t INSERTCONTROL = 0;
  std::int32_t ITEMSTOFILL = 0;
  std::int32_t LASTCHOICE = 0;
  std::int32_t LASTITEMS = 0;
  Rows* LISTQUEUE = nullptr;
  bool LOADPENDING = false;
  bool LOADED = false;
  bool NEEDREFRESH = false;
  PopupMenu* POPUP = nullptr;
  std::int32_t PREVCHOICE = 0;
  std::int32_t PRINTCONTROL = 0;
  std::uint16_t PRINTPROCEDURE = 0;
  std::int32_t QUERYCONTROL = 0;
  std::int32_t QUERYRESULT = 0;
  bool QUERYSHARED = false;
  bool QUICKSCAN = false;
  std::uint8_t RECORDSTATUS = 0;
  bool RETAINROW = true;
  std::int32_t SELECTCONTROL = 0;
  bool SELECTWHOLERECORD = false;
  bool SELECTING = false;
  bool STARTATCURRENT = false;
  std::uint8_t TABACTION = 0;
  std::int32_t TOOLCONTROL = 0;
  std::int32_t VIEWCONTROL = 0;
  WindowController* WINDOW = nullptr;

  BrowseList() = default;
  ~BrowseList() override;

  // Binds the list to its control, its table family and its window, and registers it with the
  // window. The window must be laid out: open, or given to the controller by useWindow.
  void init(int listControl, RelationSet& relations, WindowController& window);
  // A column showing field `field` (index into the table declaration) of each record.
  void addField(std::size_t field);
  // A column computed from the record in the buffer.
  void addField(std::function<std::string()> cell);

  // --- WINDOWCOMPONENT
  void kill() override;
  void reset(std::uint8_t force) override;
  [[nodiscard]] bool resetRequired() override;
  void setAlerts() override;
  SeverityLevel takeEvent() override;
  void update() override {}
  void updateWindow() override;

  std::uint8_t askRecord(std::uint8_t request);

  // Reads up to `count` records past the first row (up) or the last row (down); returns how
  // many came. Only for a list that is not file-loaded.
  enum class Direction { Up, Down };
  int fetch(Direction direction, int count);
  // Reloads the list with the record at `position` highlighted (or the nearest one).
  void resetFromPosition(const std::string& position);

  [[nodiscard]] int records() const { return LISTQUEUE != nullptr ? LISTQUEUE->rowCount() : 0; }
  [[nodiscard]] std::string positionOf(int row) const;
  [[nodiscard]] PopupMenu& popup() { return popup_; }

 private:
  [[nodiscard]] win::Window& window() const;
  [[nodiscard]] Rows::Row makeRow();
  void setChoice(int row);
  void syncChoice();
  void loadChoice();  // the highlighted record into the buffer
  void loadAll(const std::string& position);
  void loadPage(const std::string& position);
  void clearRows();
  void addPopupItems();
  void pressButton(int control);
  SeverityLevel takeKey(win::KeyCode key);
  // Moves the highlight to the first record whose locator field is at or after the typed
  // character; false when the order has no locator or the key is not a character.
  bool locate(win::KeyCode key);
  SeverityLevel takeScroll(win::EventCode code);
  SeverityLevel takeAccepted(int control);
  void takeClose();
  void handleResponse(std::uint8_t request, std::uint8_t response);
  bool navigate(std::int32_t request);
  void startToolbox();
  void closeToolbox();
  void refillAfterRemoval();
  SeverityLevel finishMove();

  Rows rows_;
  PopupMenu popup_;
  std::vector<std::function<std::string()>> columns_;
  RecordImage savedRecord_;
  bool haveSavedRecord_ = false;
  win::ThreadId toolbox_ = 0;
  int lastOrder_ = 0;
  bool killed_ = false;
};

}  // namespace marlo
