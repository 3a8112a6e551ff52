// -lz5- and -lzs-: LArc's methods, plain LZSS. Matches name a position in a ring buffer that
// starts out with known contents (its write position some way in), not a distance back.
#include <vector>

#include "bitio.h"
#include "legacy_decoders.h"
#include "output_window.h"

namespace lzh::detail {
namespace {

[[noreturn]] void bad(const char* why) { throw Failure(Status::damaged, why); }

// A ring buffer of `size` bytes whose first write goes to `start`, seen as the window of an
// OutputWindow: buffer byte j (before the first write) is ring byte (start + j) mod size.
struct Ring {
    std::size_t size;
    std::size_t start;
    std::vector<std::uint8_t> contents;

    std::vector<std::uint8_t> as_window() const {
        std::vector<std::uint8_t> w(size);
        for (std::size_t j = 0; j < size; ++j) w[j] = contents[(start + j) & (size - 1)];
        return w;
    }
    // Distance back from the next write (after `produced` bytes) to ring position `pos`;
    // the position being written is the byte a whole ring back.
    std::size_t distance(std::size_t pos, std::uint64_t produced) const {
        const std::size_t r = static_cast<std::size_t>((start + produced) & (size - 1));
        const std::size_t d = (r - pos) & (size - 1);
        return d == 0 ? size : d;
    }
};

// LArc's -lz5- ring: each byte value 13 times, the values rising, then falling, zeros, and
// spaces up to where writing starts.
Ring lz5_ring() {
    constexpr std::size_t kSize = 4096, kMaxMatch = 18;
    Ring ring{kSize, kSize - kMaxMatch, std::vector<std::uint8_t>(kSize, 0)};
    std::size_t at = 0;
    for (int v = 0; v < 256; ++v)
        for (int k = 0; k < 13; ++k) ring.contents[at++] = static_cast<std::uint8_t>(v);
    for (int v = 0; v < 256; ++v) ring.contents[at++] = static_cast<std::uint8_t>(v);
    for (int v = 255; v >= 0; --v) ring.contents[at++] = static_cast<std::uint8_t>(v);
    at += 128;  // zeros
    while (at < kSize - kMaxMatch) ring.contents[at++] = ' ';
    return ring;
}

// -lzs-: a ring of spaces.
Ring lzs_ring() {
    constexpr std::size_t kSize = 2048, kMaxMatch = 17;
    return Ring{kSize, kSize - kMaxMatch, std::vector<std::uint8_t>(kSize, ' ')};
}

// The loop both share; `item` reads one literal or match and says which.
template <typename Item>
std::uint16_t run(const Ring& ring, ByteSource& in, std::uint64_t packed_size,
                  std::uint64_t original_size, ByteSink& out, Item&& item) {
    if (original_size == 0) return 0;
    BitReader br(in, packed_size);
    const std::vector<std::uint8_t> preset = ring.as_window();
    OutputWindow w(ring.size, preset.data(), original_size, out);
    std::uint64_t produced = 0;
    while (produced < original_size) {
        if (w.full()) w.flush();
        unsigned literal = 0, pos = 0, len = 0;
        if (item(br, literal, pos, len)) {
            w.put(static_cast<std::uint8_t>(literal));
            ++produced;
            continue;
        }
        if (len > original_size - produced) bad("a match runs past the original size");
        w.copy(ring.distance(pos, produced), len);
        produced += len;
    }
    w.emit();
    if (br.overran()) bad("the compressed data ends too early");
    return w.crc();
}

}  // namespace

// A flag byte rules the next eight items, lowest bit first: 1 a literal byte, 0 a match of two
// bytes, the position's low eight bits, then its upper four bits over the length - 3.
std::uint16_t decode_lz5(ByteSource& in, std::uint64_t packed_size, std::uint64_t original_size,
                         ByteSink& out) {
    static const Ring ring = lz5_ring();
    unsigned flags = 0;  // the flag bits left, over a marker bit that says when they run out
    return run(ring, in, packed_size, original_size, out,
               [&](BitReader& br, unsigned& literal, unsigned& pos, unsigned& len) {
                   if (flags <= 1) flags = br.get(8) | 0x100;
                   const bool is_literal = flags & 1;
                   flags >>= 1;
                   if (is_literal) {
                       literal = br.get(8);
                       return true;
                   }
                   const unsigned lo = br.get(8), hi = br.get(8);
                   pos = lo | (hi & 0xF0) << 4;
                   len = (hi & 0x0F) + 3;
                   return false;
               });
}

// One bit per item: 1 a literal byte, 0 a match of an 11-bit position and a 4-bit length - 2.
std::uint16_t decode_lzs(ByteSource& in, std::uint64_t packed_size, std::uint64_t original_size,
                         ByteSink& out) {
    static const Ring ring = lzs_ring();
    return run(ring, in, packed_size, original_size, out,
               [](BitReader& br, unsigned& literal, unsigned& pos, unsigned& len) {
                   if (br.get(1)) {
                       literal = br.get(8);
                       return true;
                   }
                   pos = br.get(11);
                   len = br.get(4) + 2;
                   return false;
               });
}

}  // namespace lzh::detail
