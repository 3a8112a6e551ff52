#include "legacy_encoders.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <stdexcept>

#include "adaptive_huffman.h"
#include "bitio.h"
#include "huffman.h"
#include "legacy_decoders.h"

namespace lzhtest {
namespace {

using lzh::Method;
using lzh::detail::BitWriter;

constexpr int kLowBits = 6;
constexpr int kEscape = 285;
constexpr int kFirstLength = 253;

int symbol_of(const Item& it) {
    return it.literal >= 0 ? it.literal : kFirstLength + static_cast<int>(it.length);
}

// Adaptive codes may be longer than one put() takes.
void put_code(BitWriter& bw, std::uint64_t bits, int n) {
    if (n > 32) {
        bw.put(static_cast<std::uint32_t>(bits >> 32), n - 32);
        n = 32;
    }
    bw.put(static_cast<std::uint32_t>(bits), n);
}

struct StaticCode {
    std::vector<std::uint8_t> len;
    std::vector<std::uint16_t> code;
    explicit StaticCode(std::vector<std::uint8_t> lengths) : len(std::move(lengths)) {
        code.resize(len.size());
        lzh::detail::make_codes(len.data(), static_cast<int>(len.size()), code.data());
    }
    void put(BitWriter& bw, int s) const {
        bw.put(code[static_cast<std::size_t>(s)], len[static_cast<std::size_t>(s)]);
    }
};

void encode_lh1(BitWriter& bw, const std::vector<Item>& items) {
    lzh::detail::AdaptiveSymbolCode symbols(256 + 60 - 2);
    const StaticCode positions(lzh::detail::fixed_position_lengths(Method::lh1));
    for (const Item& it : items) {
        const int c = symbol_of(it);
        std::uint64_t bits;
        put_code(bw, bits, symbols.code_of(c, bits));
        symbols.count(c);
        if (it.literal >= 0) continue;
        const unsigned pos = it.distance - 1;
        positions.put(bw, static_cast<int>(pos >> kLowBits));
        bw.put(pos & 63, kLowBits);
    }
}

void encode_lh2(BitWriter& bw, const std::vector<Item>& items) {
    lzh::detail::AdaptiveSymbolCode symbols(kEscape + 1);
    lzh::detail::GrowingPositionCode positions(13, kLowBits);
    std::uint64_t produced = 0;
    for (const Item& it : items) {
        const int c = symbol_of(it);
        const int coded = std::min(c, kEscape);
        std::uint64_t bits;
        put_code(bw, bits, symbols.code_of(coded, bits));
        symbols.count(coded);
        if (coded == kEscape) bw.put(static_cast<std::uint32_t>(c - kEscape), 8);
        if (it.literal >= 0) {
            ++produced;
            continue;
        }
        const unsigned pos = it.distance - 1;
        positions.grow(produced);
        const int upper = static_cast<int>(pos >> kLowBits);
        put_code(bw, bits, positions.code_of(upper, bits));
        positions.count(upper);
        bw.put(pos & 63, kLowBits);
        produced += it.length;
    }
}

// One -lh3- block: its tables, then its items. Odd blocks use the fixed position code when
// they can, so that both kinds are written.
void encode_lh3_block(BitWriter& bw, const Item* items, std::size_t n, bool fixed_positions) {
    std::vector<std::uint32_t> cfreq(kEscape + 1), pfreq(128);
    for (std::size_t i = 0; i < n; ++i) {
        ++cfreq[static_cast<std::size_t>(std::min(symbol_of(items[i]), kEscape))];
        if (items[i].literal < 0) ++pfreq[(items[i].distance - 1) >> kLowBits];
    }
    bw.put(static_cast<std::uint32_t>(n), 16);
    std::vector<std::uint8_t> clen(cfreq.size()), plen(pfreq.size());
    if (lzh::detail::build_lengths(cfreq.data(), kEscape + 1, 16, clen.data()) == 1) {
        for (int k = 0; k < 3; ++k) bw.put(1u << 4, 5);  // three lengths of 1: one symbol
        bw.put(static_cast<std::uint32_t>(std::max_element(cfreq.begin(), cfreq.end()) -
                                          cfreq.begin()),
               9);
        std::fill(clen.begin(), clen.end(), 0);
    } else {
        for (auto l : clen) l ? bw.put(0x10u | (l - 1u), 5) : bw.put(0, 1);
    }
    const int pused = lzh::detail::build_lengths(pfreq.data(), 128, 15, plen.data());
    if (pused == 0 || fixed_positions) {
        bw.put(0, 1);
        plen = lzh::detail::fixed_position_lengths(Method::lh3);
    } else if (pused == 1) {
        bw.put(1, 1);
        for (int k = 0; k < 3; ++k) bw.put(1, 4);
        bw.put(static_cast<std::uint32_t>(std::max_element(pfreq.begin(), pfreq.end()) -
                                          pfreq.begin()),
               7);
        std::fill(plen.begin(), plen.end(), 0);
    } else {
        bw.put(1, 1);
        for (auto l : plen) bw.put(l, 4);
    }
    const StaticCode ccode(clen), pcode(plen);
    for (std::size_t i = 0; i < n; ++i) {
        const int c = symbol_of(items[i]);
        if (clen[static_cast<std::size_t>(std::min(c, kEscape))])
            ccode.put(bw, std::min(c, kEscape));
        if (c >= kEscape) bw.put(static_cast<std::uint32_t>(c - kEscape), 8);
        if (items[i].literal >= 0) continue;
        const unsigned pos = items[i].distance - 1;
        if (plen[pos >> kLowBits]) pcode.put(bw, static_cast<int>(pos >> kLowBits));
        bw.put(pos & 63, kLowBits);
    }
}

void encode_lh3(BitWriter& bw, const std::vector<Item>& items, unsigned block) {
    const std::size_t per = block ? block : 65535;
    for (std::size_t at = 0, k = 0; at < items.size(); at += per, ++k)
        encode_lh3_block(bw, &items[at], std::min(per, items.size() - at), k % 2 == 1);
}

// LArc positions are places in a ring whose first write goes `size - max_length` in.
unsigned ring_position(Method m, std::uint64_t produced, unsigned distance) {
    const MethodLimits l = limits(m);
    return static_cast<unsigned>((l.window - l.max_length + produced - distance) & (l.window - 1));
}

std::string encode_lz5(const std::vector<Item>& items) {
    std::string out;
    std::uint64_t produced = 0;
    for (std::size_t at = 0; at < items.size(); at += 8) {
        const std::size_t flag_at = out.size();
        out += '\0';
        for (std::size_t k = 0; k < 8 && at + k < items.size(); ++k) {
            const Item& it = items[at + k];
            if (it.literal >= 0) {
                out[flag_at] = static_cast<char>(out[flag_at] | 1 << k);
                out += static_cast<char>(it.literal);
                ++produced;
                continue;
            }
            const unsigned pos = ring_position(Method::lz5, produced, it.distance);
            out += static_cast<char>(pos & 0xFF);
            out += static_cast<char>((pos >> 4 & 0xF0) | (it.length - 3));
            produced += it.length;
        }
    }
    return out;
}

void encode_lzs(BitWriter& bw, const std::vector<Item>& items) {
    std::uint64_t produced = 0;
    for (const Item& it : items) {
        if (it.literal >= 0) {
            bw.put(0x100u | static_cast<unsigned>(it.literal), 9);
            ++produced;
            continue;
        }
        bw.put(ring_position(Method::lzs, produced, it.distance), 12);  // a 0 bit, 11 bits
        bw.put(it.length - 2, 4);
        produced += it.length;
    }
}

// PMarc's list of byte values, most recently written first.
class ByteList {
  public:
    ByteList() {
        const auto first = lzh::detail::pm2_first_order();
        std::copy(first.begin(), first.end(), order_.begin());
    }
    unsigned index_of(int b) const {
        return static_cast<unsigned>(std::find(order_.begin(), order_.end(), b) - order_.begin());
    }
    int at(unsigned index) const { return order_[index]; }
    unsigned to_front(int b) {
        const unsigned index = index_of(b);
        std::rotate(order_.begin(), order_.begin() + index, order_.begin() + index + 1);
        return index;
    }

