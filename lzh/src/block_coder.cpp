#include "block_coder.h"

#include <algorithm>
#include <cmath>

#include "huffman.h"

namespace lzh::detail {
namespace {

// Symbols per segment when looking for block boundaries: a boundary falls between segments.
constexpr int kSegment = 4096;
constexpr int kMaxSegments = (kMaxBlockSymbols + kSegment - 1) / kSegment;

// n * log2(n), from a table for the small counts that make up most of an alphabet.
float n_log_n(std::uint32_t n) {
    static const std::vector<float> table = [] {
        std::vector<float> t(4096);
        for (std::size_t i = 1; i < t.size(); ++i)
            t[i] = static_cast<float>(static_cast<double>(i) * std::log2(static_cast<double>(i)));
        return t;
    }();
    if (n < table.size()) return table[n];
    return static_cast<float>(static_cast<double>(n) * std::log2(static_cast<double>(n)));
}

// Bits that symbols with these counts need under an ideal code of their own.
float entropy_bits(const std::uint32_t* f, int n, std::uint32_t total) {
    float bits = n_log_n(total);
    for (int i = 0; i < n; ++i) bits -= n_log_n(f[i]);
    return bits;
}

}  // namespace

// Symbol counts per segment of the block being cut.
struct BlockCoder::Histograms {
    std::uint32_t c[kMaxSegments][kNC];
    std::uint32_t p[kMaxSegments][32];
};

BlockCoder::BlockCoder(const StreamParams& p, BitWriter& bw, std::uint64_t size_hint,
                       int block_symbols)
    : prm_(p), bw_(bw) {
    limit_ = block_symbols > 0 && block_symbols < kBlock ? block_symbols : kBlock;
    if (size_hint > 0 && size_hint < static_cast<std::uint64_t>(limit_))
        limit_ = static_cast<int>(size_hint) + 1;
    sym_.resize(static_cast<std::size_t>(limit_));
    off_.resize(static_cast<std::size_t>(limit_));
    // Until a block has been coded: literals about what text costs, matches a little dearer.
    std::fill(std::begin(cprice_), std::end(cprice_), std::uint8_t{8});
    std::fill(std::begin(pprice_), std::end(pprice_), std::uint8_t{4});
    for (int i = 256; i < kNC; ++i) cprice_[i] = 9;
}

BlockCoder::~BlockCoder() = default;

void BlockCoder::put_length(int len) {
    if (len < 7) {
        bw_.put(static_cast<std::uint32_t>(len), 3);
        return;
    }
    // 111, then one 1 per unit above 7, then a 0.
    bw_.put(7, 3);
    const int ones = len - 7;
    bw_.put(((1u << ones) - 1) << 1, ones + 1);
}

void BlockCoder::write_small_table(const std::uint8_t* len, int nsym, int nbits, int special) {
    int n = nsym;
    while (n > 0 && len[n - 1] == 0) --n;
    bw_.put(static_cast<std::uint32_t>(n), nbits);
    for (int i = 0; i < n;) {
        put_length(len[i++]);
        if (special >= 0 && i == special) {
            int z = 0;
            while (z < 3 && i + z < n && len[i + z] == 0) ++z;
            bw_.put(static_cast<std::uint32_t>(z), 2);
            i += z;
        }
    }
}

void BlockCoder::flush() {
    if (n_ == 0) return;
    split_and_write(n_);
    n_ = 0;
}

// Cuts symbols [0, n) into blocks at segment boundaries where separate tables come out smaller
// than shared ones: the cheapest partition by estimated size (ideal code lengths plus what the
// tables cost), found by dynamic programming over the segments.
void BlockCoder::split_and_write(int n) {
    const int segs = (n + kSegment - 1) / kSegment;
    if (segs < 2) {
        write_block(0, n);
        return;
    }
    if (!hist_) hist_ = std::make_unique<Histograms>();
    Histograms& h = *hist_;
    for (int s = 0; s < segs; ++s) {
        std::fill(std::begin(h.c[s]), std::end(h.c[s]), 0u);
        std::fill(std::begin(h.p[s]), std::end(h.p[s]), 0u);
        const int e = std::min(n, (s + 1) * kSegment);
        for (int i = s * kSegment; i < e; ++i) {
            const unsigned c = sym_[static_cast<std::size_t>(i)];
            ++h.c[s][c];
            if (c >= 256) ++h.p[s][position_slot(off_[static_cast<std::size_t>(i)])];
        }
    }
    float best[kMaxSegments + 1];
    int cut[kMaxSegments + 1];
    best[0] = 0;
    std::uint32_t cf[kNC], pf[32];
    for (int j = 1; j <= segs; ++j) {
        best[j] = INFINITY;
        std::fill(std::begin(cf), std::end(cf), 0u);
        std::fill(std::begin(pf), std::end(pf), 0u);
        // Blocks [i, j) for every i, growing backwards from j.
        for (int i = j - 1; i >= 0; --i) {
            std::uint32_t ctotal = 0, ptotal = 0;
            for (int k = 0; k < kNC; ++k) ctotal += (cf[k] += h.c[i][k]);
            for (int k = 0; k < prm_.np; ++k) ptotal += (pf[k] += h.p[i][k]);
            // Table costs: about 4 bits a used length, a few for each run of unused ones.
            float table = 100.0f;
            int zeros = 0;
            for (int k = 0; k < kNC; ++k) {
                if (cf[k] == 0) {
                    ++zeros;
                    continue;
                }
                table += 4.0f + (zeros == 0    ? 0.0f
                                 : zeros <= 2  ? 3.0f
                                 : zeros <= 18 ? 7.0f
                                               : 13.0f);
                zeros = 0;
            }
            for (int k = 0; k < prm_.np; ++k) table += pf[k] ? 3.5f : 2.0f;
            const float cost =
                best[i] + table + entropy_bits(cf, kNC, ctotal) + entropy_bits(pf, prm_.np, ptotal);
            if (cost < best[j]) {
                best[j] = cost;
                cut[j] = i;
            }
        }
    }
    int bounds[kMaxSegments + 1];
    int count = 0;
    for (int j = segs; j > 0; j = cut[j]) bounds[count++] = j;
    int from = 0;
    for (int k = count - 1; k >= 0; --k) {
        const int to = std::min(n, bounds[k] * kSegment);
        write_block(from, to);
        from = to;
    }
}

namespace {

// Bits of a T or P table written with write_small_table().
int small_table_bits(const std::uint8_t* len, int nsym, int nbits, int special) {
    int n = nsym;
    while (n > 0 && len[n - 1] == 0) --n;
    int bits = nbits;
    for (int i = 0; i < n;) {
        const int l = len[i++];
        bits += l < 7 ? 3 : l - 3;
        if (special >= 0 && i == special) {
            int z = 0;
            while (z < 3 && i + z < n && len[i + z] == 0) ++z;
            bits += 2;
            i += z;
        }
    }
    return bits;
}

}  // namespace

// The C table with the lengths of the T table that codes it: the lengths run-length coded with
// the T alphabet (0: one zero, 1: 3-18 zeros, 2: 20-531 zeros, t >= 3: length t - 2).
struct BlockCoder::CTable {
    struct TSym {
        std::uint8_t sym;
        std::uint16_t extra;
    };
    std::uint8_t clen[kNC] = {};
    std::uint8_t tlen[kNT] = {};
    std::vector<TSym> tsyms;
    int cn = 0, cused = 0, tused = 0, longest = 0;
    std::uint64_t bits = 0;  // the symbols' codes and the C and T tables

