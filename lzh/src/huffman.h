// Canonical Huffman codes: building length-limited codes for the encoder and lookup tables for
// the decoder.
#pragma once

#include <cstdint>
#include <vector>

#include "bitio.h"

namespace lzh::detail {

constexpr int kMaxCodeLength = 16;

// Computes code lengths (at most `max_len`) for `n` symbols from their frequencies. Unused
// symbols get 0. With two or more used symbols the code is complete (Kraft sum exactly 1), as
// the strict decoders require. Returns the number of used symbols.
int build_lengths(const std::uint32_t* freq, int n, int max_len, std::uint8_t* lengths);

// Assigns canonical codes: shorter codes first, equal lengths in symbol order.
void make_codes(const std::uint8_t* lengths, int n, std::uint16_t* codes);

// A two-level lookup table: the first `root` bits index the main table; longer codes continue
// in a sub-table.
class DecodeTable {
  public:
    // Builds from code lengths, the main table indexed with `root` bits at most (fewer when
    // no code is that long). Returns false when the lengths are not a complete prefix code
    // (or only one symbol is used, which the format expresses with its single-symbol form).
    // A table with no used symbol is accepted and fails only when something is decoded with it.
    bool build(const std::uint8_t* lengths, int n, int root);
    // A table that yields `symbol` using no bits.
    void set_single(int symbol) {
        single_ = true;
        empty_ = false;
        symbol_ = static_cast<std::uint16_t>(symbol);
    }

    bool empty() const { return empty_; }
    bool single() const { return single_; }
    int single_symbol() const { return symbol_; }
    int root() const { return root_; }
    // Entry layout: bits 0-4 length (or sub-table index width), bit 5 "sub-table", rest symbol
    // or sub-table offset.
    const std::uint32_t* entries() const { return table_.data(); }

  private:
    void fill_root(const std::uint8_t* lengths, int n, const std::uint16_t* codes);
    void fill_with_sub_tables(const std::uint8_t* lengths, int n, const std::uint16_t* codes);

    std::vector<std::uint32_t> table_;
    int root_ = 0;
    bool single_ = false;
    bool empty_ = true;
    std::uint16_t symbol_ = 0;
};

constexpr std::uint32_t kSubTable = 32;

// Reads one symbol coded with `t`.
inline int decode_symbol(BitReader& br, const DecodeTable& t) {
    if (t.single()) return t.single_symbol();
    if (t.empty()) throw Failure(Status::damaged, "a Huffman table without codes is used");
    if (br.available() < 32) br.refill();
    const std::uint32_t* e = t.entries();
    std::uint32_t v = e[br.peek(t.root())];
    if (v & kSubTable) {
        br.skip(t.root());
        int sub = static_cast<int>(v & 31u);
        v = e[(v >> 6) + br.peek(sub)];
    }
    br.skip(static_cast<int>(v & 31u));
    return static_cast<int>(v >> 6);
}

}  // namespace lzh::detail
