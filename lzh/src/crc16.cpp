#include "crc16.h"

#include <array>

namespace lzh::detail {
namespace {

// Eight tables let the loop take eight bytes per step ("slicing by eight"); testing an archive
// spends much of its time here, so the one-byte loop would be a visible cost.
using Tables = std::array<std::array<std::uint16_t, 256>, 8>;

constexpr Tables make_tables() {
    Tables t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1u) ? (c >> 1) ^ 0xA001u : c >> 1;
        t[0][i] = static_cast<std::uint16_t>(c);
    }
    for (unsigned i = 0; i < 256; ++i)
        for (int s = 1; s < 8; ++s)
            t[s][i] = static_cast<std::uint16_t>((t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFFu]);
    return t;
}

constexpr Tables kTables = make_tables();

}  // namespace

std::uint16_t crc16(std::uint16_t crc, const void* data, std::size_t n) noexcept {
    const auto* p = static_cast<const unsigned char*>(data);
    unsigned c = crc;
    while (n >= 8) {
        c ^= static_cast<unsigned>(p[0]) | (static_cast<unsigned>(p[1]) << 8);
        c = kTables[7][c & 0xFFu] ^ kTables[6][c >> 8] ^ kTables[5][p[2]] ^ kTables[4][p[3]] ^
            kTables[3][p[4]] ^ kTables[2][p[5]] ^ kTables[1][p[6]] ^ kTables[0][p[7]];
        p += 8;
        n -= 8;
    }
    while (n--) c = (c >> 8) ^ kTables[0][(c ^ *p++) & 0xFFu];
    return static_cast<std::uint16_t>(c);
}

}  // namespace lzh::detail
