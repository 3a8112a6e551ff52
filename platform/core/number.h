// Numbers pass through text freely: settings, window handles and return codes are kept as
// decimal text. A text that is not a number converts to 0, never to an error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace marlo {

// Leading and trailing blanks are ignored; a sign and a decimal fraction are accepted; anything
// else makes the whole text 0. Values beyond the 64-bit range saturate.
[[nodiscard]] std::int64_t toInteger(std::string_view text);
[[nodiscard]] double toReal(std::string_view text);

[[nodiscard]] std::string toText(std::int64_t value);

}  // namespace marlo
