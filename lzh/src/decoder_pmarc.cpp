// PMarc's methods. Both keep a move-to-front list of all 256 byte values (each byte written,
// copied ones too, moves to its front), starting in the same order.
//
// -pm2-: PMarc 2's method. An 8 KiB window that starts out full of spaces; every byte comes
// either from the list or from a copy. Commands are coded with a canonical Huffman code sent at
// the start and again whenever a flag bit, read every 4096 bytes, says so. Copies longer than two
// bytes code their distance class with a second code, sent with every new command code and
// whenever the classes grow: five (distances up to 1 KiB) until 1 KiB has been written, then
// six, seven and eight (8 KiB) from 1, 2 and 4 KiB.
//
// -pm1-: early PMarc 1.x. Fixed codes only: the stream opens by choosing one of 32 codes for
// the upper part of a literal's list index, then alternates runs of literals with copies. Which
// distances a copy can name grows with the output, in classes, up to 10816 bytes back; there is
// no window to start with.
#include <algorithm>
#include <array>
#include <bit>
#include <utility>

#include "bitio.h"
#include "legacy_decoders.h"
#include "output_window.h"

namespace lzh::detail {
namespace {

[[noreturn]] void bad(const char* why) { throw Failure(Status::damaged, why); }

// A canonical prefix code that may leave codes unused (an unused code read is damage). Codes
// are read bit by bit, shortest first.
class PrefixCode {
  public:
    static constexpr int kMaxLength = 16;

    // False when the lengths over-subscribe the code or one is longer than kMaxLength.
    bool build(const std::uint8_t* lengths, int n) {
        count_.fill(0);
        single_ = -1;
        for (int s = 0; s < n; ++s) {
            if (lengths[s] > kMaxLength) return false;
            ++count_[lengths[s]];
        }
        count_[0] = 0;
        int left = 1;
        for (int l = 1; l <= kMaxLength; ++l) {
            left = 2 * left - count_[static_cast<std::size_t>(l)];
            if (left < 0) return false;
        }
        std::array<int, kMaxLength + 2> at{};
        for (int l = 1; l <= kMaxLength; ++l)
            at[static_cast<std::size_t>(l + 1)] =
                at[static_cast<std::size_t>(l)] + count_[static_cast<std::size_t>(l)];
        for (int s = 0; s < n; ++s)
            if (lengths[s])
                symbol_[static_cast<std::size_t>(at[lengths[s]]++)] = static_cast<std::uint8_t>(s);
        return true;
    }
    // A code of one symbol that costs no bits.
    void set_single(int s) { single_ = s; }

    int decode(BitReader& br) const {
        if (single_ >= 0) return single_;
        if (br.available() < kMaxLength) br.refill();
        int code = 0, first = 0, index = 0;
        for (int l = 1; l <= kMaxLength; ++l) {
            code |= static_cast<int>(br.peek(1));
            br.skip(1);
            const int count = count_[static_cast<std::size_t>(l)];
            if (code - first < count)
                return symbol_[static_cast<std::size_t>(index + code - first)];
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        bad("a code that its table leaves unused");
    }

  private:
    std::array<int, kMaxLength + 1> count_{};
    std::array<std::uint8_t, 256> symbol_{};
    int single_ = -1;
};

// All 256 byte values, most recently written first: a doubly linked list, so that a copied byte
// moves to the front at once and a literal walks only as far as its index.
class ByteHistory {
  public:
    ByteHistory() {
        const std::array<std::uint8_t, 256> first = pm2_first_order();
        for (std::size_t i = 0; i < 256; ++i) list_[i] = first[i];
        for (std::size_t i = 0; i < 256; ++i) {
            const auto b = static_cast<std::size_t>(list_[i]);
            prev_[b] = i == 0 ? -1 : list_[i - 1];
            next_[b] = i == 255 ? -1 : list_[i + 1];
        }
        head_ = list_[0];
    }
    std::uint8_t take(unsigned index) {
        int b = head_;
        for (unsigned k = 0; k < index; ++k) b = next_[static_cast<std::size_t>(b)];
        to_front(b);
        return static_cast<std::uint8_t>(b);
    }
    void to_front(int b) {
        if (b == head_) return;
        const auto at = static_cast<std::size_t>(b);
        next_[static_cast<std::size_t>(prev_[at])] = next_[at];
        if (next_[at] >= 0) prev_[static_cast<std::size_t>(next_[at])] = prev_[at];
        prev_[at] = -1;
        next_[at] = head_;
        prev_[static_cast<std::size_t>(head_)] = b;
        head_ = b;
    }

