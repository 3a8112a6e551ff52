#include "platform/core/picture.h"

#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "platform/core/clock.h"
#include "platform/core/number.h"

namespace marlo {

namespace {

std::mutex dateFormatMutex;
std::optional<std::string> dateFormatOverride;

std::string localeShortDate() {
  locale_t locale = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return "%m/%d/%y";
  std::string format = nl_langinfo_l(D_FMT, locale);
  freelocale(locale);
  return format.empty() ? "%m/%d/%y" : format;
}

// Reads a run of digits at `pos`; returns -1 when there is none.
int readDigits(std::string_view text, std::size_t& pos) {
  const std::size_t start = pos;
  int value = 0;
  while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) &&
         pos - start < 6) {
    value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  return pos == start ? -1 : value;
}

std::string dateFormatFor(int code) {
  switch (code) {
    case 1:
      return "%m/%d/%y";
    case 2:
      return "%m/%d/%Y";
    case 6:
      return "%d/%m/%y";
    case 10:
      return "%Y/%m/%d";
    case 12:
      return "%Y%m%d";
    default:
      return shortDateFormat();
  }
}

std::string twoDigits(int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", value);
  return buffer;
}

std::string groupThousands(const std::string& digits) {
  std::string out;
  const std::size_t lead = digits.size() % 3;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (i + 3 - lead) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

std::string trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

}  // namespace

void setShortDateFormat(std::string format) {
  std::lock_guard lock(dateFormatMutex);
  dateFormatOverride = std::move(format);
}

std::string shortDateFormat() {
  std::lock_guard lock(dateFormatMutex);
  if (!dateFormatOverride) dateFormatOverride = localeShortDate();
  return *dateFormatOverride;
}

std::optional<Picture> Picture::parse(std::string_view text) {
  if (!text.empty() && text.front() == '@') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  Picture picture;
  const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(text.front())));
  std::size_t pos = 1;
  if (letter == 'n') {
    picture.kind_ = Kind::Number;
    if (pos < text.size() && text[pos] == '-') ++pos;
    if (pos < text.size() && text[pos] == '_') {
      picture.grouped_ = false;
      ++pos;
    } else if (pos < text.size() && text[pos] == '0' && pos + 1 < text.size() &&
               std::isdigit(static_cast<unsigned char>(text[pos + 1]))) {
      picture.grouped_ = false;
      picture.zeroFill_ = true;
      ++pos;
    }
    const int width = readDigits(text, pos);
    if (width <= 0) return std::nullopt;
    picture.width_ = static_cast<std::size_t>(width);
    if (pos < text.size() && text[pos] == '.') {
      ++pos;
      picture.places_ = readDigits(text, pos);
      if (picture.places_ < 0 || picture.places_ > 15) return std::nullopt;
    }
    if (pos < text.size() && std::tolower(static_cast<unsigned char>(text[pos])) == 'b') {
      picture.blankWhenZero_ = true;
      ++pos;
    }
    return pos == text.size() ? std::optional(picture) : std::nullopt;
  }
  const int number = readDigits(text, pos);
  if (number < 0 || pos != text.size()) return std::nullopt;
  switch (letter) {
    case 's':
      picture.kind_ = Kind::String;
      picture.width_ = static_cast<std::size_t>(number);
      return picture;
    case 'd':
      picture.kind_ = Kind::Date;
      picture.code_ = number;
      picture.width_ = 10;
      return picture;
    case 't':
      if (number != 1 && number != 4) return std::nullopt;
      picture.kind_ = Kind::Time;
      picture.code_ = number;
      picture.width_ = number == 1 ? 5 : 8;
      return picture;
    default:
      return std::nullopt;
  }
}

std::string Picture::format(std::string_view value) const {
  switch (kind_) {
    case Kind::Number:
      return formatNumber(toReal(value));
    case Kind::String:
      return std::string(value.substr(0, width_));
    case Kind::Date:
      return formatDate(value);
    case Kind::Time:
      return formatTime(value);
  }
  return {};
}

std::optional<std::string> Picture::deformat(std::string_view shown) const {
  switch (kind_) {
    case Kind::Number:
      return deformatNumber(shown);
    case Kind::String:
      return std::string(shown.substr(0, width_));
    case Kind::Date:
      return deformatDate(shown);
    case Kind::Time:
      return deformatTime(shown);
  }
  return std::nullopt;
}

