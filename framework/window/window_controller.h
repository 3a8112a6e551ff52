// The controller every window procedure derives from: it owns the window's event loop, hands
// every event to the window's components and to the procedure's overrides, and carries out the
// insert/change/delete/view protocol of a form window.
//
// A window procedure is written like this (framework/window/README.md says more):
//
//   enum class FolderControl : int { NamePrompt = 1, Name, Ok, Cancel };
//
//   class FolderForm : public WindowController {
//     SeverityLevel init() override {
//       return setUp({.procedure = "up_folder",
//                     .window = &window_,
//                     .firstField = win::n(FolderControl::Name),
//                     .toolbar = &toolbar_,
//                     .beforeOpen = [this] { return prepare(); }});
//     }
//     SeverityLevel kill() override {
//       const SeverityLevel r = WindowController::kill();
//       if (r == SevNotify) return r;
//       if (FILESOPENED) relations.close();
//       globalErrors.setProcedureName({}, true);
//       return r;
//     }
//     SeverityLevel prepare() {             // tables, buttons, priming, then the layout table
//       addUpdateFile(filesManager); OKCONTROL = win::n(FolderControl::Ok);
//       relations.open(); FILESOPENED = true; PRIMARY = &relations;
//       if (primeUpdate() != 0) return SevNotify;
//       window_.add<FolderControl>({{FolderControl::NamePrompt, win::ControlKind::Prompt, ...},
//       ...}); return SevBenign;
//     }
//     FormToolbar toolbar_;
//     win::Window window_{"Folder"};
//   };
//   ...
//   pendingRequest = RequestChange; FolderForm form; lastResponse = form.run();
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/error_manager.h"
#include "framework/relation_set.h"
#include "framework/severity.h"
#include "framework/window/window_component.h"
#include "platform/storage/keyed_table.h"
#include "platform/window/window.h"

namespace marlo {

class FormToolbar;
class FormToolbarTarget;
class WindowResizer;
class BrowseList;

// Translates the texts of a window when it opens.
class Translator {
 public:
  Translator() = default;
  Translator(const Translator&) = delete;
  Translator& operator=(const Translator&) = delete;
  virtual ~Translator() = default;
  virtual void translateWindow(win::Window& window) = 0;
};

// A question's answer buttons: Yes, No and Cancel, with Cancel the default.
inline constexpr unsigned kYesNoCancel = button::Yes | button::No | button::Cancel;

class WindowController {
 public:
  struct ButtonEntry {
    std::int32_t control = 0;
    std::uint8_t response = 0;
  };
  struct UpdateFile {
    FileManager* table = nullptr;
    int saved = 0;  // buffer id of the copy taken at primeUpdate
  };
  // "Ditto" support: one field of a record whose last saved value can be recalled.
  struct HistoryItem {
    KeyedTable* record = nullptr;
    std::shared_ptr<RecordImage> savedCopy;  // shared by the fields of one record
    std::int32_t control = 0;
    std::size_t fieldNumber = 0;  // from 1
  };

  WindowController() = default;
  WindowController(const WindowController&) = delete;
  WindowController& operator=(const WindowController&) = delete;
  virtual ~WindowController();

  // --- fields, in their declared order
  bool AUTOREFRESH = true;
  bool AUTOTOOLBAR = true;
  std::unique_ptr<std::vector<ButtonEntry>> BUTTONS;
  std::unique_ptr<std::vector<WINDOWCOMPONENT*>> CL;
  std::uint8_t CANCELACTION = 3;  // bit 0: save a changed record, bit 1: ask first
  std::uint8_t CHANGEACTION = 1;
  bool DEAD = false;
  std::uint8_t DELETEACTION = 2;  // 2 confirm and delete, 4 delete, other: the form deletes
  ErrorManager* ERRORS = nullptr;
  std::unique_ptr<std::vector<UpdateFile>> FILES;
  bool FILESOPENED = false;
  std::int32_t FIRSTFIELD = 0;
  bool FORCEDRESET = false;
  std::unique_ptr<std::vector<HistoryItem>> HISTORY;
  std::int32_t HISTORYKEY = 0;
  std::uint8_t INITED = 0;        // bit 0: opened, bit 1: first Sized seen
  std::uint8_t INSERTACTION = 2;  // 2 close, 3 insert another, 4 ask, other: stay
  std::string LASTINSERTEDPOSITION;
  std::int32_t OKCONTROL = 0;
  bool OPENED = false;
  std::uint8_t ORIGINALREQUEST = 0;
  RelationSet* PRIMARY = nullptr;
  std::uint8_t REQUEST = 0;
  bool RESETONGAINFOCUS = false;
  WindowResizer* RESIZE = nullptr;
  std::uint8_t RESPONSE = 0;
  int SAVED = 0;
  FormToolbar* TOOLBAR = nullptr;
  Translator* TRANSLATOR = nullptr;
  std::atomic<std::int32_t>* VCRREQUEST = nullptr;