  private:
    std::array<int, 256> list_{}, prev_{}, next_{};
    int head_ = 0;
};

class Pm2Decoder {
  public:
    Pm2Decoder(ByteSource& in, std::uint64_t packed_size) : br_(in, packed_size) {}

    std::uint16_t run(std::uint64_t original_size, ByteSink& out) {
        const std::array<std::uint8_t, kWindow> spaces = make_spaces();
        OutputWindow w(kWindow, spaces.data(), original_size, out);
        br_.get(1);  // the flag of the first block: its code always follows
        read_command_code();
        read_distance_code();
        std::uint64_t produced = 0;
        while (produced < original_size) {
            if (w.full()) w.flush();
            if (produced >= next_flag_ || produced >= next_growth_) block_boundary(produced);
            const int c = commands_.decode(br_);
            if (c < kLiteralCodes) {
                const unsigned index = kLiteralBase[c] + br_.get(kLiteralBits[c]);
                w.put(history_.take(index));
                ++produced;
                continue;
            }
            std::size_t len = 0, dist = 1;
            copy_of(c, len, dist);
            // lhasa stops a last copy at the member's end; so do we (the CRC still checks).
            len = static_cast<std::size_t>(std::min<std::uint64_t>(len, original_size - produced));
            w.copy(dist, len);
            const std::uint8_t* copied = w.data() + w.pos() - len;
            for (std::size_t k = 0; k < len; ++k) history_.to_front(copied[k]);
            produced += len;
        }
        w.emit();
        if (br_.overran()) bad("the compressed data ends too early");
        return w.crc();
    }

  private:
    static constexpr std::size_t kWindow = 8192;
    static constexpr int kCommands = 29;
    static constexpr int kLiteralCodes = 8;
    static constexpr unsigned kLiteralBase[kLiteralCodes] = {0, 8, 16, 32, 64, 96, 128, 192};
    static constexpr int kLiteralBits[kLiteralCodes] = {3, 3, 4, 5, 5, 5, 6, 6};
    static constexpr std::uint64_t kFlagEvery = 4096;
    static constexpr int kFirstClasses = 5, kMostClasses = 8;

    static std::array<std::uint8_t, kWindow> make_spaces() {
        std::array<std::uint8_t, kWindow> a;
        a.fill(' ');
        return a;
    }

    // Commands 8 ... 28 are copies: 8 copies two bytes from up to 64 back, 9 ... 22 copy
    // 3 ... 16, 23 ... 27 copy ranges up to 256 with a few more bits, 28 repeats the last
    // byte 256 times.
    void copy_of(int c, std::size_t& len, std::size_t& dist) {
        struct Range {
            unsigned first, bits;
        };
        static constexpr Range kLong[] = {{17, 3}, {25, 3}, {33, 5}, {65, 6}, {129, 7}};
        if (c == 8) {
            len = 2;
            dist = 1 + br_.get(6);
            return;
        }
        if (c == 28) {
            len = 256;
            dist = 1;
            return;
        }
        if (c > 28) bad("a command its code does not define");
        if (c <= 22) {
            len = static_cast<std::size_t>(c - 6);
        } else {
            const Range& r = kLong[c - 23];
            len = r.first + br_.get(static_cast<int>(r.bits));
        }
        const int cls = distances_.decode(br_);
        if (cls >= classes_) bad("a distance class beyond those in use");
        dist = cls == 0 ? 1 + br_.get(6) : (std::size_t{1} << (cls + 5)) + 1 + br_.get(cls + 5);
    }

