// Dates and times as the program counts them, and the clock they come from.
//
// A time of day is a standard time number: hundredths of a second since midnight plus 1, so
// that 0 can mean "no time" (midnight is 1, 12:00:00 is 4320001). A date is a day number:
// days since 28 December 1800, so that 1 January 1801 is day 4.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>

namespace marlo {

using StandardTime = std::int32_t;
using DayNumber = std::int32_t;

inline constexpr StandardTime kNoTime = 0;
inline constexpr StandardTime kHundredthsPerDay = 24 * 60 * 60 * 100;

struct CivilDate {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

struct TimeOfDay {
  int hours = 0;
  int minutes = 0;
  int seconds = 0;
  int hundredths = 0;
  friend bool operator==(const TimeOfDay&, const TimeOfDay&) = default;
};

[[nodiscard]] DayNumber toDayNumber(const CivilDate& date);
[[nodiscard]] CivilDate toCivilDate(DayNumber day);
// Fails for fields out of range (month 13, 25 hours ...).
[[nodiscard]] std::optional<DayNumber> dayNumberIfValid(const CivilDate& date);

[[nodiscard]] StandardTime toStandardTime(const TimeOfDay& time);
// kNoTime gives nullopt; values past the end of the day wrap into it.
[[nodiscard]] std::optional<TimeOfDay> toTimeOfDay(StandardTime time);

struct Moment {
  DayNumber day = 0;
  StandardTime time = kNoTime;
};

// The clock every "now" of the program comes from. It follows the system's local time until a
// test sets it by hand; from then on it moves only when advanced.
class Clock {
 public:
  [[nodiscard]] Moment now() const;
  [[nodiscard]] DayNumber today() const { return now().day; }
  [[nodiscard]] StandardTime timeOfDay() const { return now().time; }

  void setManual(Moment moment);
  // Moves a manual clock forward, across midnight when needed. A running clock is not moved.
  void advance(std::int64_t hundredths);
  [[nodiscard]] bool isManual() const;

 private:
  mutable std::mutex mutex_;
  std::optional<Moment> manual_;
};

}  // namespace marlo
