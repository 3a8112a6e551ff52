#include "framework/ini_manager.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "platform/storage/profile.h"

namespace marlo {

IniManager globalIni;

namespace {

std::string cut(std::string_view text, std::size_t capacity) {
  return std::string(text.substr(0, std::min(text.size(), capacity)));
}

// A stored coordinate, or nothing when the value is missing or is no number: a window must not
// be moved to 0 or shrunk to nothing because a key was lost from the file.
std::optional<int> coordinate(std::string_view text) {
  const std::string_view trimmed =
      clip(text.substr(std::min(text.find_first_not_of(' '), text.size())));
  if (trimmed.empty()) return std::nullopt;
  std::size_t at = trimmed[0] == '-' || trimmed[0] == '+' ? 1 : 0;
  if (at == trimmed.size()) return std::nullopt;
  for (; at < trimmed.size(); ++at) {
    if (std::isdigit(static_cast<unsigned char>(trimmed[at])) == 0) return std::nullopt;
  }
  return static_cast<int>(toInteger(trimmed));
}

bool equalNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::vector<std::string> splitParts(std::string_view line, std::size_t count) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (parts.size() < count) {
    const std::size_t comma = line.find(',', start);
    if (comma == std::string_view::npos) {
      parts.emplace_back(line.substr(start));
      break;
    }
    parts.emplace_back(line.substr(start, comma - start));
    start = comma + 1;
  }
  return parts;
}

}  // namespace

void IniManager::init(std::string_view fileName) {
  FILENAME = cut(fileName, kFileNameCapacity);
  SECTORS.clear();
  initHook();
  for (const std::vector<std::string>& row : fetchRows(kRegistrySection, kRegistryKey)) {
    Sector sector;
    if (!row.empty()) sector.FAMILY = cut(row[0], kSectorPartCapacity);
    if (row.size() > 1) sector.ITEM = cut(row[1], kSectorPartCapacity);
    if (row.size() > 2) sector.TYPE = cut(row[2], kSectorPartCapacity);
    SECTORS.push_back(std::move(sector));
  }
}

void IniManager::kill() {
  std::vector<std::vector<std::string>> rows;
  for (const Sector& sector : SECTORS) rows.push_back({sector.FAMILY, sector.ITEM, sector.TYPE});
  updateRows(kRegistrySection, kRegistryKey, rows);
  SECTORS.clear();
  killHook();
}

std::string IniManager::fetchRaw(std::string_view section, std::string_view key,
                                 std::string_view fallback) {
  return readProfileString(section, key, fallback, FILENAME);
}

std::vector<ProfileEntry> IniManager::fetchSection(std::string_view section) {
  return readProfileSection(section, FILENAME);
}

void IniManager::updateRaw(std::string_view section, std::string_view key, std::string_view value) {
  writeProfileString(section, key, value, FILENAME);
}

std::string IniManager::fetch(std::string_view section, std::string_view key) {
  return fetchRaw(section, key, "");
}

void IniManager::update(std::string_view section, std::string_view key, std::string_view value) {
  updateRaw(section, key, value);
}

// --- windows ----------------------------------------------------------------------------------

void IniManager::updateWindow(std::string_view section, const WindowPlacement& window) {
  if (window.minimized()) return;
  const bool maximized = window.maximized();
  update(section, "Maximize", maximized ? "Yes" : "No");
  if (maximized) return;
  const WindowPlacement::Geometry geometry = window.geometry();
  update(section, "XPos", toText(geometry.x));
  update(section, "YPos", toText(geometry.y));
  if (window.resizable()) {
    update(section, "Height", toText(geometry.height));
    update(section, "Width", toText(geometry.width));
  }
}

void IniManager::fetchWindow(std::string_view section, WindowPlacement& window) {
  const std::string maximize = fetch(section, "Maximize");
  if (maximize != "Yes" && maximize != "No") return;  // never saved: keep the designed place
  const bool maximized = maximize == "Yes";
  if (maximized) window.setMaximized(false);
  if (!fetch(section, "XPos").empty()) {
    WindowPlacement::Geometry geometry = window.geometry();
    geometry.x = coordinate(fetchRaw(section, "XPos", kUnknown)).value_or(geometry.x);
    geometry.y = coordinate(fetchRaw(section, "YPos", kUnknown)).value_or(geometry.y);
    if (window.resizable()) {
      geometry.width = coordinate(fetchRaw(section, "Width", kUnknown)).value_or(geometry.width);
      geometry.height = coordinate(fetchRaw(section, "Height", kUnknown)).value_or(geometry.height);
    }
    window.setGeometry(geometry);
  }
  if (maximized) window.setMaximized(true);
}