  private:
    std::array<int, 256> order_{};
};

// -pm2-: a move-to-front list of byte values, one command code for the whole stream (sent
// again at every other 4096-byte boundary, so both kinds of boundary are written), and a
// complete distance code over the classes in use.
class Pm2Writer {
  public:
    Pm2Writer(BitWriter& bw, const std::vector<Item>& items) : bw_(bw) {
        // Which literal command a byte needs depends on the list when it is written; every
        // command but 28 gets a code, and the counts only shape the lengths.
        std::vector<std::uint32_t> freq(29, 1);
        freq[28] = 0;
        for (const Item& it : items)
            if (it.literal < 0) ++freq[static_cast<std::size_t>(command_of(it))];
        len_.resize(29);
        lzh::detail::build_lengths(freq.data(), 29, 16, len_.data());
        code_.resize(29);
        lzh::detail::make_codes(len_.data(), 29, code_.data());
    }

    void write(const std::vector<Item>& items) {
        bw_.put(1, 1);
        write_command_code();
        write_distance_code();
        for (const Item& it : items) {
            if (produced_ >= next_flag_ || produced_ >= next_growth_) boundary();
            const int c = command_of(it);
            bw_.put(code_[static_cast<std::size_t>(c)], len_[static_cast<std::size_t>(c)]);
            if (it.literal >= 0) {
                const unsigned index = to_front(it.literal);
                bw_.put(index - kBase[c], kBits[c]);
                out_.push_back(static_cast<std::uint8_t>(it.literal));
                ++produced_;
                continue;
            }
            write_copy(c, it);
        }
    }

