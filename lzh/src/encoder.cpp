// The -lh4- ... -lh7- encoder: the parser, which decides between literals and matches, over the
// match finder (match_finder.h) and the block coder (block_coder.h).
//
// The default parser is lazy, as zlib's: a match is taken unless one starting a byte later (or,
// for short matches, two bytes later) is better. "Better" is judged in bits, by the prices of
// the last block's codes: a match saves the price of its bytes as literals less its own price,
// so a short match far back, or a long one whose last byte starts something better, loses.
// The cost-based parser (EncodeOptions::parse = 1) instead finds the cheapest path through
// whole segments; it is slower, and kept for comparison.
#include <algorithm>
#include <cassert>
#include <cstring>

#include "bitio.h"
#include "block_coder.h"
#include "codec_params.h"
#include "crc16.h"
#include "match_finder.h"
#include "pieces.h"

namespace lzh {
namespace {

using detail::BitWriter;
using detail::BlockCoder;
using detail::kMaxMatch;
using detail::kMinMatch;
using detail::Match;
using detail::MatchFinder;
using detail::MatchParams;

MatchParams match_params(Method m, int chain_override) {
    // -lh5-: a little deeper than zlib's level 6, whose speed the default method has to beat
    // by half again: its window is a quarter of zlib's, and a longer look within it wins back
    // some of what the window loses. -lh6-/-lh7-: a wider window to search, and time to search
    // it.
    MatchParams mp = m == Method::lh5 || m == Method::lh4 ? MatchParams{16, 64, 256, 192}
                                                          : MatchParams{32, 128, 192, 256};
    if (chain_override > 0) mp.max_chain = chain_override;
    return mp;
}

// A match and the bits it saves against coding its bytes as literals.
struct Choice {
    Match m;
    int saving = 0;
};

class Encoder {
  public:
    // The first `prime` bytes of `in` are history only: they may be referenced but are not coded
    // (used to code one piece of a large member while another thread codes the piece before).
    Encoder(Method m, ByteSource& in, ByteSink& out, std::uint64_t give_up,
            const EncodeOptions& opt, std::size_t prime = 0)
        : in_(in), bw_(out), give_up_(give_up), prime_(prime), parse_(opt.parse) {
        detail::stream_params(m, prm_);
        mp_ = match_params(m, opt.max_chain);
        mf_ = std::make_unique<MatchFinder>(prm_.dicbit, mp_, opt.size_hint);
        block_ = std::make_unique<BlockCoder>(prm_, bw_, opt.size_hint, opt.block_symbols);
    }

    EncodeResult run() {
        read_history();
        const bool ok = parse_ > 0 ? run_optimal() : run_lazy();
        EncodeResult res;
        if (!ok) return res;
        block_->flush();
        if (partial_) return res;
        bw_.finish();
        res.original_size = total_in_ - prime_;
        res.packed_size = bw_.size();
        res.crc = crc_;
        res.shrunk = res.packed_size < give_up_;
        return res;
    }
    BitWriter& bits() { return bw_; }
    void set_partial() { partial_ = true; }

  private:
    // Reads input until `want` bytes lie ahead of the position (or the input ends).
    void fill(std::size_t want) {
        MatchFinder& mf = *mf_;
        if (eof_ || mf.end_ - mf.pos_ >= want) return;
        mf.slide_if_needed();
        while (!eof_ && mf.end_ - mf.pos_ < want + 4096) {
            if (mf.room() == 0) mf.grow();
            const std::size_t room = mf.room();
            if (room == 0) break;
            const std::size_t got = in_.read(mf.data() + mf.end_, room);
            if (got == 0) {
                eof_ = true;
                break;
            }
            crc_ = detail::crc16(crc_, mf.data() + mf.end_, got);
            mf.end_ += got;
            total_in_ += got;
        }
    }
    void read_history();
    bool run_lazy();
    bool run_optimal();
    Choice best_of(std::size_t p, const Match* found, int n) const;
    Choice search(std::size_t p, unsigned floor);
    bool emit_literal(std::size_t p) {
        block_->literal(mf_->data()[p]);
        return check_block();
    }
    bool emit_match(const Match& m) {
        block_->match(m.dist, m.len);
        return check_block();
    }
    bool check_block() {
        if (!block_->full()) return true;
        block_->flush();
        return bw_.size() < give_up_;
    }

