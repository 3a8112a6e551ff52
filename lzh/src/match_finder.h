// The match finder of the -lh4- ... -lh7- encoder, over a buffer that holds the window behind
// the current position and the input ahead of it. Positions are buffer indices; sliding the
// buffer subtracts a fixed amount from all of them.
//
// Matches of four bytes and more come from hash chains over four-byte prefixes: a chain then
// holds only places that share four bytes, so a walk wastes few steps on places that match
// three. Three-byte matches, which pay only when near, come from a table of the last place
// each three-byte prefix was seen.
#pragma once

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "codec_params.h"

namespace lzh::detail {

struct MatchParams {
    int good_length;  // once a match this long is in hand, search a quarter of the chain
    int max_lazy;     // do not look for a better match when the current one is this long
    int nice_length;  // stop searching once a match this long is found
    int max_chain;    // places tried per search
};

// A match: `len` bytes from `dist` back (1 = the previous byte). len 0: none.
struct Match {
    unsigned len = 0;
    unsigned dist = 0;
};

class MatchFinder {
  public:
    static constexpr int kNil = -1;
    static constexpr std::size_t kLookahead = kMaxMatch + kMinMatch + 1;
    // Most improving matches a search reports.
    static constexpr int kMaxFound = 32;

    MatchFinder(int dicbit, const MatchParams& mp, std::uint64_t size_hint)
        : wsize_(std::size_t{1} << dicbit), mp_(mp) {
        slide_ = std::max<std::size_t>(wsize_ * 4, std::size_t{1} << 18);
        full_size_ = wsize_ + slide_ + kLookahead + 16;
        int bits4 = dicbit >= 15 ? 16 : 15;
        int bits3 = dicbit >= 15 ? 14 : 12;
        std::size_t size = full_size_;
        // Small inputs get small tables: clearing full ones would cost more than coding a file
        // of a few kilobytes.
        if (size_hint > 0 && size_hint + kLookahead + 16 < full_size_) {
            size = static_cast<std::size_t>(size_hint) + kLookahead + 16;
            const int bits = 64 - __builtin_clzll(size_hint);
            bits4 = std::clamp(bits, 9, bits4);
            bits3 = std::clamp(bits - 2, 8, bits3);
        }
        shift4_ = 32 - bits4;
        shift3_ = 32 - bits3;
        buf_.resize(size);
        head4_.assign(std::size_t{1} << bits4, kNil);
        head3_.assign(std::size_t{1} << bits3, kNil);
        // A chain slot per position of the window, or per position of a smaller input.
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

    std::uint8_t* data() { return buf_.data(); }
    std::size_t room() const { return buf_.size() - 16 - end_; }

    std::size_t pos_ = 0, end_ = 0;  // current position, end of valid data
    std::size_t inserted_ = 0;       // positions below this are in the tables

    // Enters every position up to `p` (exclusive) into the tables.
    void insert_up_to(std::size_t p) {
        for (; inserted_ < p; ++inserted_) insert(inserted_);
    }

    // Enters positions up to `p`, then `p` itself, and lists the improving matches at `p` of at
    // least `floor` bytes (lengths strictly increasing, each with the nearest distance found
    // for it). `cap` limits the length. Returns how many.
    int search(std::size_t p, unsigned cap, unsigned floor, Match* found) {
        const std::size_t avail = end_ - p;
        if (avail < static_cast<std::size_t>(kMinMatch)) {
            insert_up_to(p + 1);
            return 0;
        }
        const std::uint8_t* cur = buf_.data() + p;
        // Places are searched in order, each once.
        assert(inserted_ <= p);
        insert_up_to(p);
        int cand4 = kNil;
        if (avail >= 4) {
            const unsigned h = hash4(cur);
            cand4 = head4_[h];
            prev_[p & (prev_size_ - 1)] = cand4;
            head4_[h] = static_cast<int>(p);
        }
        const unsigned h3 = hash3(cur);
        const int cand3 = head3_[h3];
        head3_[h3] = static_cast<int>(p);
        inserted_ = p + 1;

        const unsigned max_len =
            static_cast<unsigned>(std::min<std::size_t>({kMaxMatch, avail, cap}));
        if (max_len < kMinMatch) return 0;
        // Offsets up to the window size less one (older chain slots have been reused).
        const std::ptrdiff_t limit =
            static_cast<std::ptrdiff_t>(p) - static_cast<std::ptrdiff_t>(wsize_) + 1;
        int n = 0;
        // Only matches at least as long as `floor` are of interest (an equally long one nearer
        // by may be cheaper).
        unsigned best = std::max<unsigned>(floor, kMinMatch) - 1;
        // A three-byte match only from the last place these three bytes were seen. Should that
        // place match four bytes or more, it heads the four-byte chain, which finds it.
        if (best < 3 && cand3 != kNil && cand3 >= limit) {
            const std::uint8_t* m = buf_.data() + cand3;
            if (m[0] == cur[0] && m[1] == cur[1] && m[2] == cur[2] &&
                (max_len == 3 || m[3] != cur[3])) {
                best = 3;
                found[n++] = {3, static_cast<unsigned>(p - static_cast<std::size_t>(cand3))};
            }
        }
        unsigned chain = static_cast<unsigned>(mp_.max_chain);
        if (floor >= static_cast<unsigned>(mp_.good_length)) chain >>= 2;
        const unsigned nice = std::min<unsigned>(static_cast<unsigned>(mp_.nice_length), max_len);
        std::uint32_t first4;
        std::memcpy(&first4, cur, 4);
        int cand = cand4;
        while (cand >= limit && cand != kNil) {
            const std::uint8_t* m = buf_.data() + cand;
            std::uint32_t w;
            std::memcpy(&w, m, 4);
            if (w == first4 && m[best] == cur[best]) {
                const unsigned len = common(cur, m, max_len);
                if (len > best) {
                    best = len;
                    found[n] = {len, static_cast<unsigned>(p - static_cast<std::size_t>(cand))};
                    if (++n == kMaxFound || len >= nice) break;
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
    // how far positions moved.
    std::size_t slide_if_needed() {
        if (pos_ < wsize_ + slide_ || inserted_ < slide_) return 0;
        const std::size_t shift = slide_;
        std::memmove(buf_.data(), buf_.data() + shift, end_ - shift);
        pos_ -= shift;
        end_ -= shift;
        inserted_ -= shift;
        const int s = static_cast<int>(shift);
        for (auto& h : head4_) h = h >= s ? h - s : kNil;
        for (auto& h : head3_) h = h >= s ? h - s : kNil;
        for (std::size_t i = 0; i < prev_size_; ++i) prev_[i] = prev_[i] >= s ? prev_[i] - s : kNil;
        return shift;
    }

  private:
    unsigned hash4(const std::uint8_t* p) const {
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        return (v * 2654435761u) >> shift4_;
    }
    unsigned hash3(const std::uint8_t* p) const {
        const std::uint32_t v = static_cast<std::uint32_t>(p[0]) |
                                static_cast<std::uint32_t>(p[1]) << 8 |
                                static_cast<std::uint32_t>(p[2]) << 16;
        return (v * 2654435761u) >> shift3_;
    }
    // Enters position p, which has not been searched.
    void insert(std::size_t p) {
        const std::size_t avail = end_ - p;
        if (avail < 3) return;
        const std::uint8_t* cur = buf_.data() + p;
        if (avail >= 4) {
            const unsigned h = hash4(cur);
            prev_[p & (prev_size_ - 1)] = head4_[h];
            head4_[h] = static_cast<int>(p);
        }
        head3_[hash3(cur)] = static_cast<int>(p);
    }

    std::vector<std::uint8_t> buf_;
    std::size_t wsize_, slide_, full_size_, prev_size_;
    MatchParams mp_;
    int shift4_, shift3_;
    std::vector<int> head4_, head3_;
    std::unique_ptr<int[]> prev_;
};

}  // namespace lzh::detail