  private:
    static constexpr unsigned kBase[8] = {0, 8, 16, 32, 64, 96, 128, 192};
    static constexpr int kBits[8] = {3, 3, 4, 5, 5, 5, 6, 6};

    int command_of(const Item& it) const {
        if (it.literal >= 0) {
            const unsigned index = index_of(it.literal);
            int c = 7;
            while (index < kBase[c]) --c;
            return c;
        }
        if (it.length == 256 && it.distance == 1) return 28;
        if (it.length <= 16) return static_cast<int>(it.length) + 6;
        if (it.length <= 24) return 23;
        if (it.length <= 32) return 24;
        if (it.length <= 64) return 25;
        return it.length <= 128 ? 26 : 27;
    }
    // The command of a literal depends on the list as it is when the literal is written.
    unsigned index_of(int b) const { return history_.index_of(b); }
    unsigned to_front(int b) { return history_.to_front(b); }

    void write_copy(int c, const Item& it) {
        static constexpr unsigned kFirst[] = {17, 25, 33, 65, 129};
        static constexpr int kLenBits[] = {3, 3, 5, 6, 7};
        if (c == 8) {
            bw_.put(it.distance - 1, 6);
        } else if (c != 28) {
            if (c >= 23) bw_.put(it.length - kFirst[c - 23], kLenBits[c - 23]);
            const unsigned d = it.distance - 1;
            const int cls = d < 64 ? 0 : std::bit_width(d) - 6;
            bw_.put(dist_code_[static_cast<std::size_t>(cls)],
                    dist_len_[static_cast<std::size_t>(cls)]);
            bw_.put(cls == 0 ? d : d - (1u << (cls + 5)), cls == 0 ? 6 : cls + 5);
        }
        for (unsigned k = 0; k < it.length; ++k) {
            const std::uint8_t b = out_[out_.size() - it.distance];
            out_.push_back(b);
            to_front(b);
        }
        produced_ += it.length;
    }

