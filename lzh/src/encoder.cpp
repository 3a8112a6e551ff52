// The -lh4- ... -lh7- encoder. Matching follows the proven zlib recipe: hash chains over
// three-byte prefixes, lazy evaluation (a match is taken only if the next position does not
// start a longer one) and chain limits, so speed is in the class of gzip -6. Symbols are
// collected per block and coded with Huffman tables built from that block's frequencies.
#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstring>

#include "bitio.h"
#include "codec_params.h"
#include "crc16.h"
#include "huffman.h"
#include "pieces.h"

namespace lzh {
namespace {

using detail::BitWriter;
using detail::kMaxMatch;
using detail::kMinMatch;
using detail::kNC;
using detail::kNT;

struct MatchParams {
    int good_length;  // once a match this long is found, search a quarter of the chain
    int max_lazy;     // do not look for a better match when the current one is this long
    int nice_length;  // stop searching once a match this long is found
    int max_chain;
};

MatchParams match_params(Method m, int chain_override) {
    // -lh6-/-lh7- choose matches by cost (run_optimal), which looks at every position, so a
    // moderate chain suffices there too.
    MatchParams mp = m == Method::lh5 || m == Method::lh4 ? MatchParams{8, 16, 128, 128}
                                                          : MatchParams{32, 256, 256, 128};
    if (chain_override > 0) mp.max_chain = chain_override;
    return mp;
}

// Collects one block's symbols and writes it with its own tables.
class BlockCoder {
  public:
    // A small member never needs a full-size symbol buffer; `size_hint` (0: unknown) keeps the
    // set-up cost of many small files low.
    BlockCoder(const detail::StreamParams& p, BitWriter& bw, std::uint64_t size_hint,
               int block_symbols)
        : prm_(p), bw_(bw) {
        limit_ = block_symbols > 0 && block_symbols < kBlock ? block_symbols : kBlock;
        if (size_hint > 0 && size_hint < static_cast<std::uint64_t>(limit_))
            limit_ = static_cast<int>(size_hint) + 1;
        sym_.resize(static_cast<std::size_t>(limit_));
        off_.resize(static_cast<std::size_t>(limit_));
        reset();
        init_prices();
    }
    // The largest block the format allows: fewer blocks, less table overhead.
    static constexpr int kBlock = 65535;
    bool full() const { return n_ >= limit_; }
    bool empty() const { return n_ == 0; }
    void literal(std::uint8_t c) {
        sym_[n_] = c;
        ++n_;
    }
    // `dist` is 1 for the previous byte.
    void match(unsigned dist, unsigned len) {
        unsigned c = len + 253;
        unsigned off = dist - 1;
        sym_[n_] = static_cast<std::uint16_t>(c);
        off_[n_] = static_cast<std::uint16_t>(off);
        ++n_;
    }
    void flush();

  private:
    double estimate(int b, int e, std::uint32_t* cf, std::uint32_t* pf) const;
    void write_split(int b, int e, int depth);
    void write_block(int b, int e);

  public:
    unsigned literal_price(std::uint8_t c) const { return cprice_[c]; }
    unsigned match_price(unsigned len, unsigned dist) const {
        unsigned off = dist - 1;
        int p = p_symbol(off);
        return cprice_[len + 253] + pprice_[p] + static_cast<unsigned>(p > 1 ? p - 1 : 0);
    }
    // Estimated bits saved by a match over coding its bytes as literals (may be negative).
    int savings(const std::uint8_t* bytes, unsigned len, unsigned dist) const {
        int lits = 0;
        for (unsigned i = 0; i < len; ++i) lits += cprice_[bytes[i]];
        return lits - static_cast<int>(match_price(len, dist));
    }
    // Estimated bits for a match against the same bytes as literals.
    bool match_pays(const std::uint8_t* bytes, unsigned len, unsigned dist) const {
        unsigned off = dist - 1;
        int p = p_symbol(off);
        unsigned match = cprice_[len + 253] + pprice_[p] + static_cast<unsigned>(p > 1 ? p - 1 : 0);
        unsigned lits = 0;
        for (unsigned i = 0; i < len; ++i) lits += cprice_[bytes[i]];
        return match < lits;
    }