    ByteSource& in_;
    BitWriter bw_;
    std::uint64_t give_up_;
    detail::StreamParams prm_{};
    MatchParams mp_{};
    std::unique_ptr<MatchFinder> mf_;
    std::unique_ptr<BlockCoder> block_;
    std::size_t prime_;
    int parse_;
    bool partial_ = false;
    bool eof_ = false;
    std::uint16_t crc_ = 0;
    std::uint64_t total_in_ = 0;           // bytes read, history included (the CRC leaves it out)
    Match found_[MatchFinder::kMaxFound];  // the matches of the last search
};

// History bytes (a piece's predecessor) go into the tables but are not coded.
void Encoder::read_history() {
    if (prime_ == 0) return;
    MatchFinder& mf = *mf_;
    while (!eof_ && mf.end_ < prime_ + MatchFinder::kLookahead) {
        if (mf.room() == 0) mf.grow();
        const std::size_t got = in_.read(
            mf.data() + mf.end_, std::min(mf.room(), prime_ + MatchFinder::kLookahead - mf.end_));
        if (got == 0) eof_ = true;
        if (mf.end_ + got > prime_)
            crc_ = detail::crc16(crc_, mf.data() + std::max(prime_, mf.end_),
                                 mf.end_ + got - std::max(prime_, mf.end_));
        mf.end_ += got;
        total_in_ += got;
    }
    if (mf.end_ < prime_)
        throw Failure(Status::io, "internal error: history shorter than promised");
    mf.insert_up_to(prime_);
    mf.pos_ = prime_;
}

// The match among those found at p that saves the most bits against coding its bytes as
// literals, with what it saves; none (len 0) when no match pays.
Choice Encoder::best_of(std::size_t p, const Match* found, int n) const {
    const std::uint8_t* b = mf_->data() + p;
    int lits = 0, best = -1, best_saving = 0;
    unsigned counted = 0;
    for (int k = 0; k < n; ++k) {
        for (; counted < found[k].len; ++counted)
            lits += static_cast<int>(block_->literal_price(b[counted]));
        const int s = lits - static_cast<int>(block_->match_price(found[k].len, found[k].dist));
        if (s > best_saving) {
            best_saving = s;
            best = k;
        }
    }
    if (best < 0) return {};
    return {found[best], best_saving};
}

Choice Encoder::search(std::size_t p, unsigned floor) {
    return best_of(p, found_, mf_->search(p, kMaxMatch, floor, found_));
}

bool Encoder::run_lazy() {
    MatchFinder& mf = *mf_;
    const unsigned max_lazy = static_cast<unsigned>(mp_.max_lazy);
    // The second look ahead only for short matches: past that, the first look decides.
    constexpr unsigned kLazy2Below = 4;
    fill(MatchFinder::kLookahead + 2);
    if (mf.pos_ == mf.end_) return true;
    Choice cur = search(mf.pos_, 0);
    while (mf.pos_ < mf.end_) {
        fill(MatchFinder::kLookahead + 2);
        const std::size_t p = mf.pos_;
        if (cur.m.len == 0) {
            if (!emit_literal(p)) return false;
            mf.pos_ = p + 1;
            if (mf.pos_ < mf.end_) cur = search(p + 1, 0);
            continue;
        }
        if (cur.m.len < max_lazy && p + 1 < mf.end_) {
            Choice next = search(p + 1, cur.m.len);
            if (next.saving > cur.saving) {
                if (!emit_literal(p)) return false;
                mf.pos_ = p + 1;
                cur = next;
                continue;
            }
            if (cur.m.len < kLazy2Below && p + 2 < mf.end_) {
                next = search(p + 2, cur.m.len);
                if (next.saving > cur.saving) {
                    if (!emit_literal(p) || !emit_literal(p + 1)) return false;
                    mf.pos_ = p + 2;
                    cur = next;
                    continue;
                }
            }
        }
        if (!emit_match(cur.m)) return false;
        mf.pos_ = p + cur.m.len;
        cur = {};
        if (mf.pos_ < mf.end_) {
            fill(MatchFinder::kLookahead + 2);
            cur = search(mf.pos_, 0);
        }
    }
    return true;
}

bool Encoder::run_optimal() {
    MatchFinder& mf = *mf_;
    constexpr int kSegment = 4096;
    constexpr std::uint32_t kInf = 0xFFFFFFFFu;
    const unsigned kShortLengths = 16;
    // Per position of a segment: cheapest cost to reach it and the step that did.
    std::vector<std::uint32_t> cost(kSegment + 1);
    std::vector<std::uint16_t> step_len(kSegment + 1);
    std::vector<std::uint32_t> step_dist(kSegment + 1);
    std::vector<std::uint16_t> path;

    const unsigned nice = static_cast<unsigned>(mp_.nice_length);
    for (;;) {
        fill(kSegment + MatchFinder::kLookahead);
        if (mf.end_ == mf.pos_) break;
        const std::size_t base = mf.pos_;
        const int seg = static_cast<int>(std::min<std::size_t>(kSegment, mf.end_ - base));
        std::fill(cost.begin(), cost.begin() + seg + 1, kInf);
        cost[0] = 0;
        int skip_until = 0;  // positions inside a long match are not expanded
        for (int i = 0; i < seg; ++i) {
            const std::size_t p = base + static_cast<std::size_t>(i);
            if (i < skip_until || cost[i] == kInf) continue;
            const std::uint32_t here = cost[i];
            const std::uint32_t lit = here + block_->literal_price(mf.data()[p]);
            if (lit < cost[i + 1]) {
                cost[i + 1] = lit;
                step_len[i + 1] = 1;
            }
            const int n = mf.search(p, static_cast<unsigned>(seg - i), 0, found_);
            unsigned from = kMinMatch;
            for (int k = 0; k < n; ++k) {
                // Short lengths each, then only the longest: long matches rarely gain from
                // being cut, and trying every length would dominate the time.
                const unsigned short_end = std::min(found_[k].len, kShortLengths);
                for (unsigned len = from; len <= found_[k].len;
                     len = len < short_end ? len + 1 : std::max(len + 1, found_[k].len)) {
                    const std::uint32_t c = here + block_->match_price(len, found_[k].dist);
                    const int to = i + static_cast<int>(len);
                    if (c < cost[to]) {
                        cost[to] = c;
                        step_len[to] = static_cast<std::uint16_t>(len);
                        step_dist[to] = found_[k].dist;
                    }
                }
                from = found_[k].len + 1;
            }
            if (n > 0 && found_[n - 1].len >= nice)
                skip_until = i + static_cast<int>(found_[n - 1].len);
        }
        // Walk back from the segment's end and emit the chosen steps in order.
        path.clear();
        for (int at = seg; at > 0; at -= step_len[at])
            path.push_back(static_cast<std::uint16_t>(at));
        for (auto it = path.rbegin(); it != path.rend(); ++it) {
            const int at = *it;
            const int len = step_len[at];
            const bool ok = len == 1 ? emit_literal(base + static_cast<std::size_t>(at - 1))
                                     : emit_match({static_cast<unsigned>(len), step_dist[at]});
            if (!ok) return false;
        }
        mf.pos_ = base + static_cast<std::size_t>(seg);
    }
    return true;
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
    e.run();
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
    return e.run();
}

}  // namespace lzh