// --- lists ------------------------------------------------------------------------------------

// The section is read once. The count is only as good as the file: a damaged one (say a count
// of two thousand million over three rows) must not send the program reading rows that were
// never written, so the list ends at the first missing row, and never passes kMaxRows.
std::vector<std::vector<std::string>> IniManager::fetchRows(std::string_view section,
                                                            std::string_view key) {
  const std::vector<ProfileEntry> entries = fetchSection(section);
  const auto valueOf = [&entries](std::string_view wanted) -> const std::string* {
    for (const ProfileEntry& entry : entries) {
      if (equalNoCase(entry.key, wanted)) return &entry.value;
    }
    return nullptr;
  };
  std::vector<std::vector<std::string>> rows;
  const std::string* countText = valueOf(key);
  const std::int64_t count =
      std::min<std::int64_t>(countText != nullptr ? toInteger(*countText) : 0, kMaxRows);
  for (std::int64_t n = 1; n <= count; ++n) {
    const std::string* line = valueOf(std::string(key) + "_" + toText(n));
    if (line == nullptr) break;
    rows.push_back(splitParts(*line, 3));
  }
  return rows;
}

void IniManager::updateRows(std::string_view section, std::string_view key,
                            const std::vector<std::vector<std::string>>& rows) {
  update(section, key, toText(static_cast<std::int64_t>(rows.size())));
  std::int64_t n = 0;
  for (const std::vector<std::string>& row : rows) {
    std::string line;
    for (std::size_t i = 0; i < row.size() && i < 3; ++i) {
      if (i != 0) line += ",";
      line += row[i];
    }
    update(section, std::string(key) + "_" + toText(++n), cut(line, kLineCapacity));
  }
}

// --- the section registry ---------------------------------------------------------------------

std::string IniManager::sectorName(const Sector& sector) {
  std::string item;
  for (const char c : sector.ITEM) item += c == '$' ? std::string("$$$") : std::string(1, c);
  return sector.FAMILY + "$" + item + "$$" + sector.TYPE;
}

IniManager::Sector IniManager::parseSectorName(std::string_view name) {
  Sector sector;
  const std::size_t familyEnd = name.find('$');
  if (familyEnd == std::string_view::npos) {
    sector.FAMILY = std::string(name);
    return sector;
  }
  sector.FAMILY = std::string(name.substr(0, familyEnd));
  std::size_t at = familyEnd + 1;
  while (at < name.size()) {
    if (name.substr(at, 3) == "$$$") {  // a "$" of the item, written tripled
      sector.ITEM += '$';
      at += 3;
    } else if (name.substr(at, 2) == "$$") {
      sector.TYPE = std::string(name.substr(at + 2));
      return sector;
    } else {
      sector.ITEM += name[at++];
    }
  }
  return sector;
}

void IniManager::addSector(std::string_view name) {
  Sector sector = parseSectorName(name);
  sector.FAMILY = cut(sector.FAMILY, kSectorPartCapacity);
  sector.ITEM = cut(sector.ITEM, kSectorPartCapacity);
  sector.TYPE = cut(sector.TYPE, kSectorPartCapacity);
  if (std::find(SECTORS.begin(), SECTORS.end(), sector) == SECTORS.end()) {
    SECTORS.push_back(std::move(sector));
  }
}

std::vector<IniManager::Sector> IniManager::getSectors(std::string_view family,
                                                       std::string_view item,
                                                       std::string_view type) const {
  std::vector<Sector> found;
  const auto matches = [](std::string_view wanted, const std::string& have) {
    return clip(wanted).empty() || clip(wanted) == have;
  };
  for (const Sector& sector : SECTORS) {
    if (matches(family, sector.FAMILY) && matches(item, sector.ITEM) &&
        matches(type, sector.TYPE)) {
      found.push_back(sector);
    }
  }
  return found;
}

}  // namespace marlo
