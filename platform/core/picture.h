// Display pictures: how a stored value is shown in a control and read back from what a person
// typed. One picture text names one format:
//
//   n[-][_|0]W[.P][b]   number in W positions, right-aligned. Thousands commas unless the fill
//                       is "_" (blanks, no separators) or "0" (leading zeros, no separators).
//                       "-" asks for the leading minus sign (negatives always show it). P decimal
//                       places. "b" shows zero as blanks. A value too wide shows as W "#".
//   sW                  text cut to W characters, left-aligned.
//   d17                 the user's short date (from the locale, or set by hand); also d1
//                       (m/dd/yy), d2 (mm/dd/yyyy), d6 (dd/mm/yy), d10 (yyyy/mm/dd), d12
//                       (yyyymmdd).
//   t1, t4              time of day as hh:mm or hh:mm:ss, 24-hour clock.
//
// Letters may be upper or lower case and a leading "@" is allowed. Values pass as text: numbers
// as decimal text, dates as day numbers, times as standard time numbers. Date and time 0 show
// as blanks.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace marlo {

class Picture {
 public:
  enum class Kind { Number, String, Date, Time };

  // nullopt for a text that names no picture this module knows.
  [[nodiscard]] static std::optional<Picture> parse(std::string_view text);

  [[nodiscard]] std::string format(std::string_view value) const;
  // The stored value for a shown text; nullopt when the text does not fit the picture.
  [[nodiscard]] std::optional<std::string> deformat(std::string_view shown) const;

  [[nodiscard]] Kind kind() const { return kind_; }
  [[nodiscard]] std::size_t width() const { return width_; }
  [[nodiscard]] bool rightAligned() const { return kind_ == Kind::Number; }

 private:
  std::string formatNumber(double value) const;
  std::string formatDate(std::string_view value) const;
  std::string formatTime(std::string_view value) const;
  std::optional<std::string> deformatNumber(std::string_view shown) const;
  std::optional<std::string> deformatDate(std::string_view shown) const;
  std::optional<std::string> deformatTime(std::string_view shown) const;

  Kind kind_ = Kind::String;
  std::size_t width_ = 0;
  int code_ = 0;  // date or time format number
  int places_ = 0;
  bool grouped_ = true;
  bool zeroFill_ = false;
  bool blankWhenZero_ = false;
};

// Shorthands for the common case.
[[nodiscard]] std::string formatPicture(std::string_view picture, std::string_view value);
[[nodiscard]] std::optional<std::string> deformatPicture(std::string_view picture,
                                                         std::string_view shown);

// The short date format behind d17, in strftime notation restricted to %d %m %y %Y and
// literal characters. It starts as the locale's; tests and settings may set it.
void setShortDateFormat(std::string format);
[[nodiscard]] std::string shortDateFormat();

}  // namespace marlo
