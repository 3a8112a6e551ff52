// The program's own settings file `.\Saved.INI`: each setting is a section of its own whose one
// entry has the section's name. The name is relative, so it resolves against the current
// directory at each access, which a backup run may have moved to the archive folder.
#pragma once

#include <cstdint>
#include <string_view>

namespace app {

inline constexpr const char* kSettingsFile = ".\\Saved.INI";

// The setting as a number; `current` when the file or the entry is missing. A value that is
// not a number reads as 0.
[[nodiscard]] std::int64_t readSetting(std::string_view name, std::int64_t current);
// Writes the setting as decimal text; a failure is not reported (the program never tests it).
void writeSetting(std::string_view name, std::int64_t value);

}  // namespace app
