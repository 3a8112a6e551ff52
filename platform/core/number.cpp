#include "platform/core/number.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace marlo {

namespace {

std::string_view trimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

}  // namespace

double toReal(std::string_view text) {
  text = trimBlanks(text);
  if (text.empty()) return 0.0;
  if (text.front() == '+') text.remove_prefix(1);
  double value = 0.0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (error == std::errc::result_out_of_range) {
    return text.front() == '-' ? -std::numeric_limits<double>::max()
                               : std::numeric_limits<double>::max();
  }
  if (error != std::errc() || end != text.data() + text.size()) return 0.0;
  return value;
}

std::int64_t toInteger(std::string_view text) {
  const double value = toReal(text);
  constexpr auto kMax = static_cast<double>(std::numeric_limits<std::int64_t>::max());
  if (value >= kMax) return std::numeric_limits<std::int64_t>::max();
  if (value <= -kMax) return std::numeric_limits<std::int64_t>::min();
  // Whole texts such as "123" must convert exactly, beyond the 53 bits a double holds.
  std::int64_t whole = 0;
  const std::string_view trimmed = trimBlanks(text);
  const char* begin = trimmed.data() + (!trimmed.empty() && trimmed.front() == '+' ? 1 : 0);
  const auto [end, error] = std::from_chars(begin, trimmed.data() + trimmed.size(), whole);
  if (error == std::errc() && end == trimmed.data() + trimmed.size()) return whole;
  return static_cast<std::int64_t>(std::trunc(value));
}

std::string toText(std::int64_t value) {
  return std::to_string(value);
}

}  // namespace marlo