    void plan(const std::uint32_t* cfreq, int max_len) {
        cused = build_lengths(cfreq, kNC, max_len, clen);
        cn = kNC;
        while (cn > 0 && clen[cn - 1] == 0) --cn;
        longest = *std::max_element(clen, clen + kNC);
        tsyms.clear();
        std::uint32_t tfreq[kNT] = {};
        bits = 0;
        for (int i = 0; i < kNC; ++i) bits += std::uint64_t{cfreq[i]} * clen[i];
        if (cused <= 1) {
            tused = 0;
            bits = 2 * kTBits + 2 * kCBits;
            return;
        }
        for (int i = 0; i < cn;) {
            if (clen[i] != 0) {
                tsyms.push_back({static_cast<std::uint8_t>(clen[i] + 2), 0});
                ++i;
                continue;
            }
            int run = 0;
            while (i + run < cn && clen[i + run] == 0) ++run;
            i += run;
            add_zero_run(run);
        }
        for (const auto& t : tsyms) ++tfreq[t.sym];
        tused = build_lengths(tfreq, kNT, 16, tlen);
        bits += kCBits + (tused <= 1 ? 2 * kTBits : small_table_bits(tlen, kNT, kTBits, 3));
        for (const auto& t : tsyms)
            bits += (tused > 1 ? tlen[t.sym] : 0) + (t.sym == 1 ? 4 : t.sym == 2 ? 9 : 0);
    }
    void add_zero_run(int run) {
        while (run > 0) {
            if (run <= 2) {
                tsyms.push_back({0, 0});
                run -= 1;
            } else if (run <= 18) {
                tsyms.push_back({1, static_cast<std::uint16_t>(run - 3)});
                run = 0;
            } else if (run == 19) {
                tsyms.push_back({0, 0});
                tsyms.push_back({1, 15});
                run = 0;
            } else {
                const int r = std::min(run, 531);
                tsyms.push_back({2, static_cast<std::uint16_t>(r - 20)});
                run -= r;
            }
        }
    }
};

void BlockCoder::write_block(int b, int e) {
    std::uint32_t cfreq[kNC] = {}, pfreq[32] = {};
    for (int i = b; i < e; ++i) {
        const unsigned c = sym_[static_cast<std::size_t>(i)];
        ++cfreq[c];
        if (c >= 256) ++pfreq[position_slot(off_[static_cast<std::size_t>(i)])];
    }
    if (!ctable_) ctable_ = std::make_unique<CTable>();
    if (!ctrial_) ctrial_ = std::make_unique<CTable>();
    // Shorter longest codes cost the rare symbols bits but make the table cheaper to send,
    // which pays in small blocks: the cheapest in all wins.
    ctable_->plan(cfreq, 16);
    for (int max_len : {12, 10}) {
        if (ctable_->cused <= 1) break;
        if (ctable_->longest <= max_len) continue;  // the same lengths again
        ctrial_->plan(cfreq, max_len);
        if (ctrial_->bits < ctable_->bits) std::swap(ctable_, ctrial_);
    }
    std::uint8_t plen[32] = {};
    const int pused = build_lengths(pfreq, prm_.np, 16, plen);
    // This block's code lengths estimate the next block's costs; symbols unused here are
    // assumed dear.
    for (int i = 0; i < kNC; ++i) cprice_[i] = ctable_->clen[i] ? ctable_->clen[i] : 12;
    for (int i = 0; i < prm_.np; ++i) pprice_[i] = plen[i] ? plen[i] : 7;

    bw_.put(static_cast<std::uint32_t>(e - b), 16);
    std::uint16_t ccode[kNC], pcode[32];
    write_c_table(*ctable_, cfreq, ccode);
    if (pused <= 1) {
        int s = 0;
        for (int i = 0; i < prm_.np; ++i)
            if (pfreq[i]) s = i;
        bw_.put(0, prm_.pbit);
        bw_.put(static_cast<std::uint32_t>(s), prm_.pbit);
        std::fill(std::begin(plen), std::end(plen), std::uint8_t{0});
    } else {
        write_small_table(plen, prm_.np, prm_.pbit, -1);
        make_codes(plen, prm_.np, pcode);
    }
    const std::uint8_t* clen = ctable_->clen;
    for (int i = b; i < e; ++i) {
        const unsigned c = sym_[static_cast<std::size_t>(i)];
        if (clen[c]) bw_.put(ccode[c], clen[c]);
        if (c >= 256) {
            const unsigned off = off_[static_cast<std::size_t>(i)];
            const int p = position_slot(off);
            if (plen[p]) bw_.put(pcode[p], plen[p]);
            if (p > 1) bw_.put(off - (1u << (p - 1)), p - 1);
        }
    }
}

// The T table, then the C table coded with it; fills `ccode` (a table of one symbol is sent in
// its single form, and its symbol then takes no bits: its length is cleared).
void BlockCoder::write_c_table(CTable& ct, const std::uint32_t* cfreq, std::uint16_t* ccode) {
    std::uint16_t tcode[kNT];
    if (ct.tused <= 1) {
        const int s = ct.tused == 1 ? ct.tsyms.front().sym : 0;
        bw_.put(0, kTBits);
        bw_.put(static_cast<std::uint32_t>(s), kTBits);
    } else {
        write_small_table(ct.tlen, kNT, kTBits, 3);
        make_codes(ct.tlen, kNT, tcode);
    }
    if (ct.cused == 1) {
        int s = 0;
        for (int i = 0; i < kNC; ++i)
            if (cfreq[i]) s = i;
        bw_.put(0, kCBits);
        bw_.put(static_cast<std::uint32_t>(s), kCBits);
        ct.clen[s] = 0;
        return;
    }
    bw_.put(static_cast<std::uint32_t>(ct.cn), kCBits);
    for (const auto& t : ct.tsyms) {
        if (ct.tused > 1) bw_.put(tcode[t.sym], ct.tlen[t.sym]);
        if (t.sym == 1)
            bw_.put(t.extra, 4);
        else if (t.sym == 2)
            bw_.put(t.extra, 9);
    }
    make_codes(ct.clen, kNC, ccode);
}

}  // namespace lzh::detail
