#include "platform/window/control_id.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace marlo::win {

namespace {

#ifdef NDEBUG
constexpr UnknownControl kDefaultAction = UnknownControl::Log;
#else
constexpr UnknownControl kDefaultAction = UnknownControl::Abort;
#endif

std::atomic<UnknownControl> gAction{kDefaultAction};

struct FaultSink {
  std::mutex mutex;
  FaultLog log;
};

FaultSink& sink() {
  static FaultSink s;
  return s;
}

}  // namespace

void setUnknownControlAction(UnknownControl action) {
  gAction.store(action);
}

UnknownControl unknownControlAction() {
  return gAction.load();
}

void setFaultLog(FaultLog log) {
  FaultSink& s = sink();
  std::lock_guard lock(s.mutex);
  s.log = std::move(log);
}

void logFault(std::string_view message) {
  FaultLog log;
  {
    FaultSink& s = sink();
    std::lock_guard lock(s.mutex);
    log = s.log;
  }
  if (log) {
    log(message);
    return;
  }
  std::fprintf(stderr, "marlo: %.*s\n", static_cast<int>(message.size()), message.data());
}

}  // namespace marlo::win
