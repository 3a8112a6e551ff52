// The settings file of the framework: window positions and sizes by window procedure, lists of
// records, and the registry of sections the framework created. One global object, `globalIni`,
// works on one profile file (the program opens it on the bare name "cd_rw.ini", which lives in
// the per-user configuration folder).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/core/number.h"
#include "platform/core/text.h"
#include "platform/storage/profile.h"

namespace marlo {

// What the settings need to know of a window and do to it; the window engine implements it.
// Positions and sizes are in window units.
class WindowPlacement {
 public:
  struct Geometry {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
  };

  virtual ~WindowPlacement() = default;
  [[nodiscard]] virtual bool minimized() const = 0;
  [[nodiscard]] virtual bool maximized() const = 0;
  [[nodiscard]] virtual bool resizable() const = 0;  // the person can change its size
  [[nodiscard]] virtual Geometry geometry() const = 0;
  virtual void setGeometry(const Geometry& geometry) = 0;
  virtual void setMaximized(bool maximized) = 0;  // false: normal state
};

// Conversions of a list record's fields to and from their text in the settings file.
namespace ini_field {
inline std::string toText(const std::string& value) {
  return value;
}
template <std::size_t N>
std::string toText(const CString<N>& value) {
  return std::string(value.clipped());
}
template <std::size_t N>
std::string toText(const BlankString<N>& value) {
  return std::string(value.clipped());
}
template <class Integer>
requires std::is_integral_v<Integer> std::string toText(Integer value) {
  return marlo::toText(static_cast<std::int64_t>(value));
}

inline void fromText(std::string& field, std::string_view text) {
  field = std::string(text);
}
template <std::size_t N>
void fromText(CString<N>& field, std::string_view text) {
  field = text;
}
template <std::size_t N>
void fromText(BlankString<N>& field, std::string_view text) {
  field = text;
}
template <class Integer>
requires std::is_integral_v<Integer>
void fromText(Integer& field, std::string_view text) {
  field = static_cast<Integer>(toInteger(text));
}
}  // namespace ini_field

class IniManager {
 public:
  // One registered section: its name is FAMILY + "$" + ITEM (each "$" tripled) + "$$" + TYPE.
  struct Sector {
    std::string FAMILY;
    std::string ITEM;
    std::string TYPE;
    friend bool operator==(const Sector&, const Sector&) = default;
  };

  static constexpr std::size_t kFileNameCapacity = 259;
  static constexpr std::size_t kSectorPartCapacity = 99;
  static constexpr std::size_t kLineCapacity = 4999;
  // The most rows a list of the settings file gives back, whatever count the file holds.
  static constexpr std::int64_t kMaxRows = 10000;
  static constexpr std::string_view kRegistrySection = "Sectors";
  static constexpr std::string_view kRegistryKey = "__Dont_Touch_Me__";
  static constexpr std::string_view kUnknown = "---Unknown---";

  IniManager() = default;
  virtual ~IniManager() = default;
  IniManager(const IniManager&) = delete;
  IniManager& operator=(const IniManager&) = delete;

  void init(std::string_view fileName);
  // Writes the section registry back.
  void kill();

  [[nodiscard]] std::string fetch(std::string_view section, std::string_view key);
  void update(std::string_view section, std::string_view key, std::string_view value);

  // Restores a window's position, size and maximised state (after the window is open).
  void fetchWindow(std::string_view section, WindowPlacement& window);
  // Saves them (before the window closes). A minimised window saves nothing; a maximised one
  // keeps the normal position and size saved the last time.
  void updateWindow(std::string_view section, const WindowPlacement& window);

  // A list of records with up to three fields each: key = count, key_n = the fields joined by
  // ",". `second` and `third` may be left out.
  template <class Record, class A, class B = std::nullptr_t, class C = std::nullptr_t>
  void fetchQueue(std::string_view section, std::string_view key, std::vector<Record>& list,
                  A Record::*first, B second = nullptr, C third = nullptr);
  template <class Record, class A, class B = std::nullptr_t, class C = std::nullptr_t>
  void updateQueue(std::string_view section, std::string_view key, const std::vector<Record>& list,
                   A Record::*first, B second = nullptr, C third = nullptr);
  // The same on plain texts: each row holds up to three parts. The list ends at the first row
  // the file does not hold.
  [[nodiscard]] std::vector<std::vector<std::string>> fetchRows(std::string_view section,
                                                                std::string_view key);
  void updateRows(std::string_view section, std::string_view key,
                  const std::vector<std::vector<std::string>>& rows);

  // --- the section registry
  void addSector(std::string_view name);
  // The registered sections matching every non-blank part given.
  [[nodiscard]] std::vector<Sector> getSectors(std::string_view family, std::string_view item,
                                               std::string_view type) const;
  [[nodiscard]] static std::string sectorName(const Sector& sector);
  [[nodiscard]] static Sector parseSectorName(std::string_view name);

  [[nodiscard]] const std::string& fileName() const { return FILENAME; }
  [[nodiscard]] const std::vector<Sector>& sectors() const { return SECTORS; }

 protected:
  [[nodiscard]] virtual std::string fetchRaw(std::string_view section, std::string_view key,
                                             std::string_view fallback);
  virtual void updateRaw(std::string_view section, std::string_view key, std::string_view value);
  // Every key of a section with its value, from one read of the file.
  [[nodiscard]] virtual std::vector<ProfileEntry> fetchSection(std::string_view section);
  virtual void initHook() {}
  virtual void killHook() {}

 private:
  std::string FILENAME;
  std::vector<Sector> SECTORS;
};

// The program's settings store.
extern IniManager globalIni;

template <class Record, class A, class B, class C>
void IniManager::fetchQueue(std::string_view section, std::string_view key,
                            std::vector<Record>& list, A Record::*first, B second, C third) {
  list.clear();
  for (const std::vector<std::string>& row : fetchRows(section, key)) {
    Record record{};
    if (!row.empty()) ini_field::fromText(record.*first, row[0]);
    if constexpr (!std::is_same_v<B, std::nullptr_t>) {
      if (row.size() > 1) ini_field::fromText(record.*second, row[1]);
    }
    if constexpr (!std::is_same_v<C, std::nullptr_t>) {
      if (row.size() > 2) ini_field::fromText(record.*third, row[2]);
    }
    list.push_back(std::move(record));
  }
}

template <class Record, class A, class B, class C>
void IniManager::updateQueue(std::string_view section, std::string_view key,
                             const std::vector<Record>& list, A Record::*first, B second, C third) {
  std::vector<std::vector<std::string>> rows;
  for (const Record& record : list) {
    std::vector<std::string> row{ini_field::toText(record.*first)};
    if constexpr (!std::is_same_v<B, std::nullptr_t>)
      row.push_back(ini_field::toText(record.*second));
    if constexpr (!std::is_same_v<C, std::nullptr_t>)
      row.push_back(ini_field::toText(record.*third));
    rows.push_back(std::move(row));
  }
  updateRows(section, key, rows);
}

}  // namespace marlo
