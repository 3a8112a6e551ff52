// Test tables in a fresh folder: a folder list like the program's own (auto-numbered RBR and
// a name), and a second connection to the same file standing in for another station.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/error_manager.h"
#include "framework/file_manager.h"
#include "framework/runtime_error.h"
#include "platform/storage/keyed_table.h"
#include "scripted_interface.h"

namespace marlo::test {

struct Folder {
  std::int32_t RBR = 0;
  CString<81> NAZIV;
};

// Key 0: RBR (unique). With `uniqueName`, key 1: NAZIV (unique, case-insensitive).
inline TableDeclaration declareFolders(Folder& record, bool uniqueName = false) {
  TableDeclaration decl;
  decl.prefix = "fol";
  decl.fileName = "FOLDERS";
  decl.fields = {bindField("RBR", record.RBR), bindField("NAZIV", record.NAZIV)};
  decl.keys = {{"rbr_key", {{0, true}}, false, false}};
  if (uniqueName) decl.keys.push_back({"naziv_key", {{1, true}}, false, true});
  return decl;
}

class TableTest : public FrameworkTest {
 protected:
  void SetUp() override {
    FrameworkTest::SetUp();
    errors.init(nullptr);
    clearRuntimeError();
  }

  [[nodiscard]] std::vector<std::string> captions() const {
    std::vector<std::string> out;
    for (const MessageBoxRequest& box : ui.boxes) out.push_back(box.caption);
    return out;
  }

  ErrorManager errors;
};

}  // namespace marlo::test