  private:
    static int p_symbol(unsigned off) {
        if (off <= 1) return static_cast<int>(off);
        return 32 - __builtin_clz(off);  // bit length: off in [2^(p-1), 2^p)
    }
    void reset() { n_ = 0; }
    void put_length(int len) {
        if (len < 7) {
            bw_.put(static_cast<std::uint32_t>(len), 3);
        } else {
            // 111, then one 1 per unit above 7, then a 0.
            bw_.put(7, 3);
            int ones = len - 7;
            bw_.put(((1u << ones) - 1) << 1, ones + 1);
        }
    }
    void write_small_table(const std::uint8_t* len, int nsym, int nbits, int special);

    detail::StreamParams prm_;
    BitWriter& bw_;
    std::vector<std::uint16_t> sym_, off_;
    int limit_;
    int n_ = 0;
    std::uint32_t cfreq_[kNC];
    std::uint32_t pfreq_[32];
    // Until the first block is coded: 8 bits a literal, lengths a little dearer.
    std::uint8_t cprice_[kNC] = {};
    std::uint8_t pprice_[32] = {};
    void init_prices() {
        for (int i = 0; i < kNC; ++i) cprice_[i] = i < 256 ? 8 : 9;
        for (int i = 0; i < 32; ++i) pprice_[i] = 4;
    }
};

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

// Estimated size in bits of symbols [b, e) coded as one block: the entropy of its literal/length
// and offset symbols plus a rough cost of its tables. Only used to compare block boundaries.
double BlockCoder::estimate(int b, int e, std::uint32_t* cf, std::uint32_t* pf) const {
    std::fill(cf, cf + kNC, 0u);
    std::fill(pf, pf + 32, 0u);
    for (int i = b; i < e; ++i) {
        unsigned c = sym_[static_cast<std::size_t>(i)];
        ++cf[c];
        if (c >= 256) ++pf[p_symbol(off_[static_cast<std::size_t>(i)])];
    }
    auto entropy = [](const std::uint32_t* f, int n, int& used) {
        double total = 0, bits = 0;
        used = 0;
        for (int i = 0; i < n; ++i) total += f[i];
        if (total == 0) return 0.0;
        for (int i = 0; i < n; ++i)
            if (f[i]) {
                ++used;
                bits += f[i] * std::log2(total / f[i]);
            }
        return bits;
    };
    int cu = 0, pu = 0;
    double bits = entropy(cf, kNC, cu) + entropy(pf, prm_.np, pu);
    return bits + 100.0 + 4.5 * cu + 3.0 * pu;
}

// Cuts [b, e) where two blocks with their own tables come out smaller than one, recursively.
void BlockCoder::write_split(int b, int e, int depth) {
    constexpr int kMinSplit = 4096;
    if (depth < 4 && e - b >= 2 * kMinSplit) {
        std::uint32_t cf[kNC], pf[32];
        const int mid = b + (e - b) / 2;
        const double whole = estimate(b, e, cf, pf);
        const double halves = estimate(b, mid, cf, pf) + estimate(mid, e, cf, pf);
        if (halves < whole) {
            write_split(b, mid, depth + 1);
            write_split(mid, e, depth + 1);
            return;
        }
    }
    write_block(b, e);
}

void BlockCoder::flush() {
    if (n_ == 0) return;
    write_split(0, n_, 0);
    reset();
}

void BlockCoder::write_block(int b, int e) {
    std::fill(std::begin(cfreq_), std::end(cfreq_), 0u);
    std::fill(std::begin(pfreq_), std::end(pfreq_), 0u);
    for (int i = b; i < e; ++i) {
        unsigned c = sym_[static_cast<std::size_t>(i)];
        ++cfreq_[c];
        if (c >= 256) ++pfreq_[p_symbol(off_[static_cast<std::size_t>(i)])];
    }
    std::uint8_t clen[kNC], plen[32] = {}, tlen[kNT] = {};
    std::uint16_t ccode[kNC], pcode[32], tcode[kNT];
    int cused = detail::build_lengths(cfreq_, kNC, 16, clen);
    int pused = detail::build_lengths(pfreq_, prm_.np, 16, plen);
    // This block's code lengths estimate the next block's costs; symbols unused here are
    // assumed dear.
    for (int i = 0; i < kNC; ++i) cprice_[i] = clen[i] ? clen[i] : 12;
    for (int i = 0; i < prm_.np; ++i) pprice_[i] = plen[i] ? plen[i] : 7;

    // Run-length code the C lengths with the T alphabet (0: one zero, 1: 3-18 zeros,
    // 2: 20-531 zeros, t >= 3: length t - 2); gather T frequencies on the way.
    struct TSym {
        std::uint8_t sym;
        std::uint16_t extra;
    };
    std::vector<TSym> tsyms;
    std::uint32_t tfreq[kNT] = {};
    int cn = kNC;
    while (cn > 0 && clen[cn - 1] == 0) --cn;
    if (cused > 1) {
        for (int i = 0; i < cn;) {
            if (clen[i] != 0) {
                tsyms.push_back({static_cast<std::uint8_t>(clen[i] + 2), 0});
                ++i;
                continue;
            }
            int run = 0;
            while (i + run < cn && clen[i + run] == 0) ++run;
            i += run;
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
                    int r = std::min(run, 531);
                    tsyms.push_back({2, static_cast<std::uint16_t>(r - 20)});
                    run -= r;
                }
            }
        }
        for (const auto& t : tsyms) ++tfreq[t.sym];
    }

