// The error of the last storage operation on the calling thread, as the error manager captures
// it when it raises a message: the error code and text, and the storage driver's own code and
// text (meaningful when the code is 90). Each thread has its own, so the Restore window's
// failures never show up in a message of the main window.
#pragma once

#include <string>
#include <string_view>

namespace marlo {

class KeyedTable;

struct RuntimeError {
  int code = 0;
  std::string text;
  std::string fileErrorCode;  // the driver's code as text
  std::string fileError;
};

[[nodiscard]] const RuntimeError& currentRuntimeError();
void setRuntimeError(RuntimeError error);
// Takes over the error of the last operation of `table`.
void noteRuntimeError(const KeyedTable& table);
void clearRuntimeError();

}  // namespace marlo
