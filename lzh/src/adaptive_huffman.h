// Adaptive Huffman codes of -lh1- and -lh2-: the code changes after every symbol, so encoder and
// decoder must keep identical trees and change them in identical steps.
//
// Nodes lie in one array ordered by weight, heaviest first, the root at 0. The two children of
// an internal node lie side by side: the one a 0 bit leads to at `kid`, the one a 1 bit leads
// to just before it. Counting a symbol walks from its leaf to the root; each node on the way
// first trades places (with everything below it) with the first node of its own weight, then
// gains one, which keeps the order.
#pragma once

#include <cstdint>
#include <vector>

#include "bitio.h"

namespace lzh::detail {

class AdaptiveTree {
  public:
    // `capacity`: the most symbols the tree will ever hold.
    explicit AdaptiveTree(int capacity);

    // Every one of `symbols` leaves weighs 1; pairs are joined in symbol order.
    void reset_all(int symbols);
    // A single leaf, symbol 0, is the whole tree (and costs no bits) until add_leaf().
    void reset_single();

    int symbols() const { return leaves_; }
    std::uint32_t root_weight() const { return weight_[0]; }
    // A root weight no count can reach, for trees whose size is tracked outside the tree.
    void set_root_weight(std::uint32_t w) { weight_[0] = w; }

    // Follows bits from the root to a leaf and returns its symbol.
    int decode(BitReader& br) const {
        int n = 0;
        int k = kid_[0];
        if (k < 0) return ~k;  // a lone leaf needs no bits
        for (;;) {
            if (br.available() == 0) br.refill();
            n = k - static_cast<int>(br.peek(1));
            br.skip(1);
            k = kid_[static_cast<std::size_t>(n)];
            if (k < 0) return ~k;
        }
    }
    // The bits that lead to `symbol`, first bit in the highest place; returns their number.
    int code_of(int symbol, std::uint64_t& bits) const;

    // Counts `symbol` once on every node from its leaf up to, but not including, the root.
    void count(int symbol);
    // Splits the last (lightest) leaf into itself and a new leaf for `symbol` weighing 0.
    void add_leaf(int symbol);
    // Halves every leaf's weight (rounding up) and rebuilds the tree, heavier pairs first.
    void rebuild();

  private:
    int nodes() const { return 2 * leaves_ - 1; }
    void place(int node, int kid);
    void swap_subtrees(int a, int b);
    void build_from_ascending(const std::vector<std::uint32_t>& w, const std::vector<int>& kid);

    std::vector<std::uint32_t> weight_;
    std::vector<int> kid_;     // internal: the child a 0 bit leads to; leaf: ~symbol
    std::vector<int> parent_;  // by node
    std::vector<int> leaf_;    // node of each symbol
    int leaves_ = 0;
};

// The byte/length code of -lh1- and -lh2-: every symbol starts with weight 1, the tree is
// rebuilt when the root reaches kRebuildAt, and each symbol is counted once it is read.
class AdaptiveSymbolCode {
  public:
    static constexpr std::uint32_t kRebuildAt = 0x8000;
    explicit AdaptiveSymbolCode(int symbols) : tree_(symbols) { tree_.reset_all(symbols); }

    int decode(BitReader& br) {
        const int s = tree_.decode(br);
        count(s);
        return s;
    }
    // For writers: the code of `s` now; count(s) once it is written.
    int code_of(int s, std::uint64_t& bits) const { return tree_.code_of(s, bits); }
    void count(int s);

  private:
    AdaptiveTree tree_;
};

// The upper position bits of -lh2- (positions carry `low_bits` more bits as they are): the code
// starts with the value 0 alone and gains the next value each time another 2^low_bits bytes
// have been decoded, until it covers the whole window. Once it has two leaves its root's
// weight is no longer counted; a total of the counts decides when to rebuild it.
class GrowingPositionCode {
  public:
    GrowingPositionCode(int dicbit, int low_bits);

    // Before each position, with the number of bytes decoded so far.
    void grow(std::uint64_t produced);
    int decode(BitReader& br) {
        const int v = tree_.decode(br);
        count(v);
        return v;
    }
    int code_of(int v, std::uint64_t& bits) const { return tree_.code_of(v, bits); }
    void count(int v);

  private:
    static constexpr std::uint32_t kUncounted = 0xFFFF;  // above any weight a leaf can reach
    AdaptiveTree tree_;
    std::uint64_t step_;
    std::uint64_t limit_;
    std::uint64_t next_growth_;
    std::uint32_t total_ = 0;
};

}  // namespace lzh::detail
