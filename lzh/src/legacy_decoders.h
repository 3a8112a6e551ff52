// Decoders for the methods older archivers wrote. Each takes one member's stream of
// `packed_size` bytes that must yield `original_size` bytes and returns their CRC-16, or throws
// Failure(damaged); none reads more than `packed_size` bytes or touches memory outside its own
// buffers, whatever the input.
//
// Unlike -lh4- ... -lh7-, whose writers all end their streams the same way, these methods come
// from many writers: a stream may end in a few spare bytes, which are ignored. A stream that
// ends before its member does is damage.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "lzh/lzh.hpp"

namespace lzh::detail {

// -lh1-: LHarc's 4 KiB window, matches of 3 to 60 bytes, an adaptive Huffman code for bytes
// and lengths, a fixed code for the upper six bits of a position.
std::uint16_t decode_lh1(ByteSource& in, std::uint64_t packed_size, std::uint64_t original_size,
                         ByteSink& out);
// -lh2-: 8 KiB, matches up to 256, adaptive codes for both bytes/lengths and positions.
std::uint16_t decode_lh2(ByteSource& in, std::uint64_t packed_size, std::uint64_t original_size,
                         ByteSink& out);
// -lh3-: 8 KiB, matches up to 256, blocks with their own static Huffman tables.
std::uint16_t decode_lh3(ByteSource& in, std::uint64_t packed_size, std::uint64_t original_size,
                         ByteSink& out);
// -lz5- (LArc): 4 KiB window with preset contents, flag bytes, two-byte matches of 3 to 18.
std::uint16_t decode_lz5(ByteSource& in, std::uint64_t packed_size, std::uint64_t original_size,
                         ByteSink& out);
// -lzs- (LArc): 2 KiB window, one flag bit per item, matches of 2 to 17.
std::uint16_t decode_lzs(ByteSource& in, std::uint64_t packed_size, std::uint64_t original_size,
                         ByteSink& out);
// The fixed codes -lh1- (always) and -lh3- (for blocks without their own) use for the upper
// six bits of a position, as code lengths by value.
std::vector<std::uint8_t> fixed_position_lengths(Method m);

// -pm2- (PMarc 2), and the order its move-to-front list of byte values starts in.
std::uint16_t decode_pm2(ByteSource& in, std::uint64_t packed_size, std::uint64_t original_size,
                         ByteSink& out);
std::array<std::uint8_t, 256> pm2_first_order();
// -pm1- (early PMarc 1.x): fixed codes, literal runs from the same list, copies reaching up to
// 10816 bytes back.
std::uint16_t decode_pm1(ByteSource& in, std::uint64_t packed_size, std::uint64_t original_size,
                         ByteSink& out);
// The codes of -pm1-'s literal code `table` (0 ... 31), left to right in their tree: each
// names the upper four bits of a literal's index (its slice of 16).
struct Pm1LiteralCode {
    std::uint8_t slice, code, bits;
};
std::vector<Pm1LiteralCode> pm1_literal_codes(unsigned table);

}  // namespace lzh::detail
