#include "framework/runtime_error.h"

#include <utility>

#include "platform/core/number.h"
#include "platform/storage/keyed_table.h"

namespace marlo {

namespace {
thread_local RuntimeError threadError;
}

const RuntimeError& currentRuntimeError() {
  return threadError;
}

void setRuntimeError(RuntimeError error) {
  threadError = std::move(error);
}

void noteRuntimeError(const KeyedTable& table) {
  threadError.code = table.error();
  threadError.text = table.errorText();
  threadError.fileErrorCode =
      table.driverError() == 0 ? std::string() : toText(table.driverError());
  threadError.fileError = table.driverErrorText();
}

void clearRuntimeError() {
  threadError = RuntimeError{};
}

}  // namespace marlo
