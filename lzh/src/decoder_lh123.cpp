// -lh1-, -lh2- and -lh3-: the LHarc and early LHA methods. All three send bytes and match
// lengths as one alphabet (symbols from 256 up are lengths, symbol - 253 bytes long) and a
// position as a code for its upper bits followed by its lower six bits as they are; the
// distance back is the position plus one. They differ in how the codes are made: -lh1- and
// -lh2- adapt them after every symbol, -lh3- sends static tables per block.
#include <cassert>
#include <vector>

#include "adaptive_huffman.h"
#include "bitio.h"
#include "huffman.h"
#include "legacy_decoders.h"
#include "output_window.h"

namespace lzh::detail {
namespace {

[[noreturn]] void bad(const char* why) { throw Failure(Status::damaged, why); }

constexpr int kLowBits = 6;        // lower position bits, sent as they are
constexpr int kFirstLength = 253;  // symbol - this = match length
constexpr int kMaxLength = 256;    // -lh2-/-lh3-; -lh1- cannot express more than 60
constexpr int kEscape = 285;       // -lh2-/-lh3-: this symbol plus 8 bits covers 285 ... 540
constexpr int kEscapeBits = 8;
constexpr int kLh1Symbols = 256 + 60 - 2;  // bytes and lengths 3 ... 60

// The window starts out full of spaces; early encoders matched against them.
constexpr std::uint8_t kPresetByte = ' ';

void position_code(DecodeTable& t, const std::vector<std::uint8_t>& lengths) {
    const bool complete = t.build(lengths.data(), static_cast<int>(lengths.size()), 9);
    assert(complete);
    (void)complete;
}
void lh1_position_code(DecodeTable& t) { position_code(t, fixed_position_lengths(Method::lh1)); }
void lh3_position_code(DecodeTable& t) { position_code(t, fixed_position_lengths(Method::lh3)); }

class Lh1Codes {
  public:
    static constexpr int kDicBit = 12;
    Lh1Codes() : symbols_(kLh1Symbols) { lh1_position_code(positions_); }
    int symbol(BitReader& br) { return symbols_.decode(br); }
    unsigned position(BitReader& br, std::uint64_t) {
        const auto upper = static_cast<unsigned>(decode_symbol(br, positions_));
        return upper << kLowBits | br.get(kLowBits);
    }

  private:
    AdaptiveSymbolCode symbols_;
    DecodeTable positions_;
};

class Lh2Codes {
  public:
    static constexpr int kDicBit = 13;
    Lh2Codes() : symbols_(kEscape + 1), positions_(kDicBit, kLowBits) {}
    int symbol(BitReader& br) {
        const int c = symbols_.decode(br);
        return c == kEscape ? c + static_cast<int>(br.get(kEscapeBits)) : c;
    }
    unsigned position(BitReader& br, std::uint64_t produced) {
        positions_.grow(produced);
        const auto upper = static_cast<unsigned>(positions_.decode(br));
        return upper << kLowBits | br.get(kLowBits);
    }

  private:
    AdaptiveSymbolCode symbols_;
    GrowingPositionCode positions_;
};

// -lh3-: each block sends its symbol count, then the code lengths of bytes/lengths (a flag bit,
// then four bits of length - 1) and, after a flag bit, those of positions (four bits each);
// without them a fixed position code applies. Three lengths of 1 in a row, impossible in a
// real code, announce a table of one symbol that costs no bits.
class Lh3Codes {
  public:
    static constexpr int kDicBit = 13;
    int symbol(BitReader& br) {
        if (left_ == 0) read_block(br);
        --left_;
        const int c = decode_symbol(br, symbols_);
        return c == kEscape ? c + static_cast<int>(br.get(kEscapeBits)) : c;
    }
    unsigned position(BitReader& br, std::uint64_t) {
        const auto upper = static_cast<unsigned>(decode_symbol(br, positions_));
        return upper << kLowBits | br.get(kLowBits);
    }

