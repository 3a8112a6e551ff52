#include "platform/storage/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/storage/storage_faults.h"

namespace marlo {

namespace {

// One process-wide lock keeps two threads from interleaving a read-modify-write of one file.
std::mutex profileMutex;

bool equalNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// "[name]" gives name; any other line gives nullopt.
std::optional<std::string_view> sectionName(std::string_view line) {
  line = trim(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  const auto close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return trim(line.substr(1, close - 1));
}

// "key=value" gives key; comments and lines without "=" give nullopt.
std::optional<std::string_view> keyName(std::string_view line) {
  const std::string_view trimmed = trim(line);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') return std::nullopt;
  const auto equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return trim(line.substr(0, equals));
}

std::vector<std::string> readLines(const std::filesystem::path& path, bool& crlf) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  crlf = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      crlf = true;
    }
    lines.push_back(line);
  }
  return lines;
}

bool writeAtomically(const std::filesystem::path& path, const std::string& contents) {
  std::error_code error;
  const auto folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  std::filesystem::create_directories(folder, error);
  std::string temp = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = true;
  std::size_t written = 0;
  using storage_faults::Call;
  using storage_faults::shouldFail;
  while (ok && written < contents.size()) {
    const ssize_t n = shouldFail(Call::Write)
                          ? -1
                          : ::write(fd, contents.data() + written, contents.size() - written);
    ok = n > 0;
    if (ok) written += static_cast<std::size_t>(n);
  }
  ok = ok && !shouldFail(Call::Sync) && ::fsync(fd) == 0;
  // Keep the old file's permissions; a new file gets the usual ones.
  struct stat old {};
  ::fchmod(fd, ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = !shouldFail(Call::Rename) && std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) std::filesystem::remove(temp, error);
  return ok;
}

}  // namespace

std::filesystem::path nativePath(std::string_view path) {
  std::string native(path);
  std::replace(native.begin(), native.end(), '\\', '/');
  return std::filesystem::path(native);
}

std::filesystem::path userConfigFolder() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0') {
    return std::filesystem::path(xdg) / "marlo-backup";
  }
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr ? home : ".") / ".config" / "marlo-backup";
}

std::filesystem::path profilePath(std::string_view fileName) {
  const std::filesystem::path path = nativePath(fileName);
  if (path.has_parent_path() || path.is_absolute()) return path;
  return userConfigFolder() / path;
}

std::string readProfileString(std::string_view section, std::string_view key,
                              std::string_view fallback, std::string_view fileName) {
  for (ProfileEntry& entry : readProfileSection(section, fileName)) {
    if (equalNoCase(entry.key, key)) return std::move(entry.value);
  }
  return std::string(fallback);
}

std::vector<ProfileEntry> readProfileSection(std::string_view section, std::string_view fileName) {
  std::lock_guard lock(profileMutex);
  bool crlf = false;
  bool inSection = false;
  std::vector<ProfileEntry> entries;
  for (const std::string& line : readLines(profilePath(fileName), crlf)) {
    if (const auto name = sectionName(line)) {
      inSection = equalNoCase(*name, section);
      continue;
    }
    if (!inSection) continue;
    const auto found = keyName(line);
    if (!found) continue;
    std::string_view value = trim(std::string_view(line).substr(line.find('=') + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    entries.push_back({std::string(*found), std::string(value)});
  }
  return entries;
}

bool writeProfileString(std::string_view section, std::string_view key,
                        std::optional<std::string_view> value, std::string_view fileName) {
  std::lock_guard lock(profileMutex);
  const std::filesystem::path path = profilePath(fileName);
  bool crlf = false;
  std::vector<std::string> lines = readLines(path, crlf);
  const std::string newLine = value ? std::string(key) + "=" + std::string(*value) : std::string();

  std::optional<std::size_t> sectionAt;
  std::size_t sectionEnd = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto name = sectionName(lines[i]);
    if (!name) continue;
    if (sectionAt) {
      sectionEnd = i;
      break;
    }
    if (equalNoCase(*name, section)) sectionAt = i;
  }

  if (!sectionAt) {
    if (!value) return true;
    if (!lines.empty() && !trim(lines.back()).empty()) lines.emplace_back();
    lines.push_back("[" + std::string(section) + "]");
    lines.push_back(newLine);
  } else {
    std::optional<std::size_t> keyAt;
    std::size_t lastEntry = *sectionAt;
    for (std::size_t i = *sectionAt + 1; i < sectionEnd; ++i) {
      if (!trim(lines[i]).empty()) lastEntry = i;
      const auto found = keyName(lines[i]);
      if (found && equalNoCase(*found, key)) {
        keyAt = i;
        break;
      }
    }
    if (keyAt && value) {
      lines[*keyAt] = newLine;
    } else if (keyAt) {
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(*keyAt));
    } else if (value) {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastEntry) + 1, newLine);
    } else {
      return true;
    }
  }

  std::string contents;
  for (const std::string& line : lines) contents += line + (crlf ? "\r\n" : "\n");
  return writeAtomically(path, contents);
}

}  // namespace marlo