    // Every 4096 bytes a flag bit says whether a new command code follows; the distance code
    // is sent again with a new command code and whenever its classes grow (at 1, 2 and 4 KiB).
    void block_boundary(std::uint64_t produced) {
        bool new_code = false;
        if (produced >= next_flag_) {
            if (br_.get(1)) {
                read_command_code();
                new_code = true;
            }
            next_flag_ += kFlagEvery;
        }
        bool grew = false;
        while (produced >= next_growth_ && classes_ < kMostClasses) {
            ++classes_;
            next_growth_ *= 2;
            grew = true;
        }
        if (classes_ == kMostClasses) next_growth_ = UINT64_MAX;
        if (new_code || grew) read_distance_code();
    }

    // How many lengths follow (5 bits), the shortest length (3 bits), the width of each length
    // (3 bits); each length is sent as length - shortest + 1, 0 for an unused command.
    void read_command_code() {
        const int n = static_cast<int>(br_.get(5));
        const unsigned shortest = br_.get(3);
        const int width = static_cast<int>(br_.get(3));
        if (shortest == 0) bad("a command code with a shortest length of 0");
        std::array<std::uint8_t, 32> len{};
        for (int s = 0; s < n; ++s) {
            const unsigned v = br_.get(width);
            const unsigned l = v ? shortest + v - 1 : 0;
            if (l > PrefixCode::kMaxLength) bad("a command code is longer than 16 bits");
            len[static_cast<std::size_t>(s)] = static_cast<std::uint8_t>(l);
        }
        if (!commands_.build(len.data(), n)) bad("the command code is not a prefix code");
    }

    // One 3-bit length per distance class in use; a single class with a length costs no bits.
    void read_distance_code() {
        std::array<std::uint8_t, kMostClasses> len{};
        int used = 0, last = 0;
        for (int s = 0; s < classes_; ++s) {
            len[static_cast<std::size_t>(s)] = static_cast<std::uint8_t>(br_.get(3));
            if (len[static_cast<std::size_t>(s)]) {
                ++used;
                last = s;
            }
        }
        if (used == 1) {
            distances_.set_single(last);
        } else if (!distances_.build(len.data(), classes_)) {
            bad("the distance code is not a prefix code");
        }
    }

