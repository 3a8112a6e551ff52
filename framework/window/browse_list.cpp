#include "framework/window/browse_list.h"

#include <algorithm>
#include <cassert>
#include <cstdio>

#include "framework/window/toolbar_tables.h"
#include "framework/window/window_controller.h"
#include "platform/core/number.h"
#include "platform/window/engine.h"
#include "platform/window/window.h"

namespace marlo {

namespace ev = win::event;
namespace key = win::key;

namespace {

std::string cellText(const FieldValue& value) {
  if (const auto* i = std::get_if<std::int64_t>(&value)) return toText(*i);
  if (const auto* d = std::get_if<double>(&value)) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g", *d);
    return buffer;
  }
  return std::string(clip(std::get<std::string>(value)));
}

}  // namespace

// --- BrowseList: setting up ----------------------------------------------------------------------

std::string BrowseList::Rows::cell(int row, int column) const {
  if (row < 1 || row > rowCount()) return {};
  const Row& r = rows[static_cast<std::size_t>(row - 1)];
  return column >= 0 && static_cast<std::size_t>(column) < r.cells.size()
             ? r.cells[static_cast<std::size_t>(column)]
             : std::string();
}

BrowseList::~BrowseList() = default;

win::Window& BrowseList::window() const {
  return *WINDOW->window();
}

void BrowseList::init(int listControl, RelationSet& relations, WindowController& owner) {
  // The list works on its control: the window must be laid out (open, or named by useWindow).
  assert(owner.window() != nullptr && owner.window()->hasControl(listControl));
  WINDOW = &owner;
  ILC = listControl;
  LISTQUEUE = &rows_;
  popup_.init(window());
  POPUP = &popup_;
  RETAINROW = true;
  PREVCHOICE = 0;
  ViewManager::init(relations);
  owner.addBrowse(*this);
  if (SELECTING) {
    file().useFile();
    savedRecord_ = file().table().image();
    haveSavedRecord_ = true;
    BUFFER = 1;
  }
  window().setSource(ILC, &rows_);
}

void BrowseList::addField(std::size_t field) {
  addField([this, field]() -> std::string {
    const auto& fields = file().table().declaration().fields;
    return field < fields.size() ? cellText(fields[field].get()) : std::string();
  });
}

void BrowseList::addField(std::function<std::string()> cell) {
  columns_.push_back(std::move(cell));
}

void BrowseList::setAlerts() {
  win::Window& w = window();
  w.alert(ILC, key::MouseLeft2);
  w.alert(ILC, key::MouseRightUp);
  HASTHUMB = w.control(ILC).has(win::flag::VScroll);
  addPopupItems();
  const bool locating = ORDER && std::any_of(ORDER->begin(), ORDER->end(),
                                             [](const SortOrder& o) { return o.LOCATOR >= 0; });
  if (INSERTCONTROL != 0) {
    w.alert(ILC, key::Insert);
    w.alert(ILC, key::Enter);  // on an empty list it starts an insert
  }
  if (INSERTCONTROL != 0 || locating) {
    // Characters go to the locator, and on an empty list they start an insert.
    w.alert(ILC, ' ');
    for (win::KeyCode k = '0'; k <= '9'; ++k) w.alert(ILC, k);
    for (win::KeyCode k = 'A'; k <= 'Z'; ++k) w.alert(ILC, k);
  }
  if (CHANGECONTROL != 0) w.alert(ILC, key::CtrlEnter);
  if (DELETECONTROL != 0) w.alert(ILC, key::Delete);
  if (VIEWCONTROL != 0) w.alert(ILC, key::ShiftEnter);
}