std::string Picture::formatNumber(double value) const {
  const double scale = std::pow(10.0, places_);
  const double rounded = std::round(std::fabs(value) * scale) / scale;
  if (rounded == 0.0 && blankWhenZero_) return std::string(width_, ' ');
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%.*f", places_, rounded);
  std::string text = buffer;
  const auto point = text.find('.');
  std::string whole = text.substr(0, point);
  const std::string fraction = point == std::string::npos ? "" : text.substr(point);
  if (grouped_) whole = groupThousands(whole);
  const bool negative = value < 0 && rounded != 0.0;
  std::string body = whole + fraction;
  const std::size_t signWidth = negative ? 1 : 0;
  if (body.size() + signWidth > width_) return std::string(width_, '#');
  if (zeroFill_) body.insert(0, width_ - signWidth - body.size(), '0');
  if (negative) body.insert(0, 1, '-');
  return std::string(width_ - body.size(), ' ') + body;
}

std::optional<std::string> Picture::deformatNumber(std::string_view shown) const {
  std::string digits;
  for (const char c : shown) {
    if (c != ',' && c != ' ') digits.push_back(c);
  }
  if (digits.empty()) return std::string("0");
  double value = 0;
  const char* begin = digits.data() + (digits.front() == '+' ? 1 : 0);
  const auto [end, error] = std::from_chars(begin, digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  if (places_ == 0) return toText(static_cast<std::int64_t>(std::llround(value)));
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%.*f", places_, value);
  return std::string(buffer);
}

std::string Picture::formatDate(std::string_view value) const {
  const auto day = static_cast<DayNumber>(toInteger(value));
  if (day <= 0) return {};
  const CivilDate date = toCivilDate(day);
  std::string out;
  const std::string format = dateFormatFor(code_);
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 == format.size()) {
      out.push_back(format[i]);
      continue;
    }
    switch (format[++i]) {
      case 'd':
        out += twoDigits(date.day);
        break;
      case 'm':
        out += twoDigits(date.month);
        break;
      case 'y':
        out += twoDigits(date.year % 100);
        break;
      case 'Y':
        out += std::to_string(date.year);
        break;
      default:
        out.push_back(format[i]);
        break;
    }
  }
  return out;
}

std::optional<std::string> Picture::deformatDate(std::string_view shown) const {
  const std::string text = trimmed(shown);
  if (text.empty()) return std::string("0");
  const std::string format = dateFormatFor(code_);
  CivilDate date;
  std::size_t pos = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 == format.size()) {
      if (pos >= text.size() || text[pos] != format[i]) return std::nullopt;
      ++pos;
      continue;
    }
    const char field = format[++i];
    const std::size_t start = pos;
    const int number = readDigits(text, pos);
    if (number < 0) return std::nullopt;
    switch (field) {
      case 'd':
        date.day = number;
        break;
      case 'm':
        date.month = number;
        break;
      case 'y':
        date.year = pos - start <= 2 ? (number < 50 ? 2000 + number : 1900 + number) : number;
        break;
      case 'Y':
        date.year = number;
        break;
      default:
        return std::nullopt;
    }
  }
  if (pos != text.size()) return std::nullopt;
  const auto day = dayNumberIfValid(date);
  if (!day) return std::nullopt;
  return toText(*day);
}

std::string Picture::formatTime(std::string_view value) const {
  const auto time = toTimeOfDay(static_cast<StandardTime>(toInteger(value)));
  if (!time) return {};
  std::string out = twoDigits(time->hours) + ":" + twoDigits(time->minutes);
  if (code_ == 4) out += ":" + twoDigits(time->seconds);
  return out;
}

std::optional<std::string> Picture::deformatTime(std::string_view shown) const {
  const std::string text = trimmed(shown);
  if (text.empty()) return std::string("0");
  std::size_t pos = 0;
  TimeOfDay time;
  time.hours = readDigits(text, pos);
  if (time.hours < 0 || time.hours > 23 || pos >= text.size() || text[pos++] != ':') {
    return std::nullopt;
  }
  time.minutes = readDigits(text, pos);
  if (time.minutes < 0 || time.minutes > 59) return std::nullopt;
  if (pos < text.size()) {
    if (text[pos++] != ':') return std::nullopt;
    time.seconds = readDigits(text, pos);
    if (time.seconds < 0 || time.seconds > 59) return std::nullopt;
  }
  if (pos != text.size()) return std::nullopt;
  return toText(toStandardTime(time));
}

std::string formatPicture(std::string_view picture, std::string_view value) {
  const auto parsed = Picture::parse(picture);
  return parsed ? parsed->format(value) : std::string(value);
}

std::optional<std::string> deformatPicture(std::string_view picture, std::string_view shown) {
  const auto parsed = Picture::parse(picture);
  return parsed ? parsed->deformat(shown) : std::optional(std::string(shown));
}

}  // namespace marlo
