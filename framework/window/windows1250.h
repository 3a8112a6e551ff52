// Texts of the framework that are kept in the Windows-1250 code page (the Croatian popup and
// toolbar texts) and must be shown as UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace marlo {

// Converts Windows-1250 bytes to UTF-8. The five byte values the code page leaves undefined
// become U+FFFD, so a stray byte never produces invalid UTF-8.
[[nodiscard]] std::string windows1250ToUtf8(std::string_view text);

}  // namespace marlo