  // --- virtual operations, in slot order
  virtual void ask();
  virtual SeverityLevel init();
  virtual SeverityLevel kill();
  virtual void open();
  virtual void primeFields() {}
  virtual int primeUpdate();
  virtual void reset(std::uint8_t force = 0);
  virtual void restoreField(int control);
  virtual std::uint8_t run();
  virtual std::uint8_t runProcedure(int number, std::uint8_t request);
  virtual void setAlerts();
  virtual void setResponse(std::uint8_t response);
  virtual SeverityLevel onAccepted();
  virtual SeverityLevel onCompleted();
  virtual SeverityLevel onCloseRequest();
  virtual SeverityLevel handleEvent();
  virtual SeverityLevel onFieldEvent() { return SevBenign; }
  virtual SeverityLevel onNewSelection();
  virtual SeverityLevel onRejected();
  virtual SeverityLevel onSelected() { return SevBenign; }
  virtual SeverityLevel onWindowEvent();
  virtual void update();

  // --- non-virtual operations
  void postCompleted();
  void saveHistory();
  void resetComponents(std::uint8_t force);
  void removeComponent(WINDOWCOMPONENT& component);
  void addComponent(WINDOWCOMPONENT& component);
  void addBrowse(BrowseList& list);
  void addButton(int control, std::uint8_t response);
  void addToolbar(FormToolbar& toolbar);
  void addToolbarTarget(FormToolbarTarget& target);
  void addResizer(WindowResizer& resizer);
  void addUpdateFile(FileManager& table);
  // The record whose fields the history key recalls. The saved copy is the caller's (so that
  // it outlives one run of a form and the next run recalls what the last one saved), or,
  // without one, kept by this window.
  void addHistoryFile(KeyedTable& record, RecordImage& savedCopy);
  void addHistoryFile(KeyedTable& record);
  void addHistoryField(int control, std::size_t fieldNumber);

  // The set-up every window procedure's init shares, in the framework's order: the procedure's
  // name pushed for messages, the request it serves taken from pendingRequest, the base init
  // (its failure stops here), the first field, the navigation request and the error manager,
  // the toolbar; whether the window may open at all (`admit`, while pendingRequest and
  // lastResponse still hold what the caller left: a window that allows one copy hands a second
  // start to the open one here); pendingRequest and lastResponse cleared; the procedure's own
  // steps that must come before the window opens (`beforeOpen`: tables, history, priming, the
  // layout); the window opened and OPENED set; the procedure's steps that need the open window
  // (`afterOpen`: resizer, saved placement, components); the alerts set. A verdict other than
  // SevBenign from `admit`, `beforeOpen` or `afterOpen` stops there and is returned.
  struct SetUp {
    std::string_view procedure;
    win::Window* window = nullptr;
    std::int32_t firstField = 0;
    FormToolbar* toolbar = nullptr;
    std::function<SeverityLevel()> admit = {};
    std::function<SeverityLevel()> beforeOpen = {};
    std::function<SeverityLevel()> afterOpen = {};
  };
  SeverityLevel setUp(const SetUp& steps);

  // --- the window itself
  // Makes `window` this controller's window without opening it, so that components (a list)
  // can be set up on its controls first.
  void useWindow(win::Window& window);
  // Makes `window` this controller's window and opens it (the program's init does this once
  // its tables are ready).
  void openWindow(win::Window& window);
  [[nodiscard]] win::Window* window() const { return window_; }
  [[nodiscard]] ErrorManager& errors() const { return ERRORS != nullptr ? *ERRORS : globalErrors; }

 protected:
  [[nodiscard]] bool primaryChanged() const;
  void selectFirstField();
  void redisplay();

 private:
  [[nodiscard]] int primeNextInsert();
  SeverityLevel completeInsert();
  SeverityLevel completeChange();
  SeverityLevel completeDelete();
  // Writes a changed record: 0 written or nothing to write, 1 a retry may help,
  // kChangedElsewhere another station changed it first, else failed.
  static constexpr int kChangedElsewhere = 5;
  int writeChange();
  void restoreUpdateFiles(bool saveAgain);
  [[nodiscard]] FileManager* primaryFile() const;
  void waitCursor(bool on);

  win::Window* window_ = nullptr;
  bool givenUp_ = false;  // the person declined to save again after a failed write
};

}  // namespace marlo