    BitReader br_;
    ByteHistory history_;
    PrefixCode commands_, distances_;
    int classes_ = kFirstClasses;
    std::uint64_t next_growth_ = 1024;
    std::uint64_t next_flag_ = kFlagEvery;
};

// -pm1-'s 32 codes for the upper four bits of a literal's index (its slice of 16). Each lists
// its codes from the left of the code tree to the right: `count` slices from `first`, each
// with a code of `bits` bits, every code the one after its predecessor. Codes 24 ... 31 cover
// fewer slices, for streams whose literals all lie near the front of the list. Code 17 has no
// code for slices 0 and 1 and two codes for each of slices 4 ... 11; it is kept as streams
// written with it are read.
struct LiteralCodeRun {
    std::uint8_t first, count, bits;
};
constexpr int kLongestSliceCode = 7;
constexpr LiteralCodeRun kLiteralCodes[32][5] = {
    {{0, 16, 4}},
    {{0, 2, 3}, {2, 2, 4}, {12, 4, 5}, {4, 8, 4}},
    {{0, 4, 3}, {4, 4, 4}, {8, 8, 5}},
    {{0, 1, 2}, {1, 1, 3}, {2, 6, 4}, {8, 8, 5}},
    {{0, 1, 2}, {1, 1, 3}, {4, 4, 5}, {2, 2, 3}, {8, 8, 5}},
    {{0, 1, 2}, {1, 1, 3}, {8, 8, 6}, {2, 2, 3}, {4, 4, 4}},
    {{0, 2, 2}, {2, 2, 4}, {4, 12, 5}},
    {{0, 2, 2}, {2, 2, 4}, {8, 8, 6}, {4, 4, 4}},
    {{0, 2, 2}, {2, 2, 3}, {4, 4, 5}, {8, 8, 6}},
    {{0, 1, 1}, {1, 1, 4}, {12, 4, 6}, {2, 2, 4}, {4, 8, 5}},
    {{0, 1, 1}, {1, 1, 4}, {8, 8, 7}, {2, 6, 4}},
    {{0, 1, 1}, {1, 1, 4}, {2, 14, 5}},
    {{0, 1, 1}, {1, 1, 3}, {2, 2, 5}, {12, 4, 6}, {4, 8, 5}},
    {{0, 1, 1}, {1, 1, 3}, {2, 2, 4}, {4, 4, 5}, {8, 8, 6}},
    {{0, 1, 1}, {1, 1, 3}, {4, 4, 6}, {8, 8, 7}, {2, 2, 3}},
    {{0, 1, 1}, {1, 1, 2}, {2, 2, 5}, {4, 12, 6}},
    {{0, 1, 1}, {1, 1, 2}, {2, 2, 4}, {4, 4, 6}, {8, 8, 7}},
    {{4, 8, 5}, {2, 2, 3}, {4, 8, 4}},
    {{0, 1, 2}, {1, 1, 3}, {8, 4, 5}, {2, 2, 3}, {4, 4, 4}},
    {{0, 2, 2}, {2, 2, 3}, {4, 8, 5}},
    {{0, 1, 1}, {1, 1, 4}, {8, 4, 6}, {2, 6, 4}},
    {{0, 1, 1}, {1, 1, 3}, {2, 2, 4}, {4, 8, 5}},
    {{0, 1, 1}, {1, 1, 3}, {4, 8, 6}, {2, 2, 3}},
    {{0, 1, 1}, {1, 1, 2}, {2, 2, 4}, {4, 8, 6}},
    {{0, 8, 3}},
    {{0, 1, 2}, {1, 1, 3}, {4, 4, 5}, {2, 2, 2}},
    {{0, 2, 2}, {2, 2, 3}, {4, 4, 4}},
    {{0, 1, 1}, {1, 1, 3}, {4, 4, 5}, {2, 2, 3}},
    {{0, 1, 1}, {1, 1, 2}, {2, 2, 4}, {4, 4, 5}},
    {{0, 1, 1}, {1, 1, 2}, {2, 2, 3}},
    {{0, 2, 1}},
    {{0, 1, 0}},
};

// Every one of the codes fills its tree, so every bit pattern names a slice.
constexpr bool fills_its_tree(const LiteralCodeRun (&runs)[5]) {
    unsigned used = 0;
    for (const LiteralCodeRun& r : runs) used += r.count * (1u << (kLongestSliceCode - r.bits));
    return used == 1u << kLongestSliceCode;
}
static_assert(std::all_of(std::begin(kLiteralCodes), std::end(kLiteralCodes),
                          [](const auto& runs) { return fills_its_tree(runs); }));

// Where a copy's distance lies: from `first`, in a number of bits that grows with the output
// (so that the class just reaches the start of the member) from `least` up to `most`.
struct DistanceClass {
    std::uint16_t first;
    std::uint8_t least, most;
    bool two_bytes;