    bw_.put(static_cast<std::uint32_t>(e - b), 16);
    // T table
    int tused = cused > 1 ? detail::build_lengths(tfreq, kNT, 16, tlen) : 0;
    if (tused <= 1) {
        int s = 0;
        for (int i = 0; i < kNT; ++i)
            if (tfreq[i]) s = i;
        bw_.put(0, detail::kTBits);
        bw_.put(static_cast<std::uint32_t>(s), detail::kTBits);
    } else {
        write_small_table(tlen, kNT, detail::kTBits, 3);
        detail::make_codes(tlen, kNT, tcode);
    }
    // C table
    if (cused == 1) {
        int s = 0;
        for (int i = 0; i < kNC; ++i)
            if (cfreq_[i]) s = i;
        bw_.put(0, detail::kCBits);
        bw_.put(static_cast<std::uint32_t>(s), detail::kCBits);
        clen[s] = 0;  // the single form costs no bits per symbol
    } else {
        bw_.put(static_cast<std::uint32_t>(cn), detail::kCBits);
        for (const auto& t : tsyms) {
            if (tused > 1) bw_.put(tcode[t.sym], tlen[t.sym]);
            if (t.sym == 1)
                bw_.put(t.extra, 4);
            else if (t.sym == 2)
                bw_.put(t.extra, 9);
        }
        detail::make_codes(clen, kNC, ccode);
    }
    // P table
    if (pused <= 1) {
        int s = 0;
        for (int i = 0; i < prm_.np; ++i)
            if (pfreq_[i]) s = i;
        bw_.put(0, prm_.pbit);
        bw_.put(static_cast<std::uint32_t>(s), prm_.pbit);
        std::fill(std::begin(plen), std::end(plen), std::uint8_t{0});
    } else {
        write_small_table(plen, prm_.np, prm_.pbit, -1);
        detail::make_codes(plen, prm_.np, pcode);
    }