    void boundary() {
        bool new_code = false;
        if (produced_ >= next_flag_) {
            new_code = (next_flag_ / 4096) % 2 == 0;
            bw_.put(new_code, 1);
            if (new_code) write_command_code();
            next_flag_ += 4096;
        }
        bool grew = false;
        while (produced_ >= next_growth_ && classes_ < 8) {
            ++classes_;
            next_growth_ *= 2;
            grew = true;
        }
        if (classes_ == 8) next_growth_ = UINT64_MAX;
        if (new_code || grew) write_distance_code();
    }
    void write_command_code() {
        unsigned shortest = 16, longest = 0;
        for (auto l : len_)
            if (l) {
                shortest = std::min<unsigned>(shortest, l);
                longest = std::max<unsigned>(longest, l);
            }
        const int width = std::bit_width(longest - shortest + 1);
        bw_.put(29, 5);
        bw_.put(shortest, 3);
        bw_.put(static_cast<std::uint32_t>(width), 3);
        for (auto l : len_) bw_.put(l ? l - shortest + 1 : 0, width);
    }
    // A complete code: lengths 1, 2, ..., n - 1, n - 1.
    void write_distance_code() {
        dist_len_.assign(static_cast<std::size_t>(classes_), 0);
        for (int k = 0; k < classes_; ++k)
            dist_len_[static_cast<std::size_t>(k)] =
                static_cast<std::uint8_t>(std::min(k + 1, classes_ - 1));
        dist_code_.resize(dist_len_.size());
        lzh::detail::make_codes(dist_len_.data(), classes_, dist_code_.data());
        for (auto l : dist_len_) bw_.put(l, 3);
    }

    BitWriter& bw_;
    std::vector<std::uint8_t> len_, dist_len_;
    std::vector<std::uint16_t> code_, dist_code_;
    ByteList history_;
    std::vector<std::uint8_t> out_ = std::vector<std::uint8_t>(8192, ' ');  // the window starts so
    std::uint64_t produced_ = 0, next_flag_ = 4096, next_growth_ = 1024;
    int classes_ = 5;
};

// -pm1-: runs of up to 216 literals, each run shorter than that followed by a copy. A two-byte
// match farther back than two-byte copies reach goes out as two literals.
class Pm1Writer {
  public:
    Pm1Writer(BitWriter& bw, const std::vector<Item>& items) : bw_(bw) {
        std::vector<std::uint8_t> data;
        for (const Item& it : items) {
            replay(data, it);
            if (it.literal >= 0 || it.length != 2 || it.distance <= kTwoByteReach) {
                items_.push_back(it);
            } else {
                items_.push_back(lit(data[data.size() - 2]));
                items_.push_back(lit(data[data.size() - 1]));
            }
        }
    }

    // The literal code that makes the stream smallest, among those that name every slice used.
    int cheapest_table() const {
        std::array<std::uint64_t, 16> uses{};
        std::vector<std::uint8_t> data;
        ByteList list;
        for (const Item& it : items_) {
            if (it.literal >= 0) ++uses[list.to_front(it.literal) >> 4];
            for (std::size_t k = replay(data, it); k < data.size(); ++k) list.to_front(data[k]);
        }
        int best = 0;
        std::uint64_t best_bits = UINT64_MAX;
        for (int t = 0; t < 32; ++t) {
            const auto codes = slice_codes(t);
            std::uint64_t total = 0;
            for (std::size_t s = 0; s < 16 && total < UINT64_MAX; ++s)
                if (uses[s])
                    total = codes[s].bits == kNone ? UINT64_MAX : total + uses[s] * codes[s].bits;
            if (total < best_bits) {
                best = t;
                best_bits = total;
            }
        }
        return best;
    }

