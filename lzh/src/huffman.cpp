#include "huffman.h"

#include <algorithm>
#include <cassert>
#include <numeric>

namespace lzh::detail {

int build_lengths(const std::uint32_t* freq, int n, int max_len, std::uint8_t* lengths) {
    std::fill(lengths, lengths + n, std::uint8_t{0});
    // Used symbols sorted by frequency, rarest first (ties by symbol, so the result never
    // depends on the sort): frequency and symbol packed in one key.
    constexpr int kMaxSymbols = 1024;
    assert(n <= kMaxSymbols);
    std::uint64_t keys[kMaxSymbols];
    int m = 0;
    for (int i = 0; i < n; ++i)
        if (freq[i] != 0) keys[m++] = std::uint64_t{freq[i]} << 16 | static_cast<unsigned>(i);
    if (m == 0) return 0;
    if (m == 1) {
        lengths[keys[0] & 0xFFFF] = 1;
        return 1;
    }
    std::sort(keys, keys + m);

    // Build the tree with two queues (leaves in order, internal nodes in creation order);
    // parents[] then gives each leaf's depth.
    std::uint64_t weight[2 * kMaxSymbols];
    int parent[2 * kMaxSymbols];
    for (int i = 0; i < m; ++i) weight[i] = keys[i] >> 16;
    int leaf = 0, node = m, next = m;
    auto take = [&]() {
        if (leaf < m && (node >= next || weight[leaf] <= weight[node])) return leaf++;
        return node++;
    };
    while (next < 2 * m - 1) {
        const int a = take(), b = take();
        weight[next] = weight[a] + weight[b];
        parent[a] = parent[b] = next;
        ++next;
    }
    // Depth of every node top-down (the root, 2m-2, was made last).
    int depth[2 * kMaxSymbols];
    depth[2 * m - 2] = 0;
    for (int i = 2 * m - 3; i >= 0; --i) depth[i] = depth[parent[i]] + 1;

    // Count leaves per length, folding anything too deep into max_len, then repair the Kraft
    // sum: each step removes one leaf at max_len and splits the deepest shorter leaf into two.
    int count[kMaxCodeLength + 2] = {};
    for (int i = 0; i < m; ++i) ++count[std::min(depth[i], max_len)];
    std::uint64_t kraft = 0;
    for (int l = 1; l <= max_len; ++l)
        kraft += static_cast<std::uint64_t>(count[l]) << (max_len - l);
    const std::uint64_t full = std::uint64_t{1} << max_len;
    while (kraft > full) {
        --count[max_len];
        int l = max_len - 1;
        while (count[l] == 0) --l;
        --count[l];
        count[l + 1] += 2;
        --kraft;
    }
    // Longest codes to the rarest symbols.
    int idx = 0;
    for (int l = max_len; l >= 1; --l)
        for (int k = 0; k < count[l]; ++k)
            lengths[keys[idx++] & 0xFFFF] = static_cast<std::uint8_t>(l);
    assert(idx == m);
    return m;
}

void make_codes(const std::uint8_t* lengths, int n, std::uint16_t* codes) {
    int count[kMaxCodeLength + 1] = {};
    for (int i = 0; i < n; ++i) ++count[lengths[i]];
    count[0] = 0;
    unsigned next[kMaxCodeLength + 2] = {};
    unsigned code = 0;
    for (int l = 1; l <= kMaxCodeLength; ++l) {
        code = (code + static_cast<unsigned>(count[l - 1])) << 1;
        next[l] = code;
    }
    for (int i = 0; i < n; ++i)
        codes[i] = lengths[i] ? static_cast<std::uint16_t>(next[lengths[i]]++) : 0;
}

bool DecodeTable::build(const std::uint8_t* lengths, int n, int root) {
    single_ = false;
    int count[kMaxCodeLength + 1] = {};
    int used = 0, longest = 0;
    for (int i = 0; i < n; ++i) {
        if (lengths[i] > kMaxCodeLength) return false;
        if (lengths[i]) {
            ++count[lengths[i]];
            ++used;
            longest = std::max<int>(longest, lengths[i]);
        }
    }
    empty_ = used == 0;
    if (empty_) return true;
    if (used == 1) return false;
    std::uint32_t kraft = 0;
    for (int l = 1; l <= kMaxCodeLength; ++l)
        kraft += static_cast<std::uint32_t>(count[l]) << (kMaxCodeLength - l);
    if (kraft != (1u << kMaxCodeLength)) return false;

    std::uint16_t codes[1024];
    make_codes(lengths, n, codes);
    // No wider than the longest code: small blocks have short codes, and filling a table
    // costs as much as decoding a small block.
    root_ = std::min(root, longest);
    // The code is complete, so every entry is written: no clearing needed.
    if (longest <= root_)
        fill_root(lengths, n, codes);
    else
        fill_with_sub_tables(lengths, n, codes);
    return true;
}

void DecodeTable::fill_root(const std::uint8_t* lengths, int n, const std::uint16_t* codes) {
    const int root = root_;
    table_.resize(std::size_t{1} << root);
    for (int i = 0; i < n; ++i) {
        const int l = lengths[i];
        if (!l) continue;
        const std::uint32_t first = static_cast<std::uint32_t>(codes[i]) << (root - l);
        std::fill_n(table_.begin() + first, std::size_t{1} << (root - l),
                    static_cast<std::uint32_t>(i) << 6 | static_cast<std::uint32_t>(l));
    }
}

// Codes longer than the root continue in a sub-table per root prefix, as wide as the longest
// code sharing that prefix.
void DecodeTable::fill_with_sub_tables(const std::uint8_t* lengths, int n,
                                       const std::uint16_t* codes) {
    const int root = root_;
    const std::uint32_t root_size = 1u << root;
    std::vector<int> sub_bits(root_size, 0);
    for (int i = 0; i < n; ++i) {
        const int l = lengths[i];
        if (l > root) {
            const std::uint32_t prefix = codes[i] >> (l - root);
            sub_bits[prefix] = std::max(sub_bits[prefix], l - root);
        }
    }
    std::uint32_t total = root_size;
    std::vector<std::uint32_t> sub_offset(root_size, 0);
    for (std::uint32_t p = 0; p < root_size; ++p)
        if (sub_bits[p]) {
            sub_offset[p] = total;
            total += 1u << sub_bits[p];
        }
    table_.resize(total);
    for (std::uint32_t p = 0; p < root_size; ++p)
        if (sub_bits[p])
            table_[p] = (sub_offset[p] << 6) | kSubTable | static_cast<std::uint32_t>(sub_bits[p]);
    for (int i = 0; i < n; ++i) {
        const int l = lengths[i];
        if (!l) continue;
        const std::uint32_t sym = static_cast<std::uint32_t>(i) << 6;
        if (l <= root) {
            const std::uint32_t first = static_cast<std::uint32_t>(codes[i]) << (root - l);
            std::fill_n(table_.begin() + first, std::size_t{1} << (root - l),
                        sym | static_cast<std::uint32_t>(l));
            continue;
        }
        const std::uint32_t prefix = codes[i] >> (l - root);
        const int sb = sub_bits[prefix];
        const int rest = l - root;
        const std::uint32_t low = codes[i] & ((1u << rest) - 1);
        const std::uint32_t first = sub_offset[prefix] + (low << (sb - rest));
        std::fill_n(table_.begin() + first, std::size_t{1} << (sb - rest),
                    sym | static_cast<std::uint32_t>(rest));
    }
}

}  // namespace lzh::detail