    for (int i = b; i < e; ++i) {
        unsigned c = sym_[static_cast<std::size_t>(i)];
        if (clen[c]) bw_.put(ccode[c], clen[c]);
        if (c >= 256) {
            unsigned off = off_[static_cast<std::size_t>(i)];
            int p = p_symbol(off);
            if (plen[p]) bw_.put(pcode[p], plen[p]);
            if (p > 1) bw_.put(off - (1u << (p - 1)), p - 1);
        }
    }
}

// The match finder over a buffer that holds the window behind the current position and the
// input ahead of it. Positions are buffer indices; sliding subtracts a fixed amount from all.
class Matcher {
  public:
    Matcher(int dicbit, const MatchParams& mp, std::uint64_t size_hint)
        : wsize_(std::size_t{1} << dicbit), mp_(mp), hash_bits_(dicbit >= 15 ? 16 : 15) {
        slide_ = std::max<std::size_t>(wsize_ * 4, std::size_t{1} << 18);
        // Small inputs get small tables: clearing a full hash table would cost more than coding
        // a file of a few kilobytes.
        full_size_ = wsize_ + slide_ + kLookahead + 16;
        std::size_t size = full_size_;
        if (size_hint > 0 && size_hint + kLookahead + 16 < full_size_) {
            size = static_cast<std::size_t>(size_hint) + kLookahead + 16;
            int bits = 64 - __builtin_clzll(size_hint);
            hash_bits_ = std::clamp(bits, 9, hash_bits_);
        }
        buf_.resize(size);
        head_.assign(std::size_t{1} << hash_bits_, kNil);
        // The chain table needs a slot per position of the window, or per position of a
        // smaller input.
        prev_size_ = std::min(wsize_, std::bit_ceil(size));
        prev_.reset(new int[prev_size_]);
        std::fill(prev_.get(), prev_.get() + prev_size_, kNil);
    }
    // Makes room for input beyond the size hint.
    void grow() {
        if (buf_.size() < full_size_) buf_.resize(full_size_);
        if (prev_size_ < wsize_) {
            // Positions so far are below the old size, so their slots keep their index.
            std::unique_ptr<int[]> bigger(new int[wsize_]);
            std::fill(bigger.get(), bigger.get() + wsize_, kNil);
            std::copy(prev_.get(), prev_.get() + prev_size_, bigger.get());
            prev_ = std::move(bigger);
            prev_size_ = wsize_;
        }
    }

    static constexpr int kNil = -1;
    static constexpr std::size_t kLookahead = kMaxMatch + kMinMatch + 1;

    std::vector<std::uint8_t> buf_;
    std::size_t wsize_, slide_;
    std::size_t pos_ = 0, end_ = 0;  // current position, end of valid data
    MatchParams mp_;

    unsigned hash(std::size_t p) const {
        std::uint32_t v = static_cast<std::uint32_t>(buf_[p]) << 16 |
                          static_cast<std::uint32_t>(buf_[p + 1]) << 8 | buf_[p + 2];
        return (v * 2654435761u) >> (32 - hash_bits_);
    }
    // Links position p into its chain and returns the previous head.
    int insert(std::size_t p) {
        unsigned h = hash(p);
        int old = head_[h];
        prev_[p & (prev_size_ - 1)] = old;
        head_[h] = static_cast<int>(p);
        return old;
    }

    // Longest match for pos_ starting at chain head `cand`, better than prev_len.
    unsigned longest(int cand, unsigned prev_len, unsigned& match_pos) const {
        unsigned chain = static_cast<unsigned>(mp_.max_chain);
        if (prev_len >= static_cast<unsigned>(mp_.good_length)) chain >>= 2;
        const std::size_t avail = end_ - pos_;
        const unsigned max_len = static_cast<unsigned>(std::min<std::size_t>(kMaxMatch, avail));
        const unsigned nice = std::min<unsigned>(static_cast<unsigned>(mp_.nice_length), max_len);
        unsigned best = prev_len;
        if (best >= max_len) return best;  // nothing longer fits in the remaining input
        const std::uint8_t* cur = buf_.data() + pos_;
        // Offsets up to wsize-1 only: prev_ slots are reused after wsize positions.
        const std::ptrdiff_t limit =
            static_cast<std::ptrdiff_t>(pos_) - static_cast<std::ptrdiff_t>(wsize_) + 1;
        while (cand >= 0 && cand >= limit) {
            const std::uint8_t* m = buf_.data() + cand;
            if (m[best] == cur[best] && m[0] == cur[0] && m[1] == cur[1]) {
                unsigned len = common(cur, m, max_len);
                if (len > best) {
                    best = len;
                    match_pos = static_cast<unsigned>(cand);
                    if (len >= nice) break;
                }
            }
            if (--chain == 0) break;
            cand = prev_[static_cast<std::size_t>(cand) & (prev_size_ - 1)];
        }
        return best;
    }