    void write(int table) {
        code_ = slice_codes(table);
        bw_.put(static_cast<std::uint32_t>(table), 5);
        bool copy_due = false;
        for (std::size_t i = 0; i < items_.size();) {
            if (items_[i].literal >= 0) {
                std::size_t n = 1;
                while (n < kLongestRun && i + n < items_.size() && items_[i + n].literal >= 0) ++n;
                write_run(&items_[i], n);
                i += n;
                copy_due = n < kLongestRun;
                continue;
            }
            if (!copy_due) bw_.put(0, 1);
            write_copy(items_[i++]);
            copy_due = false;
        }
    }

  private:
    static constexpr unsigned kLongestRun = 216, kTwoByteReach = 320;
    static constexpr std::uint8_t kNone = 0xFF;
    struct Code {
        std::uint32_t code = 0;
        std::uint8_t bits = kNone;
    };

    // Each slice's shortest code: a literal code may give a slice two codes, or none.
    static std::array<Code, 16> slice_codes(int table) {
        std::array<Code, 16> codes{};
        for (const auto& c : lzh::detail::pm1_literal_codes(static_cast<unsigned>(table)))
            if (c.bits < codes[c.slice].bits) codes[c.slice] = {c.code, c.bits};
        return codes;
    }

    // Appends what the item writes to `data`; returns where it started.
    static std::size_t replay(std::vector<std::uint8_t>& data, const Item& it) {
        const std::size_t from = data.size();
        if (it.literal >= 0) {
            data.push_back(static_cast<std::uint8_t>(it.literal));
            return from;
        }
        if (it.distance == 0 || it.distance > data.size())
            throw std::invalid_argument("a -pm1- copy before the start of its member");
        for (unsigned k = 0; k < it.length; ++k) data.push_back(data[data.size() - it.distance]);
        return from;
    }

    void write_run(const Item* run, std::size_t n) {
        bw_.put(1, 1);
        const auto v = static_cast<std::uint32_t>(n);
        if (n <= 3) {
            bw_.put(v - 1, 2);
        } else if (n <= 10) {
            bw_.put(0x18u | (v - 4), 5);
        } else if (n <= 24) {
            bw_.put(0x1F0u | (v - 11), 9);
        } else {
            bw_.put(n <= 88 ? 0x1FEu : 0x1FFu, 9);
            bw_.put(n <= 88 ? v - 25 : v - 89, n <= 88 ? 6 : 7);
        }
        for (std::size_t k = 0; k < n; ++k) {
            const unsigned index = list_.to_front(run[k].literal);
            const Code& c = code_[index >> 4];
            if (c.bits == kNone)
                throw std::invalid_argument("a literal its -pm1- code cannot name");
            bw_.put(c.code, c.bits);
            bw_.put(index & 15, 4);
            out_.push_back(static_cast<std::uint8_t>(run[k].literal));
        }
    }

    // A distance class: its code, the stage of the output from which it exists, its first
    // distance and how many bits its distances take (growing with the output up to `most`).
    struct Class {
        std::uint32_t code;
        int code_bits, from_stage;
        unsigned first, least, most;
    };
    // The copy code changes at 64, 576 and 2624 bytes of output, as classes join it.
    static Class class_of(unsigned length, unsigned d, int stage) {
        if (length == 2)
            return d <= 64 ? Class{0, std::min(stage + 1, 3), 0, 1, 6, 6}
                           : Class{1, stage == 1 ? 2 : 3, 1, 65, 8, 8};
        if (d <= 64)
            return {stage == 3 ? 7u : stage == 0 ? 1u : 3u,
                    stage == 3 ? 3 : std::min(stage + 1, 2),
                    0,
                    1,
                    6,
                    6};
        if (d <= 576) return {2, 2, 1, 65, 8, 9};
        if (d <= 2624) return {1, 2, 2, 577, 8, 11};
        return {6, 3, 3, 2625, 8, 13};
    }

