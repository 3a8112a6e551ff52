// The entropy stage of the -lh4- ... -lh7- encoder: collects the parser's literals and matches,
// cuts them into blocks where separate tables pay for themselves, and writes each block with
// Huffman tables built from its own symbol counts. It also tells the parser what a literal or a
// match would cost in bits, from the codes of the block written last.
#pragma once

#include <cassert>
#include <cstdint>
#include <memory>
#include <vector>

#include "bitio.h"
#include "codec_params.h"

namespace lzh::detail {

class BlockCoder {
  public:
    // The largest block the format allows: fewer blocks, less table overhead.
    static constexpr int kBlock = kMaxBlockSymbols;

    // A small member never needs a full-size symbol buffer; `size_hint` (0: unknown) keeps the
    // set-up cost of many small files low. `block_symbols` (0: the largest) caps a block.
    BlockCoder(const StreamParams& p, BitWriter& bw, std::uint64_t size_hint, int block_symbols);
    ~BlockCoder();

    bool full() const { return n_ >= limit_; }
    void literal(std::uint8_t c) { sym_[static_cast<std::size_t>(n_++)] = c; }
    // `dist` is 1 for the previous byte; `len` 3 ... 256.
    void match(unsigned dist, unsigned len) {
        assert(dist >= 1 && dist <= (1u << prm_.dicbit) && len >= kMinMatch && len <= kMaxMatch);
        const auto i = static_cast<std::size_t>(n_++);
        sym_[i] = static_cast<std::uint16_t>(len + 253);
        off_[i] = static_cast<std::uint16_t>(dist - 1);
    }
    // Writes the symbols collected so far as one or more blocks.
    void flush();

    // Estimated bits, from the codes of the last block (or a first guess before any).
    unsigned literal_price(std::uint8_t c) const { return cprice_[c]; }
    unsigned match_price(unsigned len, unsigned dist) const {
        const unsigned off = dist - 1;
        const int p = position_slot(off);
        return cprice_[len + 253] + pprice_[p] + static_cast<unsigned>(p > 1 ? p - 1 : 0);
    }
    // The position symbol of an offset (distance - 1): its bit length.
    static int position_slot(unsigned off) {
        return off <= 1 ? static_cast<int>(off) : 32 - __builtin_clz(off);
    }

  private:
    struct Histograms;
    struct CTable;
    void split_and_write(int n);
    void write_block(int b, int e);
    void write_c_table(CTable& ct, const std::uint32_t* cfreq, std::uint16_t* ccode);
    void write_small_table(const std::uint8_t* len, int nsym, int nbits, int special);
    void put_length(int len);

    StreamParams prm_;
    BitWriter& bw_;
    std::vector<std::uint16_t> sym_, off_;
    int limit_;
    int n_ = 0;
    std::unique_ptr<Histograms> hist_;  // made for the first block large enough to split
    std::unique_ptr<CTable> ctable_, ctrial_;
    std::uint8_t cprice_[kNC];
    std::uint8_t pprice_[32];
};

}  // namespace lzh::detail