    // Every improving match for pos_: lengths strictly increase along the list, each with the
    // nearest offset found for it. `cap` limits the length (end of the current segment).
    int candidates(int cand, unsigned cap, unsigned* lens, unsigned* dists, int max_out) const {
        unsigned chain = static_cast<unsigned>(mp_.max_chain);
        const unsigned max_len =
            static_cast<unsigned>(std::min<std::size_t>({kMaxMatch, end_ - pos_, cap}));
        if (max_len < kMinMatch) return 0;
        const unsigned nice = std::min<unsigned>(static_cast<unsigned>(mp_.nice_length), max_len);
        unsigned best = kMinMatch - 1;
        int n = 0;
        const std::uint8_t* cur = buf_.data() + pos_;
        const std::ptrdiff_t limit =
            static_cast<std::ptrdiff_t>(pos_) - static_cast<std::ptrdiff_t>(wsize_) + 1;
        while (cand >= 0 && cand >= limit) {
            const std::uint8_t* m = buf_.data() + cand;
            if (m[best] == cur[best] && m[0] == cur[0] && m[1] == cur[1]) {
                unsigned len = common(cur, m, max_len);
                if (len > best) {
                    best = len;
                    lens[n] = len;
                    dists[n] = static_cast<unsigned>(pos_ - static_cast<std::size_t>(cand));
                    if (++n == max_out || len >= nice) break;
                }
            }
            if (--chain == 0) break;
            cand = prev_[static_cast<std::size_t>(cand) & (prev_size_ - 1)];
        }
        return n;
    }

    static unsigned common(const std::uint8_t* a, const std::uint8_t* b, unsigned max_len) {
        unsigned n = 0;
        while (n + 8 <= max_len) {
            std::uint64_t x, y;
            std::memcpy(&x, a + n, 8);
            std::memcpy(&y, b + n, 8);
            if (x != y) return n + static_cast<unsigned>(__builtin_ctzll(x ^ y) >> 3);
            n += 8;
        }
        while (n < max_len && a[n] == b[n]) ++n;
        return n;
    }

    // Moves the last window to the front when the buffer has no room for more input; returns
    // how far positions moved (callers holding positions must subtract it).
    std::size_t slide_if_needed() {
        if (pos_ < wsize_ + slide_) return 0;
        const std::size_t shift = slide_;
        std::memmove(buf_.data(), buf_.data() + shift, end_ - shift);
        pos_ -= shift;
        end_ -= shift;
        const int s = static_cast<int>(shift);
        for (auto& h : head_) h = h >= s ? h - s : kNil;
        for (std::size_t i = 0; i < prev_size_; ++i) prev_[i] = prev_[i] >= s ? prev_[i] - s : kNil;
        return shift;
    }

    std::size_t room() const { return buf_.size() - 16 - end_; }

  private:
    int hash_bits_;
    std::size_t full_size_;
    std::size_t prev_size_;
    std::vector<int> head_;
    std::unique_ptr<int[]> prev_;
};

