#include "app/files_table.h"

namespace files {

std::int32_t RBR = 0;
marlo::CString<222> NAZIV_FOLDERA;
marlo::CString<222> TEST_FOLDER;

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

}  // namespace files