  private:
    static constexpr int kSymbols = kEscape + 1;
    static constexpr int kPositions = 1 << (kDicBit - kLowBits);

    void read_block(BitReader& br) {
        left_ = br.get(16);
        if (left_ == 0) bad("a block of zero symbols");
        read_lengths(br, symbols_, kSymbols, true, 9);
        if (br.get(1)) {
            read_lengths(br, positions_, kPositions, false, kDicBit - kLowBits);
        } else {
            lh3_position_code(positions_);
        }
    }
    static void read_lengths(BitReader& br, DecodeTable& t, int n, bool flagged, int single_bits) {
        std::vector<std::uint8_t> len(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            if (flagged) {
                len[static_cast<std::size_t>(i)] =
                    br.get(1) ? static_cast<std::uint8_t>(br.get(4) + 1) : 0;
            } else {
                len[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(br.get(4));
            }
            if (i == 2 && len[0] == 1 && len[1] == 1 && len[2] == 1) {
                const int s = static_cast<int>(br.get(single_bits));
                if (s >= n) bad("a single-symbol table names a symbol outside its alphabet");
                t.set_single(s);
                return;
            }
        }
        if (!t.build(len.data(), n, 10)) bad("a Huffman table is not a complete prefix code");
    }

    unsigned left_ = 0;
    DecodeTable symbols_, positions_;
};

template <typename Codes>
std::uint16_t run(Codes& codes, ByteSource& in, std::uint64_t packed_size,
                  std::uint64_t original_size, ByteSink& out) {
    if (original_size == 0) return 0;
    BitReader br(in, packed_size);
    const std::size_t window = std::size_t{1} << Codes::kDicBit;
    const std::vector<std::uint8_t> preset(window, kPresetByte);
    OutputWindow w(window, preset.data(), original_size, out);
    std::uint64_t produced = 0;
    while (produced < original_size) {
        if (w.full()) w.flush();
        const int c = codes.symbol(br);
        if (c < 256) {
            w.put(static_cast<std::uint8_t>(c));
            ++produced;
            continue;
        }
        const unsigned len = static_cast<unsigned>(c - kFirstLength);
        if (len > kMaxLength) bad("a match is longer than the method allows");
        const std::size_t dist = codes.position(br, produced) + 1;
        if (len > original_size - produced) bad("a match runs past the original size");
        w.copy(dist, len);
        produced += len;
    }
    w.emit();
    if (br.overran()) bad("the compressed data ends too early");
    return w.crc();
}

}  // namespace

// Both fixed codes give the shortest codes to the nearest positions: lengths grow by one at
// each listed value (a value listed twice skips a length).
std::vector<std::uint8_t> fixed_position_lengths(Method m) {
    const bool lh1 = m == Method::lh1;
    const int values = lh1 ? 64 : 128;
    const std::vector<int> steps =
        lh1 ? std::vector<int>{1, 4, 12, 24, 48} : std::vector<int>{1, 1, 3, 6, 13, 31, 78};
    std::vector<std::uint8_t> len(static_cast<std::size_t>(values));
    int l = lh1 ? 3 : 2;
    auto step = steps.begin();
    for (int v = 0; v < values; ++v) {
        for (; step != steps.end() && *step == v; ++step) ++l;
        len[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(l);
    }
    return len;
}

std::uint16_t decode_lh1(ByteSource& in, std::uint64_t packed_size, std::uint64_t original_size,
                         ByteSink& out) {
    Lh1Codes codes;
    return run(codes, in, packed_size, original_size, out);
}

std::uint16_t decode_lh2(ByteSource& in, std::uint64_t packed_size, std::uint64_t original_size,
                         ByteSink& out) {
    Lh2Codes codes;
    return run(codes, in, packed_size, original_size, out);
}

std::uint16_t decode_lh3(ByteSource& in, std::uint64_t packed_size, std::uint64_t original_size,
                         ByteSink& out) {
    Lh3Codes codes;
    return run(codes, in, packed_size, original_size, out);
}

}  // namespace lzh::detail
