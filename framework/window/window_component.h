// The request codes, response codes and process-wide globals by which one window asks a form
// window to insert, change, delete or view a record, and the interface through which a window
// drives its components (lists, toolbar targets).
#pragma once

#include <atomic>
#include <cstdint>

#include "framework/severity.h"

namespace marlo {

inline constexpr std::uint8_t RequestInsert = 1;
inline constexpr std::uint8_t RequestChange = 2;
inline constexpr std::uint8_t RequestDelete = 3;
inline constexpr std::uint8_t RequestSelect = 4;
inline constexpr std::uint8_t RequestPrint = 5;
inline constexpr std::uint8_t RequestView = 6;

inline constexpr std::uint8_t ResponseCompleted = 1;
inline constexpr std::uint8_t ResponseCancelled = 2;

// Process-wide, and windows on other threads clear them when they start, so each is atomic:
// one thread's write never tears another's read.
// Set by a caller just before it starts a form procedure.
extern std::atomic<std::uint8_t> pendingRequest;
// Cleared by every window at start-up; every window procedure leaves its response here.
extern std::atomic<std::uint8_t> lastResponse;
// A toolbar's navigation request that a form carries out when it closes; 0 = none.
extern std::atomic<std::int32_t> navigationRequest;

// The operations a window calls on each of its components, in the order listed.
class WINDOWCOMPONENT {
 public:
  WINDOWCOMPONENT() = default;
  WINDOWCOMPONENT(const WINDOWCOMPONENT&) = delete;
  WINDOWCOMPONENT& operator=(const WINDOWCOMPONENT&) = delete;
  virtual ~WINDOWCOMPONENT() = default;

  virtual void kill() = 0;
  virtual void reset(std::uint8_t force) = 0;
  [[nodiscard]] virtual bool resetRequired() = 0;
  virtual void setAlerts() = 0;
  virtual SeverityLevel takeEvent() = 0;
  virtual void update() = 0;        // screen values back into the record buffers
  virtual void updateWindow() = 0;  // record buffers out to the screen
};

}  // namespace marlo