    unsigned bits(std::uint64_t produced) const {
        const auto reach = static_cast<int>(std::bit_width(produced - (first - 1u)));
        return static_cast<unsigned>(std::clamp<int>(reach, least, most));
    }
};
constexpr DistanceClass kTwoNear{1, 6, 6, true}, kTwoMid{65, 8, 8, true}, kNear{1, 6, 6, false},
    kMid{65, 8, 9, false}, kFar{577, 8, 11, false}, kFarthest{2625, 8, 13, false};
// The farthest a copy can reach; nothing older is ever needed.
constexpr std::size_t kPm1Window = kFarthest.first - 1u + (1u << kFarthest.most);

// A copy opens with a code for whether it copies two bytes or more and the class of its
// distance. The code grows with the output, in four stages: classes join it as the output
// passes their first distance (64, 576, 2624 bytes). Each stage's code as the 3 bits read next
// would select it.
struct CopyCode {
    std::uint8_t bits;
    const DistanceClass* cls;
};
// clang-format off
constexpr CopyCode kCopyCodes[4][8] = {
    // 0 two bytes near, 1 longer near
    {{1, &kTwoNear}, {1, &kTwoNear}, {1, &kTwoNear}, {1, &kTwoNear},
     {1, &kNear},    {1, &kNear},    {1, &kNear},    {1, &kNear}},
    // 00 two bytes near, 01 two bytes middle, 10 longer middle, 11 longer near
    {{2, &kTwoNear}, {2, &kTwoNear}, {2, &kTwoMid},  {2, &kTwoMid},
     {2, &kMid},     {2, &kMid},     {2, &kNear},    {2, &kNear}},
    // 000 two bytes near, 001 two bytes middle, 01 longer far, 10 longer middle, 11 longer near
    {{3, &kTwoNear}, {3, &kTwoMid},  {2, &kFar},     {2, &kFar},
     {2, &kMid},     {2, &kMid},     {2, &kNear},    {2, &kNear}},
    // as before, but 110 longer farthest, 111 longer near
    {{3, &kTwoNear}, {3, &kTwoMid},  {2, &kFar},     {2, &kFar},
     {2, &kMid},     {2, &kMid},     {3, &kFarthest}, {3, &kNear}},
};
// clang-format on
int copy_stage(std::uint64_t produced) {
    return produced < 64 ? 0 : produced < 576 ? 1 : produced < 2624 ? 2 : 3;
}

class Pm1Decoder {
  public:
    Pm1Decoder(ByteSource& in, std::uint64_t packed_size) : br_(in, packed_size) {}

    std::uint16_t run(std::uint64_t original_size, ByteSink& out) {
        OutputWindow w(kPm1Window, original_size, out);
        build_literal_table(br_.get(5));
        std::uint64_t produced = 0;
        bool copy_due = false;  // a run shorter than the longest is always followed by a copy
        while (produced < original_size) {
            if (w.full()) w.flush();
            if (br_.available() < 32) br_.refill();
            if (!copy_due && br_.get(1)) {
                const unsigned n = run_length();
                const auto take =
                    static_cast<unsigned>(std::min<std::uint64_t>(n, original_size - produced));
                for (unsigned k = 0; k < take; ++k) {
                    if (br_.available() < kLiteralPeek) br_.refill();
                    const std::uint16_t e = literals_[br_.peek(kLiteralPeek)];
                    br_.skip(e >> 8);
                    w.put(history_.take(e & 0xFF));
                }
                produced += take;
                copy_due = n < kLongestRun;
                continue;
            }
            copy_due = false;
            const CopyCode& c = kCopyCodes[copy_stage(produced)][br_.peek(3)];
            br_.skip(c.bits);
            std::size_t len = c.cls->two_bytes ? 2 : copy_length();
            const std::uint64_t dist =
                c.cls->first + br_.get(static_cast<int>(c.cls->bits(produced)));
            if (dist > produced) bad("a copy reaches before the start of the member");
            // lhasa stops a last copy at the member's end; so do we (the CRC still checks).
            len = static_cast<std::size_t>(std::min<std::uint64_t>(len, original_size - produced));
            w.copy(static_cast<std::size_t>(dist), len);
            const std::uint8_t* copied = w.data() + w.pos() - len;
            for (std::size_t k = 0; k < len; ++k) history_.to_front(copied[k]);
            produced += len;
        }
        w.emit();
        if (br_.overran()) bad("the compressed data ends too early");
        return w.crc();
    }