void BrowseList::addPopupItems() {
  popup_.kill();
  popup_.init(window());
  if (INSERTCONTROL != 0) popup_.addItemMimic("&Unos", INSERTCONTROL, "!&Unos");
  if (CHANGECONTROL != 0) popup_.addItemMimic("&Promjena", CHANGECONTROL, "!&Promjena");
  if (DELETECONTROL != 0) popup_.addItemMimic("&Brisanje", DELETECONTROL, "!&Brisanje");
  if (PRINTCONTROL != 0) popup_.addItemMimic("&Ispis", PRINTCONTROL, "!&Ispis");
  if (QUERYCONTROL != 0) {
    popup_.addSeparator("Separator2");
    popup_.addItemMimic("&Upit", QUERYCONTROL, "!&Upit");
  }
  if (SELECTCONTROL != 0 && SELECTING) popup_.addItemMimic("&Odabir", SELECTCONTROL, "!&Odabir");
  if (TOOLCONTROL != 0) {
    popup_.addSeparator("Separator");
    popup_.addItemMimic("&Alati", TOOLCONTROL, "!&Alati");
  }
}

// --- filling
// ---------------------------------------------------------------------------------------

BrowseList::Rows::Row BrowseList::makeRow() {
  Rows::Row row;
  row.cells.reserve(columns_.size());
  for (const auto& column : columns_) row.cells.push_back(column());
  row.position = file().getPosition();
  row.image = file().table().image();
  return row;
}

std::string BrowseList::positionOf(int row) const {
  if (row < 1 || row > records()) return {};
  return rows_.rows[static_cast<std::size_t>(row - 1)].position;
}

void BrowseList::clearRows() {
  rows_.rows.clear();
}

int BrowseList::fetch(Direction direction, int count) {
  const bool down = direction == Direction::Down;
  if (count <= 0) return 0;
  if (rows_.rows.empty()) {
    if (down) {
      setStart();
    } else {
      setEnd();
    }
  } else {
    const Rows::Row& edge = down ? rows_.rows.back() : rows_.rows.front();
    // The edge record may have gone meanwhile; its key values still mark the place.
    if (!setAt(edge.position)) {
      file().table().restoreImage(edge.image);
      if (down) {
        file().table().setAfterKeyValue(order() != nullptr ? order()->MAINKEY : 0);
      } else {
        setAtBuffer();
      }
    }
  }
  const int capacity = std::max(1, ITEMSTOFILL);
  int got = 0;
  while (got < count) {
    if (!(down ? next() : previous())) break;
    Rows::Row row = makeRow();
    if (static_cast<int>(rows_.rows.size()) >= capacity) {
      if (down) {
        rows_.rows.erase(rows_.rows.begin());
      } else {
        rows_.rows.pop_back();
      }
    }
    if (down) {
      rows_.rows.push_back(std::move(row));
    } else {
      rows_.rows.insert(rows_.rows.begin(), std::move(row));
    }
    ++got;
  }
  return got;
}

void BrowseList::loadAll(const std::string& position) {
  clearRows();
  setStart();
  while (next()) rows_.rows.push_back(makeRow());
  const auto it = std::find_if(rows_.rows.begin(), rows_.rows.end(), [&](const Rows::Row& r) {
    return !position.empty() && r.position == position;
  });
  if (it != rows_.rows.end()) CURRENTCHOICE = static_cast<int>(it - rows_.rows.begin()) + 1;
}

void BrowseList::loadPage(const std::string& position) {
  const int page = std::max(1, ITEMSTOFILL);
  const int wantedRow = RETAINROW ? std::clamp(CURRENTCHOICE, 1, page) : 1;
  clearRows();
  if (setAt(position) && filterPasses()) {
    rows_.rows.push_back(makeRow());
    const int above = fetch(Direction::Up, wantedRow - 1);
    fetch(Direction::Down, page - records());
    const int more = fetch(Direction::Up, page - records());
    CURRENTCHOICE = 1 + above + more;
    return;
  }
  fetch(Direction::Down, page);
}

void BrowseList::resetFromPosition(const std::string& position) {
  open();
  ITEMSTOFILL = window().visibleRows(ILC);
  LASTITEMS = ITEMSTOFILL;
  if (FILELOADED) {
    loadAll(position);
  } else {
    loadPage(position);
  }
  LOADED = true;
  LOADPENDING = false;
  lastOrder_ = currentOrder();
  window().display(ILC);
  setChoice(CURRENTCHOICE);
  loadChoice();
}

