// Profile (INI) files with the private-profile semantics every settings file of the program
// relies on: sections and keys match without regard to case, a missing key gives the caller's
// default, a write creates the file, the section and the key as needed, and every other line of
// the file (comments, blank lines, unknown sections, broken lines) stays where it was.
//
// Where a file lives: a bare name ("cd_rw.ini") is in the per-user configuration folder
// ($XDG_CONFIG_HOME/marlo-backup, else ~/.config/marlo-backup); a name with a folder part
// (".\Saved.INI", "sub/x.ini", "/abs/x.ini") is relative to the current directory at the moment
// of each access. "\" and "/" both separate folders.
//
// Writes are atomic: the new contents go to a temporary file in the same folder, which is flushed
// and renamed over the old one, so a crash leaves either the old or the new file, never a mix.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marlo {

// The GetPrivateProfileStringA stand-in: the value of key in section, or `fallback` when the
// file, the section or the key is missing. Leading and trailing blanks of the value are
// removed, and one pair of surrounding double quotes.
[[nodiscard]] std::string readProfileString(std::string_view section, std::string_view key,
                                            std::string_view fallback, std::string_view fileName);

// One key of a section and its value (read as readProfileString reads it).
struct ProfileEntry {
  std::string key;
  std::string value;
};

// The GetPrivateProfileSectionA stand-in: every key of the section with its value, in file
// order, from one read of the file; empty when the file or the section is missing. A key that
// appears twice is listed twice (readProfileString gives the first).
[[nodiscard]] std::vector<ProfileEntry> readProfileSection(std::string_view section,
                                                           std::string_view fileName);

// The WritePrivateProfileStringA stand-in. Returns false when the file cannot be written (the
// old file is then untouched). A null value removes the key; removing a missing key is no error.
bool writeProfileString(std::string_view section, std::string_view key,
                        std::optional<std::string_view> value, std::string_view fileName);

// Where a profile file name resolves to, by the rules above.
[[nodiscard]] std::filesystem::path profilePath(std::string_view fileName);

// The per-user configuration folder (created on first write, not here).
[[nodiscard]] std::filesystem::path userConfigFolder();

// Turns a path written with "\" separators into the platform's form. A leading ".\" or "./"
// stays relative to the current directory.
[[nodiscard]] std::filesystem::path nativePath(std::string_view path);

}  // namespace marlo