  private:
    static constexpr unsigned kLongestRun = 216;
    static constexpr int kLiteralPeek = kLongestSliceCode + 4;

    // One entry per value of the next 11 bits: the bits a literal takes, and its index.
    void build_literal_table(unsigned table) {
        for (const Pm1LiteralCode& c : pm1_literal_codes(table)) {
            const int spare = kLongestSliceCode - c.bits;
            const unsigned at = static_cast<unsigned>(c.code) << (spare + 4);
            for (unsigned low = 0; low < 16; ++low)
                for (unsigned rest = 0; rest < 1u << spare; ++rest)
                    literals_[at | low << spare | rest] =
                        static_cast<std::uint16_t>((c.bits + 4) << 8 | c.slice << 4 | low);
        }
    }

    // 1 ... 3 in 2 bits; 4 ... 10 in 3 more; 11 ... 24 in 4 more, whose last two values add
    // 6 bits (25 ... 88) or 7 bits (89 ... 216).
    unsigned run_length() {
        unsigned v = br_.get(2);
        if (v < 3) return 1 + v;
        if ((v = br_.get(3)) < 7) return 4 + v;
        if ((v = br_.get(4)) < 14) return 11 + v;
        return v == 14 ? 25 + br_.get(6) : 89 + br_.get(7);
    }
    // 3 ... 5 in 2 bits; 6 ... 10 in 3 more, whose last three values add 2 bits (11 ... 14),
    // 3 bits (15 ... 22) or 6 bits (23 ... 84, the last two adding 5 bits for 85 ... 116 or 7
    // bits for 117 ... 244).
    std::size_t copy_length() {
        unsigned v = br_.get(2);
        if (v < 3) return 3 + v;
        if ((v = br_.get(3)) < 5) return 6 + v;
        if (v == 5) return 11 + br_.get(2);
        if (v == 6) return 15 + br_.get(3);
        if ((v = br_.get(6)) < 62) return 23 + v;
        return v == 62 ? 85 + br_.get(5) : 117 + br_.get(7);
    }

    BitReader br_;
    ByteHistory history_;
    std::array<std::uint16_t, 1u << kLiteralPeek> literals_{};
};

}  // namespace

// Printable ASCII, control characters, half-width katakana, then the rest.
std::array<std::uint8_t, 256> pm2_first_order() {
    std::array<std::uint8_t, 256> order{};
    std::size_t at = 0;
    for (auto [from, to] : {std::pair{0x20, 0x80}, std::pair{0x00, 0x20}, std::pair{0xA0, 0xE0},
                            std::pair{0x80, 0xA0}, std::pair{0xE0, 0x100}})
        for (int b = from; b < to; ++b) order[at++] = static_cast<std::uint8_t>(b);
    return order;
}

std::uint16_t decode_pm2(ByteSource& in, std::uint64_t packed_size, std::uint64_t original_size,
                         ByteSink& out) {
    if (original_size == 0) return 0;
    Pm2Decoder d(in, packed_size);
    return d.run(original_size, out);
}

std::vector<Pm1LiteralCode> pm1_literal_codes(unsigned table) {
    std::vector<Pm1LiteralCode> codes;
    unsigned at = 0;  // the next code, as its first place among the longest codes
    for (const LiteralCodeRun& r : kLiteralCodes[table & 31]) {
        const int spare = kLongestSliceCode - r.bits;
        for (unsigned s = r.first; s < r.first + r.count; ++s, at += 1u << spare)
            codes.push_back(
                {static_cast<std::uint8_t>(s), static_cast<std::uint8_t>(at >> spare), r.bits});
    }
    return codes;
}

std::uint16_t decode_pm1(ByteSource& in, std::uint64_t packed_size, std::uint64_t original_size,
                         ByteSink& out) {
    if (original_size == 0) return 0;
    Pm1Decoder d(in, packed_size);
    return d.run(original_size, out);
}

}  // namespace lzh::detail