    void write_copy(const Item& it) {
        const std::uint64_t at = out_.size();
        const int stage = at < 64 ? 0 : at < 576 ? 1 : at < 2624 ? 2 : 3;
        const Class c = class_of(it.length, it.distance, stage);
        const unsigned width = std::clamp<unsigned>(
            static_cast<unsigned>(std::bit_width(at - (c.first - 1))), c.least, c.most);
        if (stage < c.from_stage || it.distance - c.first >= 1u << width || it.length < 2 ||
            it.length > 244)
            throw std::invalid_argument("a copy -pm1- cannot code here");
        bw_.put(c.code, c.code_bits);
        if (it.length > 2) write_length(it.length);
        bw_.put(it.distance - c.first, static_cast<int>(width));
        for (std::size_t k = replay(out_, it); k < out_.size(); ++k) list_.to_front(out_[k]);
    }

    void write_length(unsigned n) {
        if (n <= 5) {
            bw_.put(n - 3, 2);
        } else if (n <= 10) {
            bw_.put(0x18u | (n - 6), 5);
        } else if (n <= 22) {
            bw_.put(n <= 14 ? 0x1Du : 0x1Eu, 5);
            bw_.put(n <= 14 ? n - 11 : n - 15, n <= 14 ? 2 : 3);
        } else if (n <= 84) {
            bw_.put(0x1Fu, 5);
            bw_.put(n - 23, 6);
        } else {
            bw_.put(n <= 116 ? 0x7FEu : 0x7FFu, 11);
            bw_.put(n <= 116 ? n - 85 : n - 117, n <= 116 ? 5 : 7);
        }
    }