class Encoder {
  public:
    // The first `prime` bytes of `in` are history only: they may be referenced but are not coded
    // (used to code one piece of a large member while another thread codes the piece before).
    Encoder(Method m, ByteSource& in, ByteSink& out, std::uint64_t give_up,
            const EncodeOptions& opt, std::size_t prime = 0)
        : in_(in), bw_(out), give_up_(give_up), prime_(prime), optimal_(opt.parse) {
        detail::stream_params(m, prm_);
        mp_ = match_params(m, opt.max_chain);
        matcher_ = std::make_unique<Matcher>(prm_.dicbit, mp_, opt.size_hint);
        block_ = std::make_unique<BlockCoder>(prm_, bw_, opt.size_hint, opt.block_symbols);
    }

    EncodeResult run();
    // Chooses literals and matches by estimated bit cost over whole segments instead of
    // greedily: slower, smaller. Used for -lh6- and -lh7-.
    EncodeResult run_optimal();
    EncodeResult run_best() {
        bool optimal = optimal_ > 0 || (optimal_ < 0 && prm_.dicbit >= 15);
        return optimal ? run_optimal() : run();
    }
    BitWriter& bits() { return bw_; }
    void set_partial() { partial_ = true; }

  private:
    std::size_t fill() {
        Matcher& mt = *matcher_;
        const std::size_t shift = mt.slide_if_needed();
        while (!eof_ && mt.end_ - mt.pos_ < Matcher::kLookahead + 4096) {
            if (mt.room() == 0) mt.grow();
            std::size_t room = mt.room();
            if (room == 0) break;
            std::size_t got = in_.read(mt.buf_.data() + mt.end_, room);
            if (got == 0) {
                eof_ = true;
                break;
            }
            crc_ = detail::crc16(crc_, mt.buf_.data() + mt.end_, got);
            mt.end_ += got;
            total_in_ += got;
        }
        return shift;
    }
    bool emit_check() {
        if (block_->full()) {
            block_->flush();
            if (bw_.size() >= give_up_) return false;
        }
        return true;
    }

    ByteSource& in_;
    BitWriter bw_;
    std::uint64_t give_up_;
    detail::StreamParams prm_{};
    MatchParams mp_{};
    std::unique_ptr<Matcher> matcher_;
    std::unique_ptr<BlockCoder> block_;
    std::size_t prime_;
    int optimal_;
    bool partial_ = false;
    bool eof_ = false;
    std::uint16_t crc_ = 0;
    std::uint64_t total_in_ = 0;
};