void BrowseList::setChoice(int row) {
  const int count = records();
  CURRENTCHOICE = count == 0 ? 0 : std::clamp(row, 1, count);
  window().setSelection(ILC, CURRENTCHOICE);
  if (CURRENTCHOICE != PREVCHOICE) {
    PREVCHOICE = CURRENTCHOICE;
    window().post(ev::NewSelection, ILC);
  }
}

void BrowseList::loadChoice() {
  if (CURRENTCHOICE < 1 || CURRENTCHOICE > records()) return;
  const Rows::Row& row = rows_.rows[static_cast<std::size_t>(CURRENTCHOICE - 1)];
  if (file().reget(row.position) != 0) file().table().restoreImage(row.image);
}

// --- WINDOWCOMPONENT
// -------------------------------------------------------------------------------

void BrowseList::reset(std::uint8_t force) {
  if (killed_ || WINDOW == nullptr || window().isOpen() == false) return;
  syncChoice();
  if (LOADED && !LOADPENDING && force == 0) return;
  resetFromPosition(positionOf(CURRENTCHOICE));
}

bool BrowseList::resetRequired() {
  if (killed_ || WINDOW == nullptr) return false;
  bool required = false;
  const int visible = window().visibleRows(ILC);
  if (visible != LASTITEMS) {
    LASTITEMS = visible;
    if (!FILELOADED) required = true;  // a loaded list already holds every row
  }
  if (currentOrder() != lastOrder_) required = true;
  if (required) LOADPENDING = true;
  return required;
}

void BrowseList::syncChoice() {
  // The person may have moved the highlight since the list last looked.
  const int shown = window().selection(ILC);
  if (shown < 1 || shown == CURRENTCHOICE || shown > records()) return;
  CURRENTCHOICE = shown;
  loadChoice();
}

void BrowseList::updateWindow() {
  if (killed_ || WINDOW == nullptr || !window().isOpen()) return;
  syncChoice();
  window().display(ILC);
  window().setSelection(ILC, CURRENTCHOICE);
}

void BrowseList::kill() {
  if (killed_) return;
  killed_ = true;
  closeToolbox();
  if (WINDOW != nullptr) {
    WINDOW->removeComponent(*this);
    if (WINDOW->window() != nullptr && window().isOpen() && window().hasControl(ILC)) {
      window().setSource(ILC, nullptr);
    }
  }
  ViewManager::kill();
  popup_.kill();
  POPUP = nullptr;
  columns_.clear();
  clearRows();
}

// --- events
// ------------------------------------------------------------------------------------------

SeverityLevel BrowseList::takeEvent() {
  if (killed_ || WINDOW == nullptr || WINDOW->window() == nullptr) return SevBenign;
  win::Window& w = window();
  const win::Event& e = w.event();
  CURRENTEVENT = e.code;
  SeverityLevel result = SevBenign;
  if (e.control == 0) {
    if (e.code == ev::CloseWindow || e.code == ev::CloseDown) takeClose();
  } else if (e.control == ILC) {
    switch (e.code) {
      case ev::AlertKey:
        result = takeKey(e.key);
        break;
      case ev::NewSelection:
        if (w.selection(ILC) != CURRENTCHOICE) {
          CURRENTCHOICE = w.selection(ILC);
          loadChoice();
        }
        PREVCHOICE = CURRENTCHOICE;
        break;
      case ev::ScrollUp:
      case ev::ScrollDown:
      case ev::PageUp:
      case ev::PageDown:
      case ev::ScrollTop:
      case ev::ScrollBottom:
      case ev::ScrollDrag:
        if (!FILELOADED) result = takeScroll(e.code);
        break;
      default:
        break;
    }
  } else if (e.code == ev::Accepted) {
    result = takeAccepted(e.control);
  }
  if (NEEDREFRESH && !killed_) {
    NEEDREFRESH = false;
    resetFromPosition(positionOf(CURRENTCHOICE));
  }
  return result;
}

void BrowseList::pressButton(int control) {
  win::Window& w = window();
  if (control == 0 || !w.hasControl(control) || !w.control(control).enabled()) return;
  w.post(ev::Accepted, control);
}

