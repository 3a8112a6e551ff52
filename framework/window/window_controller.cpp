#include "framework/window/window_controller.h"

#include <algorithm>

#include "framework/messages.h"
#include "framework/user_interface.h"
#include "framework/window/browse_list.h"
#include "framework/window/form_toolbar.h"
#include "framework/window/window_resizer.h"
#include "platform/window/engine.h"

namespace marlo {

std::atomic<std::uint8_t> pendingRequest{0};
std::atomic<std::uint8_t> lastResponse{0};
std::atomic<std::int32_t> navigationRequest{0};

namespace ev = win::event;

WindowController::~WindowController() = default;

// --- registration ----------------------------------------------------------------------------

void WindowController::addComponent(WINDOWCOMPONENT& component) {
  if (!CL) CL = std::make_unique<std::vector<WINDOWCOMPONENT*>>();
  CL->push_back(&component);
}

void WindowController::addBrowse(BrowseList& list) {
  addComponent(list);
  if (REQUEST == RequestSelect) list.SELECTING = true;
}

void WindowController::removeComponent(WINDOWCOMPONENT& component) {
  if (!CL) return;
  CL->erase(std::remove(CL->begin(), CL->end(), &component), CL->end());
}

void WindowController::addButton(int control, std::uint8_t response) {
  if (!BUTTONS) BUTTONS = std::make_unique<std::vector<ButtonEntry>>();
  BUTTONS->push_back({control, response});
}

void WindowController::addToolbar(FormToolbar& toolbar) {
  TOOLBAR = &toolbar;
  toolbar.init(window_);
}

void WindowController::addToolbarTarget(FormToolbarTarget& target) {
  target.REQUEST = ORIGINALREQUEST;
  target.HISTORY = HISTORYKEY != 0;
  target.init();
  if (TOOLBAR == nullptr) return;
  TOOLBAR->addTarget(target, target.CONTROL);
  TOOLBAR->setTarget(target.CONTROL);
}

void WindowController::addResizer(WindowResizer& resizer) {
  RESIZE = &resizer;
}

void WindowController::addUpdateFile(FileManager& table) {
  if (!FILES) FILES = std::make_unique<std::vector<UpdateFile>>();
  FILES->push_back({&table, 0});
}

void WindowController::addHistoryFile(KeyedTable& record, RecordImage& savedCopy) {
  if (!HISTORY) HISTORY = std::make_unique<std::vector<HistoryItem>>();
  // The record's entry without a control yet; addHistoryField completes copies of it. The
  // caller's copy is referred to, not owned.
  HISTORY->push_back(
      {&record, std::shared_ptr<RecordImage>(std::shared_ptr<void>(), &savedCopy), 0, 0});
}

void WindowController::addHistoryFile(KeyedTable& record) {
  if (!HISTORY) HISTORY = std::make_unique<std::vector<HistoryItem>>();
  HISTORY->push_back({&record, std::make_shared<RecordImage>(), 0, 0});
}

void WindowController::addHistoryField(int control, std::size_t fieldNumber) {
  if (!HISTORY) return;
  const auto file = std::find_if(HISTORY->rbegin(), HISTORY->rend(),
                                 [](const HistoryItem& h) { return h.control == 0; });
  if (file == HISTORY->rend()) return;
  HistoryItem item = *file;
  item.control = control;
  item.fieldNumber = fieldNumber;
  HISTORY->push_back(item);
}

void WindowController::useWindow(win::Window& window) {
  window_ = &window;
  if (TOOLBAR != nullptr) TOOLBAR->setWindow(&window);
}

void WindowController::openWindow(win::Window& window) {
  useWindow(window);
  window.open();
}

// --- start and end -----------------------------------------------------------------------------

SeverityLevel WindowController::init() {
  ORIGINALREQUEST = REQUEST;
  CL = std::make_unique<std::vector<WINDOWCOMPONENT*>>();
  BUTTONS = std::make_unique<std::vector<ButtonEntry>>();
  INSERTACTION = 2;
  DELETEACTION = 2;
  CHANGEACTION = 1;
  CANCELACTION = 3;
  AUTOTOOLBAR = true;
  AUTOREFRESH = true;
  return SevBenign;
}

SeverityLevel WindowController::setUp(const SetUp& steps) {
  globalErrors.setProcedureName(steps.procedure);
  REQUEST = pendingRequest;
  if (const SeverityLevel r = WindowController::init(); r != SevBenign) return r;
  FIRSTFIELD = steps.firstField;
  VCRREQUEST = &navigationRequest;
  ERRORS = &globalErrors;
  if (steps.toolbar != nullptr) addToolbar(*steps.toolbar);
  if (steps.admit) {
    if (const SeverityLevel r = steps.admit(); r != SevBenign) return r;
  }
  pendingRequest = 0;
  lastResponse = 0;
  if (steps.beforeOpen) {
    if (const SeverityLevel r = steps.beforeOpen(); r != SevBenign) return r;
  }
  if (steps.window != nullptr) openWindow(*steps.window);
  OPENED = true;
  if (steps.afterOpen) {
    if (const SeverityLevel r = steps.afterOpen(); r != SevBenign) return r;
  }
  setAlerts();
  return SevBenign;
}

std::uint8_t WindowController::run() {
  if (init() == SevBenign) ask();
  kill();
  return RESPONSE != 0 ? RESPONSE : ResponseCancelled;
}

std::uint8_t WindowController::runProcedure(int /*number*/, std::uint8_t /*request*/) {
  return ResponseCancelled;
}

SeverityLevel WindowController::kill() {
  if (DEAD || !CL) return SevNotify;
  while (!CL->empty()) {
    WINDOWCOMPONENT* component = CL->front();
    CL->erase(CL->begin());
    component->kill();
  }
  CL.reset();
  BUTTONS.reset();
  HISTORY.reset();
  restoreUpdateFiles(false);
  FILES.reset();
  if (FileManager* primary = primaryFile(); primary != nullptr && SAVED != 0)
    primary->restoreBuffer(SAVED);
  SAVED = 0;
  if (TOOLBAR != nullptr) TOOLBAR->kill();
  if (RESIZE != nullptr) RESIZE->kill();
  DEAD = true;
  // A window whose loop ended early (a fatal verdict, or init failing after the window
  // opened) must not stay on the screen without anyone serving it.
  if (window_ != nullptr && window_->isOpen()) window_->close();
  return SevBenign;
}

int WindowController::primeUpdate() {
  FileManager* primary = primaryFile();
  if (primary != nullptr) primary->useFile();
  if (FILES) {
    for (UpdateFile& f : *FILES) f.saved = f.table->saveBuffer();
  }
  if (REQUEST == RequestInsert && INSERTACTION != 0) {
    RESPONSE = ResponseCompleted;
    primeFields();
    if (RESPONSE == ResponseCancelled) return 3;
    RESPONSE = ResponseCancelled;
  }
  if (REQUEST == RequestDelete && (DELETEACTION == 2 || DELETEACTION == 4) && PRIMARY != nullptr) {
    const bool deleted = PRIMARY->delete_(DELETEACTION == 2) == SevBenign;
    RESPONSE = deleted ? ResponseCompleted : ResponseCancelled;
    return 3;
  }
  if (primary != nullptr) SAVED = primary->saveBuffer();
  return 0;
}

// --- the event loop ------------------------------------------------------------------------------

void WindowController::ask() {
  if (DEAD || window_ == nullptr) return;
  LASTINSERTEDPOSITION.clear();
  while (window_->accept() != nullptr) {
    const SeverityLevel verdict = handleEvent();
    if (verdict == SevFatal) break;
    if (verdict == SevNotify) window_->consume();
  }
  if (window_->isOpen()) window_->close();
}

SeverityLevel WindowController::handleEvent() {
  const win::Event& e = window_->event();
  SeverityLevel level = SevBenign;
  if (e.control == 0) {
    level = onWindowEvent();
  } else {
    switch (e.code) {
      case ev::Accepted:
        level = onAccepted();
        break;
      case ev::Rejected:
        level = onRejected();
        break;
      case ev::Selected:
        level = onSelected();
        break;
      case ev::NewSelection:
        level = onNewSelection();
        break;
      case ev::AlertKey:
        if (HISTORYKEY != 0 && e.key == HISTORYKEY) restoreField(window_->focused());
        break;
      default:
        break;
    }
    if (level == SevBenign) level = onFieldEvent();
  }
  if (level != SevBenign) return level;
  // A component may remove itself while it handles the event; work on a copy.
  const std::vector<WINDOWCOMPONENT*> components = CL ? *CL : std::vector<WINDOWCOMPONENT*>{};
  for (WINDOWCOMPONENT* component : components) {
    level = component->takeEvent();
    if (level != SevBenign) return level;
  }
  if (AUTOREFRESH && CL && window_->isOpen()) {
    for (WINDOWCOMPONENT* component : *CL) {
      if (component->resetRequired()) {
        reset(0);
        break;
      }
    }
  }
  return SevBenign;
}

SeverityLevel WindowController::onWindowEvent() {
  switch (window_->eventCode()) {
    case ev::OpenWindow:
      if ((INITED & 1) == 0) open();
      if (FIRSTFIELD != 0) window_->select(FIRSTFIELD);
      break;
    case ev::LoseFocus:
      if (RESETONGAINFOCUS) FORCEDRESET = true;
      break;
    case ev::GainFocus:
      if ((INITED & 1) != 0) {
        reset(0);
      } else {
        open();
      }
      break;
    case ev::Sized:
      if (RESIZE != nullptr) RESIZE->resize();
      if ((INITED & 2) == 0) {
        INITED |= 2;
      } else {
        reset(0);
      }
      break;
    case ev::Completed:
      return onCompleted();
    case ev::CloseWindow:
    case ev::CloseDown:
      return onCloseRequest();
    default:
      break;
  }
  return SevBenign;
}

void WindowController::open() {
  if (TRANSLATOR != nullptr && window_ != nullptr) TRANSLATOR->translateWindow(*window_);
  reset(0);
  INITED |= 1;
}

void WindowController::reset(std::uint8_t force) {
  if (window_ == nullptr || window_->acceptAllRunning()) return;
  force = static_cast<std::uint8_t>(force + (FORCEDRESET ? 1 : 0));
  FORCEDRESET = false;
  resetComponents(force);
  if (window_->isOpen()) window_->display();
}

void WindowController::resetComponents(std::uint8_t force) {
  if (!CL) return;
  const std::vector<WINDOWCOMPONENT*> components = *CL;
  for (WINDOWCOMPONENT* component : components) component->reset(force);
  for (WINDOWCOMPONENT* component : components) component->updateWindow();
}

void WindowController::update() {
  if (!CL) return;
  for (WINDOWCOMPONENT* component : *CL) component->update();
}

void WindowController::setAlerts() {
  if (CL) {
    for (WINDOWCOMPONENT* component : *CL) component->setAlerts();
  }
  if (HISTORY && HISTORYKEY != 0 && window_ != nullptr) {
    for (const HistoryItem& h : *HISTORY) {
      if (h.control != 0 && window_->hasControl(h.control)) window_->alert(h.control, HISTORYKEY);
    }
  }
}

// --- field events --------------------------------------------------------------------------------

SeverityLevel WindowController::onAccepted() {
  const int control = window_->acceptedControl();
  if (TOOLBAR != nullptr) {
    const SeverityLevel routed = TOOLBAR->takeEvent(VCRREQUEST, *this);
    if (control == toolbar::kHistory && TOOLBAR->button(control).enabled) {
      restoreField(window_->focused());
    }
    if (routed != SevBenign) return routed;
  }
  if (BUTTONS) {
    for (const ButtonEntry& b : *BUTTONS) {
      if (b.control != control) continue;
      setResponse(b.response);
      return SevNotify;
    }
  }
  if (OKCONTROL != 0 && control == OKCONTROL) postCompleted();
  return SevBenign;
}

SeverityLevel WindowController::onRejected() {
  const int control = window_->eventControl();
  userInterface().beep();
  window_->display(control);
  window_->select(control);
  return SevBenign;
}

SeverityLevel WindowController::onNewSelection() {
  const int control = window_->eventControl();
  if (!window_->hasControl(control) || window_->kind(control) != win::ControlKind::List)
    return SevBenign;
  reset(0);
  if (AUTOTOOLBAR && TOOLBAR != nullptr) TOOLBAR->setTarget(control);
  return SevBenign;
}

void WindowController::postCompleted() {
  if (window_ == nullptr) return;
  if (REQUEST == RequestInsert || REQUEST == RequestChange) {
    window_->acceptAll();
  } else {
    window_->post(ev::Completed);
  }
}

void WindowController::setResponse(std::uint8_t response) {
  RESPONSE = response;
  if (window_ != nullptr) window_->post(ev::CloseWindow);
  if (response == ResponseCancelled && TOOLBAR != nullptr) {
    if (VCRREQUEST != nullptr) *VCRREQUEST = 0;
    navigationRequest = 0;
  }
}

// --- history ("ditto") ---------------------------------------------------------------------------

void WindowController::saveHistory() {
  if (!HISTORY) return;
  for (HistoryItem& h : *HISTORY) {
    if (h.control == 0 && h.record != nullptr) *h.savedCopy = h.record->image();
  }
}

void WindowController::restoreField(int control) {
  if (!HISTORY || control == 0) return;
  const auto it = std::find_if(HISTORY->begin(), HISTORY->end(),
                               [&](const HistoryItem& h) { return h.control == control; });
  if (it == HISTORY->end()) return;
  const auto& fields = it->record->declaration().fields;
  const std::size_t index = it->fieldNumber - 1;
  // Nothing was saved yet, or the entry names no field of the record: nothing to recall.
  if (it->fieldNumber == 0 || index >= fields.size() || it->savedCopy->size() != fields.size())
    return;
  fields[index].set((*it->savedCopy)[index]);
  if (window_ != nullptr && window_->hasControl(control)) window_->display(control);
}

// --- completing a form -------------------------------------------------------------------------

SeverityLevel WindowController::onCompleted() {
  saveHistory();
  switch (REQUEST) {
    case RequestInsert:
      return completeInsert();
    case RequestChange:
      return completeChange();
    case RequestDelete:
      return completeDelete();
    default:
      return SevBenign;
  }
}

SeverityLevel WindowController::completeInsert() {
  FileManager* primary = primaryFile();
  if (primary == nullptr) return SevBenign;
  if (primary->insert() != SevBenign) {
    selectFirstField();
    return SevNotify;
  }
  switch (INSERTACTION) {
    case 2:
      setResponse(ResponseCompleted);
      return SevBenign;
    case 4:
      if (errors().throw_(msg::RecordAdded) != SevBenign) {
        setResponse(ResponseCompleted);
        return SevBenign;
      }
      return static_cast<SeverityLevel>(primeNextInsert());
    case 3:
      return static_cast<SeverityLevel>(primeNextInsert());
    default:
      return SevBenign;
  }
}

// After an insert, the same form starts the next one at once.
int WindowController::primeNextInsert() {
  FileManager* primary = primaryFile();
  LASTINSERTEDPOSITION = primary->getPosition().substr(0, 1024);
  restoreUpdateFiles(true);
  if (SAVED != 0) primary->restoreBuffer(SAVED);
  SAVED = 0;
  primary->useFile();
  if (primary->primeAutoInc() != SevBenign) {
    window_->post(ev::CloseWindow);
  } else {
    primeFields();
    RESPONSE = ResponseCancelled;
  }
  SAVED = primary->saveBuffer();
  redisplay();
  selectFirstField();
  return SevNotify;
}

SeverityLevel WindowController::completeChange() {
  RESPONSE = ResponseCancelled;
  FileManager* primary = primaryFile();
  if (primary == nullptr) return SevBenign;
  for (;;) {
    waitCursor(true);
    const bool changed = primaryChanged();
    const int result = changed ? writeChange() : 0;
    waitCursor(false);
    if (result == 0) {
      if (changed || (TOOLBAR != nullptr && navigationRequest == 0)) RESPONSE = ResponseCompleted;
      window_->post(ev::CloseWindow);
      return SevBenign;
    }
    if (result == kChangedElsewhere) {
      // The other station's record is on the screen now and stays in the table: the person
      // looks at it and may recall their own values with the history key, then save again.
      // It is the form's starting point from here, so closing without typing asks nothing.
      const RecordImage shown = primary->table().image();
      primary->restoreBuffer(SAVED);
      primary->table().restoreImage(shown);
      SAVED = primary->saveBuffer();
      break;
    }
    if (result != 1) break;
    const unsigned answer = errors().message(msg::UpdateFailedRetry, kYesNoCancel, button::Cancel);
    if (answer == button::Yes) continue;
    if (answer == button::No) {
      // The person has just declined to save: closing must not ask the same again.
      givenUp_ = true;
      window_->post(ev::CloseWindow);
      return SevBenign;
    }
    break;
  }
  redisplay();
  selectFirstField();
  return SevBenign;
}

int WindowController::writeChange() {
  const SeverityLevel written = PRIMARY->update(HISTORYKEY != 0);
  if (written == SevBenign) return 0;
  if (written == SevUser) return 1;
  // Changed by another station meanwhile: the table manager has said so and read their record.
  const int recorded = PRIMARY->primary().lastError();
  return recorded == msg::ChangedElsewhere || recorded == msg::ChangedElsewhereShown
             ? kChangedElsewhere
             : 2;
}

SeverityLevel WindowController::completeDelete() {
  RESPONSE = ResponseCancelled;
  if (PRIMARY == nullptr) return SevBenign;
  if (DELETEACTION == 2 && PRIMARY->primary().throw_(msg::ConfirmDelete) != SevBenign) {
    redisplay();
    selectFirstField();
    return SevBenign;
  }
  for (;;) {
    waitCursor(true);
    const SeverityLevel deleted = PRIMARY->delete_(false);
    waitCursor(false);
    if (deleted == SevBenign) {
      setResponse(ResponseCompleted);
      return SevBenign;
    }
    // The form's own question, after the table manager's: Cancel keeps the form open.
    const unsigned answer = errors().message(msg::DeleteFailedRetry, kYesNoCancel, button::Cancel);
    if (answer == button::Yes) continue;
    if (answer == button::No) {
      window_->post(ev::CloseWindow);
      return SevBenign;
    }
    redisplay();
    selectFirstField();
    return SevBenign;
  }
}

SeverityLevel WindowController::onCloseRequest() {
  if (RESPONSE == ResponseCompleted || PRIMARY == nullptr) return SevBenign;
  const bool editing = REQUEST == RequestInsert || REQUEST == RequestChange;
  if (CANCELACTION != 0 && editing && !givenUp_ && primaryChanged()) {
    if ((CANCELACTION & 3) == 3) {
      const unsigned answer = errors().message(msg::SaveChanges, kYesNoCancel, button::Cancel);
      if (answer == button::Yes) {
        if (OKCONTROL != 0) {
          window_->post(ev::Accepted, OKCONTROL);
        } else {
          postCompleted();
        }
        return SevNotify;
      }
      if (answer != button::No) {
        selectFirstField();
        return SevNotify;
      }
    } else if ((CANCELACTION & 1) != 0) {
      if (OKCONTROL != 0) {
        window_->post(ev::Accepted, OKCONTROL);
      } else {
        postCompleted();
      }
      return SevNotify;
    } else if (errors().throw_(msg::ConfirmCancel) != SevBenign) {
      selectFirstField();
      return SevNotify;
    }
  }
  if (ORIGINALREQUEST == RequestInsert && RESPONSE == ResponseCancelled &&
      PRIMARY->cancelAutoInc() != SevBenign) {
    selectFirstField();
    return SevNotify;
  }
  if (!clip(LASTINSERTEDPOSITION).empty()) {
    RESPONSE = ResponseCompleted;
    primaryFile()->reget(LASTINSERTEDPOSITION);
  }
  return SevBenign;
}

// --- helpers -------------------------------------------------------------------------------------

FileManager* WindowController::primaryFile() const {
  return PRIMARY != nullptr ? &PRIMARY->primary() : nullptr;
}

bool WindowController::primaryChanged() const {
  const FileManager* primary = primaryFile();
  return primary != nullptr && SAVED != 0 && !primary->equalBuffer(SAVED);
}

void WindowController::restoreUpdateFiles(bool saveAgain) {
  if (!FILES) return;
  for (UpdateFile& f : *FILES) {
    if (f.saved != 0) f.table->restoreBuffer(f.saved);
    f.saved = saveAgain ? f.table->saveBuffer() : 0;
  }
}

void WindowController::selectFirstField() {
  if (window_ != nullptr && FIRSTFIELD != 0) window_->select(FIRSTFIELD);
}

void WindowController::redisplay() {
  if (window_ != nullptr && window_->isOpen()) window_->display();
}

void WindowController::waitCursor(bool on) {
  if (window_ != nullptr && window_->isOpen())
    window_->setCursor(on ? win::Cursor::Wait : win::Cursor::Arrow);
}

}  // namespace marlo