    BitWriter& bw_;
    std::vector<Item> items_;
    std::vector<std::uint8_t> out_;  // what has been written so far
    ByteList list_;
    std::array<Code, 16> code_{};
};

}  // namespace

MethodLimits limits(Method m) {
    switch (m) {
        case Method::lh1:
            return {4096, 3, 60};
        case Method::lh2:
        case Method::lh3:
            return {8192, 3, 256};
        case Method::lz5:
            return {4096, 3, 18};
        case Method::lzs:
            return {2048, 2, 17};
        case Method::pm2:
            return {8192, 3, 256};
        case Method::pm1:
            return {2624 + 8192, 2, 244};
        default:
            throw std::invalid_argument("no test encoder for this method");
    }
}

std::vector<Item> greedy_parse(const std::string& data, Method m) {
    const MethodLimits l = limits(m);
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    const std::size_t n = data.size();
    const unsigned key_len = l.min_length;
    std::vector<int> head(1 << 16, -1), prev(n, -1);
    auto key = [&](std::size_t i) {
        unsigned h = 0;
        for (unsigned k = 0; k < key_len; ++k) h = h * 251 + p[i + k];
        return h & 0xFFFF;
    };
    auto insert = [&](std::size_t i) {
        if (i + key_len > n) return;
        const unsigned h = key(i);
        prev[i] = head[h];
        head[h] = static_cast<int>(i);
    };
    std::vector<Item> items;
    for (std::size_t i = 0; i < n;) {
        unsigned best = 0, best_dist = 0;
        if (i + key_len <= n) {
            int chain = 32;
            for (int j = head[key(i)]; j >= 0 && chain-- > 0;
                 j = prev[static_cast<std::size_t>(j)]) {
                const std::size_t dist = i - static_cast<std::size_t>(j);
                if (dist > l.window) break;
                unsigned len = 0;
                while (len < l.max_length && i + len < n &&
                       p[static_cast<std::size_t>(j) + len] == p[i + len])
                    ++len;
                if (len > best) {
                    best = len;
                    best_dist = static_cast<unsigned>(dist);
                }
            }
        }
        if (best >= l.min_length) {
            items.push_back(match(best, best_dist));
            for (unsigned k = 0; k < best; ++k) insert(i + k);
            i += best;
        } else {
            items.push_back(lit(p[i]));
            insert(i);
            ++i;
        }
    }
    return items;
}

std::string encode_items(Method m, const std::vector<Item>& items, unsigned block) {
    if (m == Method::lz5) return encode_lz5(items);
    lzh::VectorSink sink;
    BitWriter bw(sink);
    switch (m) {
        case Method::lh1:
            encode_lh1(bw, items);
            break;
        case Method::lh2:
            encode_lh2(bw, items);
            break;
        case Method::lh3:
            encode_lh3(bw, items, block);
            break;
        case Method::lzs:
            encode_lzs(bw, items);
            break;
        case Method::pm2:
            Pm2Writer(bw, items).write(items);
            break;
        case Method::pm1: {
            Pm1Writer w(bw, items);
            w.write(w.cheapest_table());
            break;
        }
        default:
            throw std::invalid_argument("no test encoder for this method");
    }
    bw.finish();
    return std::string(sink.bytes.begin(), sink.bytes.end());
}

std::string encode_pm1(const std::vector<Item>& items, int table) {
    lzh::VectorSink sink;
    BitWriter bw(sink);
    Pm1Writer(bw, items).write(table);
    bw.finish();
    return std::string(sink.bytes.begin(), sink.bytes.end());
}

std::string replay_items(const std::vector<Item>& items) {
    std::string data;
    for (const Item& it : items) {
        if (it.literal >= 0) data += static_cast<char>(it.literal);
        for (unsigned k = 0; k < it.length; ++k) data += data[data.size() - it.distance];
    }
    return data;
}

std::vector<Item> pm1_edge_items(bool just_before) {
    static constexpr unsigned kRuns[] = {1, 2, 3, 4, 10, 11, 24, 25, 88, 89, 216};
    static constexpr unsigned kLengths[] = {3, 5, 6, 10, 11, 14, 15, 22, 23, 84, 85, 116, 117, 244};
    static constexpr unsigned kEdges[] = {64,   320,  576,  832,  1088, 1600, 2624,
                                          2880, 3136, 3648, 4672, 6720, 10816};
    static constexpr unsigned kFirstAndLast[] = {1, 64, 65, 320, 576, 577, 2624, 2625, 10816};
    std::vector<Item> items;
    std::uint32_t rng = 7, at = 0;
    std::size_t run = 0, length = 0;
    auto literals = [&](unsigned n) {
        for (at += n; n > 0; --n)
            items.push_back(lit(static_cast<int>((rng = rng * 69069 + 1) >> 24)));
    };
    auto copy = [&](unsigned len, unsigned d) {
        items.push_back(match(len, d));
        at += len;
    };
    for (unsigned edge : kEdges) {
        const unsigned to = just_before ? edge - 1 : edge;
        // Runs and copies of every length up to the edge; the last run lands on it.
        while (to - at > kRuns[std::size(kRuns) - 1]) {
            const unsigned len = std::min(kLengths[length++ % std::size(kLengths)], to - at - 1);
            literals(std::min(kRuns[run++ % std::size(kRuns)], to - at - len));
            copy(len, at < 64 ? 1 : 64);
        }
        if (to > at) literals(to - at);
        for (unsigned d : kFirstAndLast) {
            if (d <= at && d <= 320) copy(2, d);
            if (d <= at) copy(3, d);
        }
        copy(4, std::min(at, 2624u + 8192u));
    }
    return items;
}

std::vector<Item> pm1_table_items(int table) {
    std::vector<unsigned> slices;
    for (const auto& c : lzh::detail::pm1_literal_codes(static_cast<unsigned>(table)))
        if (std::find(slices.begin(), slices.end(), c.slice) == slices.end())
            slices.push_back(c.slice);
    ByteList list;
    std::vector<Item> items;
    std::string data;
    for (unsigned k = 0; k < 40 * slices.size(); ++k) {
        const int b = list.at(slices[k % slices.size()] * 16 + k * 7 % 16);
        list.to_front(b);
        items.push_back(lit(b));
        data += static_cast<char>(b);
        if (k % 5 == 4) {  // a copy moves its bytes to the front too
            items.push_back(match(3, 4));
            for (int c = 0; c < 3; ++c) {
                data += data[data.size() - 4];
                list.to_front(static_cast<std::uint8_t>(data.back()));
            }
        }
    }
    return items;
}

}  // namespace lzhtest