EncodeResult Encoder::run() {
    Matcher& mt = *matcher_;
    unsigned match_len = kMinMatch - 1, prev_len;
    unsigned match_pos = 0, prev_pos;
    bool pending = false;  // a literal at pos-1 waits for the lazy decision
    EncodeResult res;

    if (prime_ > 0) {
        while (!eof_ && mt.end_ < prime_ + Matcher::kLookahead) {
            if (mt.room() == 0) mt.grow();
            std::size_t got = in_.read(mt.buf_.data() + mt.end_,
                                       std::min(mt.room(), prime_ + Matcher::kLookahead - mt.end_));
            if (got == 0) eof_ = true;
            mt.end_ += got;
        }
        if (mt.end_ < prime_)
            throw Failure(Status::io, "internal error: history shorter than promised");
        for (std::size_t p = 0; p < prime_ && p + kMinMatch <= mt.end_; ++p) mt.insert(p);
        mt.pos_ = prime_;
    }

    for (;;) {
        if (mt.end_ - mt.pos_ < Matcher::kLookahead) {
            if (!eof_)
                match_pos -= static_cast<unsigned>(fill());  // the last match found moves too
            if (mt.end_ == mt.pos_) break;
        }
        const std::size_t avail = mt.end_ - mt.pos_;
        int head = Matcher::kNil;
        if (avail >= static_cast<std::size_t>(kMinMatch)) head = mt.insert(mt.pos_);
        prev_len = match_len;
        prev_pos = match_pos;
        match_len = kMinMatch - 1;
        if (head != Matcher::kNil && prev_len < static_cast<unsigned>(mp_.max_lazy)) {
            // Look for a match at least as long as the pending one: an equally long one closer
            // by can be cheaper.
            const unsigned floor = prev_len >= kMinMatch ? prev_len - 1 : kMinMatch - 1;
            match_len = mt.longest(head, floor, match_pos);
            if (match_len <= floor) match_len = kMinMatch - 1;  // nothing found
            // A short match far back can cost more bits than its bytes as literals.
            if (match_len >= kMinMatch && match_len <= 5 &&
                !block_->match_pays(mt.buf_.data() + mt.pos_, match_len,
                                    static_cast<unsigned>(mt.pos_ - match_pos)))
                match_len = kMinMatch - 1;
        }
        // Keep the pending match unless the one here saves more bits.
        if (prev_len >= kMinMatch &&
            (match_len < kMinMatch ||
             block_->savings(mt.buf_.data() + mt.pos_ - 1, prev_len,
                             static_cast<unsigned>(mt.pos_ - 1 - prev_pos)) >=
                 block_->savings(mt.buf_.data() + mt.pos_, match_len,
                                 static_cast<unsigned>(mt.pos_ - match_pos)))) {
            // Take the match that started at the previous position.
            const std::size_t start = mt.pos_ - 1;
            block_->match(static_cast<unsigned>(start - prev_pos), prev_len);
            const std::size_t last_insert = mt.end_ - kMinMatch;
            // pos_ is already inserted; insert the rest of the match.
            for (std::size_t p = mt.pos_ + 1; p < start + prev_len; ++p)
                if (p <= last_insert) mt.insert(p);
            mt.pos_ = start + prev_len;
            pending = false;
            match_len = kMinMatch - 1;
            if (!emit_check()) return res;
        } else if (pending) {
            block_->literal(mt.buf_[mt.pos_ - 1]);
            ++mt.pos_;
            if (!emit_check()) return res;
        } else {
            pending = true;
            ++mt.pos_;
        }
    }
    if (pending) block_->literal(mt.buf_[mt.pos_ - 1]);
    block_->flush();
    if (partial_) return res;
    bw_.finish();
    res.original_size = total_in_;
    res.packed_size = bw_.size();
    res.crc = crc_;
    res.shrunk = res.packed_size < give_up_;
    return res;
}

