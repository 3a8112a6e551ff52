#include "platform/activex/global_lock.h"

#include <atomic>
#include <mutex>

namespace marlo::activex {
namespace {

std::mutex& lock() {
  static std::mutex m;
  return m;
}
std::atomic<std::uint64_t> handoverCount{0};
thread_local bool holds = false;
thread_local int releaseDepth = 0;
thread_local bool givenUp = false;  // the outermost release gave the lock up

}  // namespace

void GlobalLock::acquire() {
  lock().lock();
  holds = true;
}

void GlobalLock::release() {
  holds = false;
  lock().unlock();
}

bool GlobalLock::tryAcquire() {
  if (!lock().try_lock()) return false;
  holds = true;
  return true;
}

bool GlobalLock::heldByCaller() {
  return holds;
}

std::uint64_t GlobalLock::handovers() {
  return handoverCount.load();
}

GlobalLock::Released::Released() {
  if (releaseDepth++ != 0 || !holds) return;
  givenUp = true;
  handoverCount.fetch_add(1);
  release();
}

GlobalLock::Released::~Released() {
  if (--releaseDepth != 0 || !givenUp) return;
  givenUp = false;
  acquire();
}

}  // namespace marlo::activex
