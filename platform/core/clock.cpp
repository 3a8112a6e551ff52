#include "platform/core/clock.h"

#include <chrono>
#include <ctime>

namespace marlo {

namespace {

// Day 0 of the civil-from-days algorithm is 1970-01-01, which is day 61730 of ours.
constexpr std::int64_t kUnixEpochDay = 61730;

std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

CivilDate civilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int>(y + (m <= 2 ? 1 : 0)), static_cast<int>(m), static_cast<int>(d)};
}

bool isLeap(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeap(year) ? 29 : kDays[month - 1];
}

Moment systemNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const auto sinceSecond = now - std::chrono::system_clock::from_time_t(seconds);
  const auto hundredths = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(sinceSecond).count() / 10);
  return {toDayNumber({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday}),
          toStandardTime({local.tm_hour, local.tm_min, local.tm_sec, hundredths})};
}

}  // namespace

DayNumber toDayNumber(const CivilDate& date) {
  return static_cast<DayNumber>(
      daysFromCivil(date.year, static_cast<unsigned>(date.month), static_cast<unsigned>(date.day)) +
      kUnixEpochDay);
}

CivilDate toCivilDate(DayNumber day) {
  return civilFromDays(std::int64_t{day} - kUnixEpochDay);
}

std::optional<DayNumber> dayNumberIfValid(const CivilDate& date) {
  if (date.month < 1 || date.month > 12 || date.day < 1) return std::nullopt;
  if (date.day > daysInMonth(date.year, date.month)) return std::nullopt;
  return toDayNumber(date);
}

StandardTime toStandardTime(const TimeOfDay& t) {
  return ((t.hours * 60 + t.minutes) * 60 + t.seconds) * 100 + t.hundredths + 1;
}

std::optional<TimeOfDay> toTimeOfDay(StandardTime time) {
  if (time == kNoTime) return std::nullopt;
  std::int64_t h = (std::int64_t{time} - 1) % kHundredthsPerDay;
  if (h < 0) h += kHundredthsPerDay;
  TimeOfDay t;
  t.hundredths = static_cast<int>(h % 100);
  h /= 100;
  t.seconds = static_cast<int>(h % 60);
  h /= 60;
  t.minutes = static_cast<int>(h % 60);
  t.hours = static_cast<int>(h / 60);
  return t;
}

Moment Clock::now() const {
  std::lock_guard lock(mutex_);
  return manual_ ? *manual_ : systemNow();
}

void Clock::setManual(Moment moment) {
  std::lock_guard lock(mutex_);
  manual_ = moment;
}

void Clock::advance(std::int64_t hundredths) {
  std::lock_guard lock(mutex_);
  if (!manual_) return;
  std::int64_t elapsed = (manual_->time == kNoTime ? 0 : manual_->time - 1) + hundredths;
  std::int64_t days = elapsed / kHundredthsPerDay;
  elapsed %= kHundredthsPerDay;
  if (elapsed < 0) {
    elapsed += kHundredthsPerDay;
    --days;
  }
  manual_->day = static_cast<DayNumber>(manual_->day + days);
  manual_->time = static_cast<StandardTime>(elapsed + 1);
}

bool Clock::isManual() const {
  std::lock_guard lock(mutex_);
  return manual_.has_value();
}

}  // namespace marlo