SeverityLevel BrowseList::takeKey(win::KeyCode code) {
  win::Window& w = window();
  if (code == key::MouseRightUp) {
    const int row = w.mouseRow();
    if (row >= 1 && row <= records()) {
      setChoice(row);
      loadChoice();
    }
    popup_.ask();
    return SevNotify;
  }
  if (records() == 0) {
    if (!locate(code)) pressButton(INSERTCONTROL);
    return SevNotify;
  }
  switch (code) {
    case key::Insert:
      pressButton(INSERTCONTROL);
      break;
    case key::Delete:
      pressButton(DELETECONTROL);
      break;
    case key::CtrlEnter:
      pressButton(CHANGECONTROL);
      break;
    case key::ShiftEnter:
      pressButton(VIEWCONTROL);
      break;
    case key::MouseLeft2:
      pressButton(SELECTING ? SELECTCONTROL : CHANGECONTROL);
      break;
    default:
      locate(code);
      break;
  }
  return SevNotify;
}

bool BrowseList::locate(win::KeyCode code) {
  const SortOrder* o = order();
  if (o == nullptr || o->LOCATOR < 0 || code < 0x20 || code > 0x7E) return false;
  const auto& fields = file().table().declaration().fields;
  if (static_cast<std::size_t>(o->LOCATOR) >= fields.size()) return false;
  const FieldBinding& field = fields[static_cast<std::size_t>(o->LOCATOR)];
  const char typed = static_cast<char>(code);
  if (field.type != FieldType::Text && (typed < '0' || typed > '9')) return false;
  const RecordImage before = file().table().image();
  file().table().clearBuffer();
  if (field.type == FieldType::Text) {
    field.set(FieldValue(std::string(1, typed)));
  } else {
    field.set(FieldValue(static_cast<std::int64_t>(typed - '0')));
  }
  setAtBuffer();
  bool found = next();
  if (!found) {  // past the last record: the last one is the nearest
    setEnd();
    found = previous();
  }
  const std::string position = found ? file().getPosition() : std::string();
  file().table().restoreImage(before);
  if (!found) return false;
  resetFromPosition(position);
  return true;
}

SeverityLevel BrowseList::takeScroll(win::EventCode code) {
  win::Window& w = window();
  const int page = std::max(1, ITEMSTOFILL);
  int choice = std::max(1, CURRENTCHOICE);
  switch (code) {
    case ev::ScrollUp:
      if (choice > 1) {
        --choice;
      } else {
        fetch(Direction::Up, 1);
      }
      break;
    case ev::ScrollDown:
      if (choice < records()) {
        ++choice;
      } else if (fetch(Direction::Down, 1) > 0) {
        choice = records();
      }
      break;
    case ev::PageDown:
      choice += page - fetch(Direction::Down, page);
      break;
    case ev::PageUp:
      choice -= page - fetch(Direction::Up, page);
      break;
    case ev::ScrollTop:
      clearRows();
      fetch(Direction::Down, page);
      choice = 1;
      break;
    case ev::ScrollBottom:
      clearRows();
      fetch(Direction::Up, page);
      choice = records();
      break;
    case ev::ScrollDrag: {
      const int thumb = w.thumb();
      if (thumb <= 1) {
        w.post(ev::ScrollTop, ILC);
        return SevNotify;
      }
      if (thumb >= 100) {
        w.post(ev::ScrollBottom, ILC);
        return SevNotify;
      }
      // Proportional place: the record that far into the current order.
      const std::int64_t skip = file().table().records() * thumb / 100;
      clearRows();
      setStart();
      for (std::int64_t i = 0; i < skip && next(); ++i) {
      }
      CURRENTCHOICE = 1;
      loadPage(file().getPosition());
      choice = CURRENTCHOICE;
      break;
    }
    default:
      return SevBenign;
  }
  CURRENTCHOICE = choice;
  return finishMove();
}

SeverityLevel BrowseList::finishMove() {
  window().display(ILC);
  setChoice(CURRENTCHOICE);
  loadChoice();
  // The list moved its highlight itself; the engine must not move it again.
  return SevNotify;
}

