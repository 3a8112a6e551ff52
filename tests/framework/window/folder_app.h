// A small program over a test table, written as the backup program writes its windows: a list
// window ("Folders") whose list asks a form window ("Folder") to insert, change, delete or view
// a folder record. Settings on FolderApp let each test shape the form.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "framework/file_manager.h"
#include "framework/relation_set.h"
#include "framework/window/browse_list.h"
#include "framework/window/form_toolbar.h"
#include "framework/window/window_controller.h"
#include "platform/storage/keyed_table.h"
#include "platform/window/window.h"

namespace marlo::test {

struct FolderRecord {
  std::int32_t RBR = 0;
  CString<81> NAZIV;
};

TableDeclaration declareFolderTable(FolderRecord& record);

struct FolderApp {
  FolderApp();
  ~FolderApp();

  FolderRecord record;
  KeyedTable table;
  FileManager files;
  RelationSet relations;

  // --- how the list is set up
  bool fileLoaded = true;
  bool withView = true;
  bool withSelect = true;
  int listHeight = 60;  // five rows of ten dialog units below the header
  bool deleteDisabled = false;
  bool withTools = false;
  // --- how the form behaves
  std::uint8_t insertAction = 2;
  std::uint8_t deleteAction = 2;
  std::uint8_t cancelAction = 3;
  std::int32_t historyKey = 734;
  bool refuseInsert = false;  // primeFields refuses
  RecordImage dittoCopy;      // the form's history lives as long as the program
  int formsOpened = 0;
  std::uint8_t lastFormRequest = 0;
};

enum class ListControl : int { List = 1, Insert, Change, Delete, View, Select, Close, Tools };
enum class FormControl : int { NumberPrompt = 1, Number, NamePrompt, Name, Ok, Cancel };

class FolderForm : public WindowController {
 public:
  explicit FolderForm(FolderApp& app) : app_(app) {}
  SeverityLevel init() override;
  SeverityLevel kill() override;
  void primeFields() override;

 private:
  SeverityLevel prepare();
  void layOut();

  FolderApp& app_;
  FormToolbar toolbar_;
  FormToolbarTarget target_;
  win::Window window_{"Folder", {0, 0, 200, 80}};
};

class FolderList : public WindowController {
 public:
  explicit FolderList(FolderApp& app) : app_(app) {}
  SeverityLevel init() override;
  SeverityLevel kill() override;
  std::uint8_t runProcedure(int number, std::uint8_t request) override;

  BrowseList list;

 private:
  SeverityLevel prepare();
  void layOut();

  FolderApp& app_;
  FormToolbar toolbar_;
  win::Window window_{"Folders", {0, 0, 260, 120}};
};

// Adds folders 1..count named "Folder 1" ... through a connection of its own.
void addFolders(int count);
// Another station's connection to the same table.
struct OtherStation {
  OtherStation();
  ~OtherStation();
  FolderRecord record;
  KeyedTable table;
  // Renames the folder with this number; false when it could not.
  bool rename(std::int32_t rbr, const std::string& name);
  // Deletes the folder with this number; false when it could not.
  bool remove(std::int32_t rbr);
  [[nodiscard]] std::string nameOf(std::int32_t rbr);
  [[nodiscard]] bool exists(std::int32_t rbr);
  [[nodiscard]] std::int64_t count();
};

}  // namespace marlo::test