EncodeResult Encoder::run_optimal() {
    Matcher& mt = *matcher_;
    constexpr int kSegment = 4096;
    constexpr int kMaxCand = 32;
    constexpr std::uint32_t kInf = 0xFFFFFFFFu;
    const unsigned kShortLengths = 16;
    // Per position of a segment: cheapest cost to reach it and the step that did.
    std::vector<std::uint32_t> cost(kSegment + 1);
    std::vector<std::uint16_t> step_len(kSegment + 1);
    std::vector<std::uint32_t> step_dist(kSegment + 1);
    std::vector<std::uint16_t> path;
    unsigned lens[kMaxCand], dists[kMaxCand];
    const unsigned nice = static_cast<unsigned>(mp_.nice_length);
    EncodeResult res;

    if (prime_ > 0) {
        while (!eof_ && mt.end_ < prime_ + Matcher::kLookahead) {
            if (mt.room() == 0) mt.grow();
            std::size_t got = in_.read(mt.buf_.data() + mt.end_,
                                       std::min(mt.room(), prime_ + Matcher::kLookahead - mt.end_));
            if (got == 0) eof_ = true;
            mt.end_ += got;
        }
        for (std::size_t p = 0; p < prime_ && p + kMinMatch <= mt.end_; ++p) mt.insert(p);
        mt.pos_ = prime_;
    }

    for (;;) {
        if (!eof_) fill();
        if (mt.end_ == mt.pos_) break;
        const std::size_t base = mt.pos_;
        const int seg = static_cast<int>(std::min<std::size_t>(kSegment, mt.end_ - base));
        std::fill(cost.begin(), cost.begin() + seg + 1, kInf);
        cost[0] = 0;
        int skip_until = 0;  // positions inside a long match are not expanded
        for (int i = 0; i < seg; ++i) {
            mt.pos_ = base + static_cast<std::size_t>(i);
            int head = mt.end_ - mt.pos_ >= static_cast<std::size_t>(kMinMatch) ? mt.insert(mt.pos_)
                                                                                : Matcher::kNil;
            if (i < skip_until || cost[i] == kInf) continue;
            const std::uint32_t here = cost[i];
            const std::uint32_t lit = here + block_->literal_price(mt.buf_[mt.pos_]);
            if (lit < cost[i + 1]) {
                cost[i + 1] = lit;
                step_len[i + 1] = 1;
            }
            if (head == Matcher::kNil) continue;
            int n = mt.candidates(head, static_cast<unsigned>(seg - i), lens, dists, kMaxCand);
            unsigned from = kMinMatch;
            for (int k = 0; k < n; ++k) {
                // Short lengths each, then only the longest: long matches rarely gain from
                // being cut, and trying every length would dominate the time.
                const unsigned short_end = std::min(lens[k], kShortLengths);
                for (unsigned len = from; len <= lens[k];
                     len = len < short_end ? len + 1 : std::max(len + 1, lens[k])) {
                    std::uint32_t c = here + block_->match_price(len, dists[k]);
                    if (c < cost[i + static_cast<int>(len)]) {
                        cost[i + static_cast<int>(len)] = c;
                        step_len[i + static_cast<int>(len)] = static_cast<std::uint16_t>(len);
                        step_dist[i + static_cast<int>(len)] = dists[k];
                    }
                }
                from = lens[k] + 1;
            }
            if (n > 0 && lens[n - 1] >= nice) skip_until = i + static_cast<int>(lens[n - 1]);
        }
        // Walk back from the segment's end and emit the chosen steps in order.
        path.clear();
        for (int at = seg; at > 0; at -= step_len[at])
            path.push_back(static_cast<std::uint16_t>(at));
        for (auto it = path.rbegin(); it != path.rend(); ++it) {
            const int at = *it;
            const int len = step_len[at];
            if (len == 1)
                block_->literal(mt.buf_[base + static_cast<std::size_t>(at - 1)]);
            else
                block_->match(step_dist[at], static_cast<unsigned>(len));
            if (!emit_check()) return res;
        }
        mt.pos_ = base + static_cast<std::size_t>(seg);
    }
    block_->flush();
    if (partial_) return res;
    bw_.finish();
    res.original_size = total_in_;
    res.packed_size = bw_.size();
    res.crc = crc_;
    res.shrunk = res.packed_size < give_up_;
    return res;
}

}  // namespace

namespace detail {

CodedPiece encode_piece(Method m, const std::uint8_t* history, std::size_t history_len,
                        const std::uint8_t* data, std::size_t len, const EncodeOptions& opt) {
    // History and data are contiguous in the caller's buffer: history ends where data starts.
    if (history_len) assert(history + history_len == data);
    CodedPiece piece;
    MemorySource src(history_len ? history : data, history_len + len);
    VectorSink sink;
    Encoder e(m, src, sink, UINT64_MAX, opt, history_len);
    e.set_partial();
    e.run_best();
    e.bits().finish_partial(piece.tail, piece.tail_bits);
    piece.bytes = std::move(sink.bytes);
    return piece;
}

void append_piece(BitWriter& bw, const CodedPiece& piece) {
    bw.append(piece.bytes.data(), piece.bytes.size(), piece.tail, piece.tail_bits);
}

}  // namespace detail

EncodeResult encode(Method m, ByteSource& in, ByteSink& out, std::uint64_t give_up_at,
                    const EncodeOptions& opt) {
    detail::StreamParams prm{};
    if (!detail::stream_params(m, prm))
        throw Failure(Status::unsupported, "this method cannot be encoded");
    Encoder e(m, in, out, give_up_at, opt);
    return e.run_best();
}

}  // namespace lzh
