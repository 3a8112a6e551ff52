#include "framework/window/toolbar_tables.h"

#include <array>
#include <cstddef>
#include <string_view>

#include "framework/window/windows1250.h"

namespace marlo {

namespace {

struct TipSource {
  int control;
  std::string_view text;  // Windows-1250
};

template <std::size_t Count>
constexpr std::size_t packedSize(const std::array<TipSource, Count>& tips) {
  std::size_t size = 1;
  for (const TipSource& tip : tips) size += 3 + tip.text.size();
  return size;
}

// Packs at compile time, so the tables live in read-only data exactly as described.
template <std::size_t Size, std::size_t Count>
constexpr std::array<std::uint8_t, Size> pack(const std::array<TipSource, Count>& tips) {
  static_assert(Count < 256);
  std::array<std::uint8_t, Size> out{};
  std::size_t at = 0;
  out[at++] = static_cast<std::uint8_t>(Count);
  for (const TipSource& tip : tips) {
    out[at++] = static_cast<std::uint8_t>(tip.control & 0xFF);
    out[at++] = static_cast<std::uint8_t>((tip.control >> 8) & 0xFF);
    out[at++] = static_cast<std::uint8_t>(tip.text.size());
    for (const char c : tip.text) out[at++] = static_cast<std::uint8_t>(c);
  }
  return out;
}

// "š" is 0x9A, "č" 0xE8 and "ć" 0xE6 in Windows-1250.
constexpr std::array<TipSource, 2> kInsertTips = {{
    {toolbar::kInsert, "Spremi zapis i dodaj jo\x9a jedan"},
    {toolbar::kDown, "Spremi zapis i dodaj jo\x9a jedan"},
}};

constexpr std::array<TipSource, 7> kChangeTips = {{
    {toolbar::kBottom, "Spremi zapis i idi na kraj liste"},
    {toolbar::kTop,
     "Spremi zapis i idi na po\xe8"
     "etak liste"},
    {toolbar::kPageDown, "Spremi zapis i idi stranicu dolje"},
    {toolbar::kPageUp, "Spremi promjene i idi stranicu gore"},
    {toolbar::kDown, "Spremi promjene i idi na sljede\xe6i zapis"},
    {toolbar::kUp, "Spremi promjene i idi na prethodni zapis"},
    {toolbar::kInsert, "Spremi ovaj zapis i dodaj novi"},
}};

constexpr auto kInsertTable = pack<packedSize(kInsertTips)>(kInsertTips);
constexpr auto kChangeTable = pack<packedSize(kChangeTips)>(kChangeTips);

}  // namespace

std::span<const std::uint8_t> insertFormTips() {
  return kInsertTable;
}
std::span<const std::uint8_t> changeFormTips() {
  return kChangeTable;
}

std::vector<ToolbarTip> unpackTips(std::span<const std::uint8_t> table) {
  std::vector<ToolbarTip> tips;
  if (table.empty()) return tips;
  const std::size_t count = table[0];
  std::size_t at = 1;
  for (std::size_t i = 0; i < count; ++i) {
    if (at + 3 > table.size()) break;
    const int control = table[at] | (table[at + 1] << 8);
    const std::size_t length = table[at + 2];
    at += 3;
    if (at + length > table.size()) break;
    const std::string_view raw(reinterpret_cast<const char*>(table.data() + at), length);
    tips.push_back({control, windows1250ToUtf8(raw)});
    at += length;
  }
  return tips;
}

}  // namespace marlo
