// The common toolbar's control numbers and the tips it shows for a form, kept as packed tables:
// a count byte, then per entry the control number (16 bits, little-endian) and the tip (one
// length byte and that many Windows-1250 characters).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace marlo {

namespace toolbar {
inline constexpr int kFirst = 3000;
inline constexpr int kInsert = 3001;
inline constexpr int kChange = 3002;
inline constexpr int kDelete = 3003;
inline constexpr int kSelect = 3004;
inline constexpr int kBottom = 3005;  // last record
inline constexpr int kTop = 3006;     // first record
inline constexpr int kPageDown = 3007;
inline constexpr int kPageUp = 3008;
inline constexpr int kDown = 3009;  // next record
inline constexpr int kUp = 3010;    // previous record
inline constexpr int kLocate = 3011;
inline constexpr int kHistory = 3012;
inline constexpr int kHelp = 3013;
inline constexpr int kLast = 3019;
inline constexpr int kCount = kLast - kFirst + 1;
}  // namespace toolbar

struct ToolbarTip {
  int control = 0;
  std::string text;  // UTF-8, ready to show
};

// The tips of an insert form and of a change form, as stored.
[[nodiscard]] std::span<const std::uint8_t> insertFormTips();
[[nodiscard]] std::span<const std::uint8_t> changeFormTips();

// Unpacks a tip table; a table that ends early yields its whole entries only.
[[nodiscard]] std::vector<ToolbarTip> unpackTips(std::span<const std::uint8_t> table);

}  // namespace marlo
