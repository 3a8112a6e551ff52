#include "app/files_table.h"

#include <cassert>

#include "app/globals.h"
#include "framework/error_manager.h"
#include "framework/file_manager.h"
#include "framework/relation_set.h"

namespace files {

std::int32_t RBR = 0;
marlo::CString<222> NAZIV_FOLDERA;
marlo::CString<222> TEST_FOLDER;

namespace {

const glo::Reset kReset{[] {
  RBR = 0;
  NAZIV_FOLDERA = "";
  TEST_FOLDER = "";
}};

}  // namespace

marlo::TableDeclaration declaration() {
  marlo::TableDeclaration decl;
  decl.prefix = kPrefix;
  decl.fileName = kFileName;
  decl.fields.push_back(marlo::bindField("RBR", RBR));
  decl.fields.push_back(marlo::bindField("NAZIV_FOLDERA", NAZIV_FOLDERA));
  decl.fields.push_back(marlo::bindField("TEST_FOLDER", TEST_FOLDER));
  decl.keys.push_back({"rbr_key", {{static_cast<std::size_t>(Field::RBR), true}}, false, false});
  return decl;
}

namespace {

struct Declarations {
  Declarations() : table(declaration()) {
    manager.init(table, marlo::globalErrors);
    manager.addKey(kRbrKey, kRbrKeyDescription, 1);
    manager.CREATE = true;
    manager.LOCKRECOVER = 10;
    relations.init(manager);
  }
  ~Declarations() {
    relations.kill();
    manager.kill();
  }
  Declarations(const Declarations&) = delete;
  Declarations& operator=(const Declarations&) = delete;

  marlo::KeyedTable table;
  marlo::FileManager manager;
  marlo::RelationSet relations;
};

std::unique_ptr<Declarations> declarations;

Declarations& declared() {
  assert(declarations && "the folder table is used before the program declared it");
  return *declarations;
}

}  // namespace

void initDeclarations() {
  declarations = std::make_unique<Declarations>();
}
void killDeclarations() {
  declarations.reset();
}
marlo::KeyedTable& table() {
  return declared().table;
}
marlo::FileManager& manager() {
  return declared().manager;
}
marlo::RelationSet& relations() {
  return declared().relations;
}

}  // namespace files