SeverityLevel BrowseList::takeAccepted(int control) {
  const auto ask = [&](std::uint8_t request) {
    WINDOW->update();
    if (!NEEDREFRESH) askRecord(request);
    return SevBenign;
  };
  if (DELETECONTROL != 0 && control == DELETECONTROL) return ask(RequestDelete);
  if (CHANGECONTROL != 0 && control == CHANGECONTROL) return ask(RequestChange);
  if (INSERTCONTROL != 0 && control == INSERTCONTROL) return ask(RequestInsert);
  if (VIEWCONTROL != 0 && control == VIEWCONTROL) return ask(RequestView);
  if (SELECTCONTROL != 0 && control == SELECTCONTROL) {
    WINDOW->RESPONSE = ResponseCompleted;
    window().post(ev::CloseWindow);
    return SevBenign;
  }
  if (PRINTCONTROL != 0 && control == PRINTCONTROL) {
    loadChoice();
    if (!NEEDREFRESH) WINDOW->runProcedure(PRINTPROCEDURE, RequestPrint);
    resetFromPosition(positionOf(CURRENTCHOICE));
    return SevBenign;
  }
  if (TOOLCONTROL != 0 && control == TOOLCONTROL) {
    startToolbox();
    return SevBenign;
  }
  return SevBenign;  // QUERYCONTROL: this program has no query windows; others: the locator's
}

void BrowseList::takeClose() {
  if (!SELECTING) return;
  if (WINDOW->RESPONSE == ResponseCompleted) {
    loadChoice();  // the chosen record stays in the buffer for the caller
  } else if (haveSavedRecord_) {
    file().table().restoreImage(savedRecord_);
  }
}

// --- asking the update form ----------------------------------------------------------------------

std::uint8_t BrowseList::askRecord(std::uint8_t request) {
  win::Window& w = window();
  std::uint8_t response = ResponseCancelled;
  for (;;) {
    navigationRequest = 0;
    if (w.keyCode() == key::MouseRightUp) w.setKeyCode(0);
    if (ASKPROCEDURE == 0) return response;  // no editing in place in this program
    if (request == RequestInsert) {
      file().table().clearBuffer();
      if (file().primeAutoInc() != SevBenign) return ResponseCancelled;
    } else {
      if (CURRENTCHOICE < 1 || CURRENTCHOICE > records()) return ResponseCancelled;
      loadChoice();
    }
    response = WINDOW->runProcedure(ASKPROCEDURE, request);
    // A form that never opened (its priming refused) leaves the numbered record behind.
    if (request == RequestInsert && response != ResponseCompleted && file().autoIncDone()) {
      PRIMARY->cancelAutoInc();
    }
    handleResponse(request, response);
    const std::int32_t nav = navigationRequest;
    if (nav == 0) break;
    if (nav == toolbar::kInsert || (nav == toolbar::kDown && request == RequestInsert)) {
      request = RequestInsert;
      continue;
    }
    if (!navigate(nav)) break;
  }
  navigationRequest = 0;
  updateWindow();
  if (w.isOpen()) w.select(ILC);
  return response;
}

void BrowseList::handleResponse(std::uint8_t request, std::uint8_t response) {
  if (response == ResponseCompleted && request == RequestDelete) {
    if (CURRENTCHOICE >= 1 && CURRENTCHOICE <= records()) {
      rows_.rows.erase(rows_.rows.begin() + (CURRENTCHOICE - 1));
    }
    refillAfterRemoval();
    return;
  }
  if (response == ResponseCompleted) {
    resetFromPosition(file().getPosition());
    return;
  }
  resetFromPosition(positionOf(CURRENTCHOICE));
}

void BrowseList::refillAfterRemoval() {
  if (!FILELOADED) {
    const int page = std::max(1, ITEMSTOFILL);
    fetch(Direction::Down, page - records());
    const int above = fetch(Direction::Up, page - records());
    CURRENTCHOICE += above;
  }
  window().display(ILC);
  PREVCHOICE = -1;  // the highlighted record is another one now
  setChoice(CURRENTCHOICE);
  loadChoice();
}

