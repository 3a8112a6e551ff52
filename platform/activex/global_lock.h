// The runtime's global lock. Code that must not run beside the program's own threads holds it;
// every call into a hosted control is made with it released, so that a control that works for a
// long time (or waits for its own worker) never stops the program's other threads. Releases
// nest: a call into a control made from inside another one releases nothing more, and only the
// outermost release gives the lock up and takes it back.
#pragma once

#include <cstdint>

namespace marlo::activex {

class GlobalLock {
 public:
  static void acquire();
  static void release();
  static bool tryAcquire();
  // Whether the calling thread holds the lock now.
  [[nodiscard]] static bool heldByCaller();
  // How many times a call gave the lock up (for tests).
  [[nodiscard]] static std::uint64_t handovers();

  // The lock released for as long as the object lives (when the calling thread holds it).
  class Released {
   public:
    Released();
    ~Released();
    Released(const Released&) = delete;
    Released& operator=(const Released&) = delete;
  };
};

}  // namespace marlo::activex
