// Test-only encoders for the older methods the library reads but never writes. They make
// valid streams (a greedy parse, nothing clever) so that the decoders can be run on any data and
// other tools can be shown the same streams; tests can also spell a stream out item by item.
#pragma once

#include <string>
#include <vector>

#include "lzh/lzh.hpp"

namespace lzhtest {

// One step of a stream: a literal byte, or a match of `length` bytes from `distance` back.
struct Item {
    int literal = -1;  // 0 ... 255 for a literal
    unsigned length = 0;
    unsigned distance = 0;
};
inline Item lit(int byte) { return Item{byte, 0, 0}; }
inline Item match(unsigned length, unsigned distance) { return Item{-1, length, distance}; }

struct MethodLimits {
    unsigned window, min_length, max_length;
};
MethodLimits limits(lzh::Method m);

// Literals and matches for `data`, matches never reaching before its start.
std::vector<Item> greedy_parse(const std::string& data, lzh::Method m);

// The items as a stream of method `m` (-lh1-, -lh2-, -lh3-, -lz5-, -lzs-, -pm1-, -pm2-).
// `block` (-lh3-): items per block, 0 for the most a block holds. -pm1- takes the literal code
// that makes the stream smallest.
std::string encode_items(lzh::Method m, const std::vector<Item>& items, unsigned block = 0);

// -pm1- with literal code `table` (0 ... 31).
std::string encode_pm1(const std::vector<Item>& items, int table);

// The bytes the items write.
std::string replay_items(const std::vector<Item>& items);

// -pm1- streams that meet the edges of the format. The first reaches, at (or just before) each
// output position where the copy code or a distance's width changes, the first and last
// distance of every class, with every run and copy length at which their codes change on the
// way. The second uses every slice of literal code `table` (and some copies).
std::vector<Item> pm1_edge_items(bool just_before);
std::vector<Item> pm1_table_items(int table);

inline std::string encode_legacy(lzh::Method m, const std::string& data, unsigned block = 0) {
    return encode_items(m, greedy_parse(data, m), block);
}

}  // namespace lzhtest