bool BrowseList::navigate(std::int32_t request) {
  if (records() == 0) return false;
  const std::string before = positionOf(CURRENTCHOICE);
  win::EventCode code = 0;
  switch (request) {
    case toolbar::kDown:
      code = ev::ScrollDown;
      break;
    case toolbar::kUp:
      code = ev::ScrollUp;
      break;
    case toolbar::kPageDown:
      code = ev::PageDown;
      break;
    case toolbar::kPageUp:
      code = ev::PageUp;
      break;
    case toolbar::kTop:
      code = ev::ScrollTop;
      break;
    case toolbar::kBottom:
      code = ev::ScrollBottom;
      break;
    default:
      return false;
  }
  if (FILELOADED) {
    const int page = std::max(1, window().visibleRows(ILC));
    int row = CURRENTCHOICE;
    switch (code) {
      case ev::ScrollDown:
        ++row;
        break;
      case ev::ScrollUp:
        --row;
        break;
      case ev::PageDown:
        row += page;
        break;
      case ev::PageUp:
        row -= page;
        break;
      case ev::ScrollTop:
        row = 1;
        break;
      default:
        row = records();
        break;
    }
    setChoice(row);
    loadChoice();
  } else {
    takeScroll(code);
  }
  // At the end of the list there is nowhere to go: the form is not shown again.
  return positionOf(CURRENTCHOICE) != before;
}

// --- the "Browse Actions" toolbox ----------------------------------------------------------------

namespace {

struct ToolboxEntry {
  std::string text;
  int control = 0;
  std::uint16_t event = 0;
  bool mimic = false;
  bool enabled = true;
};

void runToolbox(std::vector<ToolboxEntry> entries, win::WindowHandle target) {
  const int height = 8 + 18 * static_cast<int>(entries.size());
  win::Window box("Browse Actions", {0, 0, 90, height});
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const int y = 4 + 18 * static_cast<int>(i);
    box.add(win::ControlKind::Button, entries[i].text, {4, y, 82, 14},
            entries[i].enabled ? 0u : win::flag::Disabled);
  }
  box.open();
  while (const win::Event* e = box.accept()) {
    if (e->code != ev::Accepted || e->control < 1 || e->control > static_cast<int>(entries.size()))
      continue;
    const ToolboxEntry& entry = entries[static_cast<std::size_t>(e->control - 1)];
    win::Engine::instance().post(target, entry.mimic ? ev::Accepted : entry.event, entry.control);
  }
}

}  // namespace

void BrowseList::startToolbox() {
  win::Engine& engine = win::Engine::instance();
  if (toolbox_ != 0 && engine.isRunning(toolbox_)) {
    for (const win::WindowInfo& info : engine.openWindows()) {
      if (info.thread == toolbox_) engine.activate(info.handle);
    }
    return;
  }
  std::vector<ToolboxEntry> entries;
  if (popup_.POPUPITEMS) {
    for (const PopupMenu::Item& item : *popup_.POPUPITEMS) {
      if (item.TEXT == "-" || !item.ONTOOLBOX || item.CONTROLID == TOOLCONTROL) continue;
      const bool enabled = !item.MIMICMODE || !window().hasControl(item.CONTROLID) ||
                           window().control(item.CONTROLID).enabled();
      entries.push_back(
          {popup_.shownText(item), item.CONTROLID, item.EVENT, item.MIMICMODE, enabled});
    }
  }
  const win::WindowHandle target = window().handle();
  toolbox_ = engine.start([entries = std::move(entries), target] { runToolbox(entries, target); });
}

void BrowseList::closeToolbox() {
  if (toolbox_ == 0 || !win::Engine::exists()) return;
  win::Engine& engine = win::Engine::instance();
  for (const win::WindowInfo& info : engine.openWindows()) {
    if (info.thread == toolbox_) engine.post(info.handle, ev::CloseWindow);
  }
  toolbox_ = 0;
}

}  // namespace marlo
