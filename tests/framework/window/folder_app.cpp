#include "tests/framework/window/folder_app.h"

#include "framework/error_manager.h"

namespace marlo::test {

using win::ControlKind;
using win::n;

TableDeclaration declareFolderTable(FolderRecord& record) {
  TableDeclaration decl;
  decl.prefix = "fol";
  decl.fileName = "FOLDERS";
  decl.fields = {bindField("RBR", record.RBR), bindField("NAZIV", record.NAZIV)};
  decl.keys = {{"rbr_key", {{0, true}}, false, false}};
  return decl;
}

FolderApp::FolderApp() : table(declareFolderTable(record)) {
  files.init(table, globalErrors);
  files.addKey(0, "fol:rbr_key", 1);
  files.CREATE = true;
  relations.init(files);
}

FolderApp::~FolderApp() {
  relations.kill();
  files.kill();
}

// --- the form ----------------------------------------------------------------------------------

SeverityLevel FolderForm::init() {
  return setUp({.procedure = "up_folder",
                .window = &window_,
                .firstField = n(FormControl::Name),
                .toolbar = &toolbar_,
                .beforeOpen = [this] { return prepare(); }});
}

SeverityLevel FolderForm::prepare() {
  ++app_.formsOpened;
  app_.lastFormRequest = REQUEST;
  HISTORYKEY = app_.historyKey;
  addToolbarTarget(target_);
  INSERTACTION = app_.insertAction;
  DELETEACTION = app_.deleteAction;
  CANCELACTION = app_.cancelAction;
  addHistoryFile(app_.table, app_.dittoCopy);
  addHistoryField(n(FormControl::Name), 2);
  addUpdateFile(app_.files);
  if (REQUEST == RequestView) {
    CHANGEACTION = 0;
    addButton(n(FormControl::Ok), ResponseCancelled);
  } else {
    OKCONTROL = n(FormControl::Ok);
  }
  addButton(n(FormControl::Cancel), ResponseCancelled);
  app_.relations.open();
  FILESOPENED = true;
  PRIMARY = &app_.relations;
  if (primeUpdate() != 0) return SevNotify;
  layOut();
  return SevBenign;
}

void FolderForm::layOut() {
  using C = FormControl;
  window_.add<FormControl>({
      {C::NumberPrompt, ControlKind::Prompt, "Number:", {4, 4, 40, 10}},
      {C::Number, ControlKind::Display, "", {48, 4, 40, 10}},
      {C::NamePrompt, ControlKind::Prompt, "Folder:", {4, 20, 40, 10}},
      {C::Name, ControlKind::Entry, "", {48, 20, 140, 12}},
      {C::Ok, ControlKind::Button, "&OK", {100, 60, 40, 14}, win::flag::Default},
      {C::Cancel, ControlKind::Button, "&Cancel", {150, 60, 40, 14}},
  });
  window_.bind(n(C::Number), win::Binding::to(app_.record.RBR));
  window_.bind(n(C::Name), win::Binding::to(app_.record.NAZIV));
  if (REQUEST == RequestView) window_.setFlag(n(C::Name), win::flag::ReadOnly, true);
}

void FolderForm::primeFields() {
  if (app_.refuseInsert) {
    RESPONSE = ResponseCancelled;
    return;
  }
  app_.record.NAZIV = "New folder";
}

SeverityLevel FolderForm::kill() {
  const SeverityLevel r = WindowController::kill();
  if (r == SevNotify) return r;
  if (FILESOPENED) app_.relations.close();
  globalErrors.setProcedureName({}, true);
  return r;
}

// --- the list ------------------------------------------------------------------------------------

SeverityLevel FolderList::init() {
  return setUp(
      {.procedure = "Folders", .window = &window_, .toolbar = &toolbar_, .beforeOpen = [this] {
         return prepare();
       }});
}

SeverityLevel FolderList::prepare() {
  addButton(n(ListControl::Close), ResponseCancelled);
  app_.relations.open();
  FILESOPENED = true;
  layOut();
  useWindow(window_);  // the list is set up on the laid-out window before it opens
  list.FILELOADED = app_.fileLoaded;
  list.init(n(ListControl::List), app_.relations, *this);
  list.addSortOrder(0, {}, 0);  // a locator on the number
  list.addField(0);
  list.addField(1);
  list.INSERTCONTROL = n(ListControl::Insert);
  list.CHANGECONTROL = n(ListControl::Change);
  list.DELETECONTROL = n(ListControl::Delete);
  if (app_.withView) list.VIEWCONTROL = n(ListControl::View);
  if (app_.withSelect) list.SELECTCONTROL = n(ListControl::Select);
  if (app_.withTools) list.TOOLCONTROL = n(ListControl::Tools);
  list.ASKPROCEDURE = 1;
  return SevBenign;
}

void FolderList::layOut() {
  using C = ListControl;
  window_.add<ListControl>({
      {C::List, ControlKind::List, "", {4, 4, 180, app_.listHeight}, win::flag::VScroll},
      {C::Insert, ControlKind::Button, "&Insert", {190, 4, 60, 14}},
      {C::Change, ControlKind::Button, "&Change", {190, 20, 60, 14}},
      {C::Delete, ControlKind::Button, "&Delete", {190, 36, 60, 14}},
      {C::View, ControlKind::Button, "&View", {190, 52, 60, 14}},
      {C::Select, ControlKind::Button, "&Select", {190, 68, 60, 14}},
      {C::Close, ControlKind::Button, "C&lose", {190, 100, 60, 14}},
      {C::Tools, ControlKind::Button, "&Tools", {190, 84, 60, 14}},
  });
  win::ListColumn number;
  number.header = "Nr";
  number.width = 24;
  win::ListColumn name;
  name.header = "Folder";
  name.width = 150;
  window_.setColumns(n(C::List), {number, name});
  if (!app_.withTools) window_.hide(n(C::Tools));
  if (app_.deleteDisabled) window_.disable(n(C::Delete));
}

std::uint8_t FolderList::runProcedure(int number, std::uint8_t request) {
  if (number != 1) return ResponseCancelled;
  pendingRequest = request;
  FolderForm form(app_);
  lastResponse = form.run();
  return lastResponse;
}

SeverityLevel FolderList::kill() {
  const SeverityLevel r = WindowController::kill();
  if (r == SevNotify) return r;
  if (FILESOPENED) app_.relations.close();
  globalErrors.setProcedureName({}, true);
  return r;
}

// --- helpers -------------------------------------------------------------------------------------

OtherStation::OtherStation() : table(declareFolderTable(record)) {
  if (table.open(0x42) != 0) {
    table.create();
    table.open(0x42);
  }
}

OtherStation::~OtherStation() {
  table.close();
}

bool OtherStation::rename(std::int32_t rbr, const std::string& name) {
  record.RBR = rbr;
  if (table.get(0) != 0) return false;
  record.NAZIV = name;
  return table.put() == 0;
}

bool OtherStation::remove(std::int32_t rbr) {
  record.RBR = rbr;
  return table.get(0) == 0 && table.erase() == 0;
}

std::string OtherStation::nameOf(std::int32_t rbr) {
  record.RBR = rbr;
  return table.get(0) == 0 ? record.NAZIV.str() : std::string("<none>");
}

bool OtherStation::exists(std::int32_t rbr) {
  record.RBR = rbr;
  return table.get(0) == 0;
}

std::int64_t OtherStation::count() {
  return table.records();
}

void addFolders(int count) {
  OtherStation station;
  for (int i = 1; i <= count; ++i) {
    station.record.RBR = i;
    station.record.NAZIV = "Folder " + std::to_string(i);
    station.table.add();
  }
}

}  // namespace marlo::test
