// The -lh4- ... -lh7- decoder: block headers with three Huffman tables, then literals and
// matches into a sliding window. Every field is checked against the limits the format allows,
// so a damaged stream ends in Failure(damaged), never in a read or write out of bounds.
// decode() also hands the older methods to their own decoders.
#include <algorithm>
#include <cstring>

#include "bitio.h"
#include "codec_params.h"
#include "crc16.h"
#include "huffman.h"
#include "legacy_decoders.h"
#include "output_window.h"

namespace lzh {
namespace {

using detail::BitReader;
using detail::decode_symbol;
using detail::DecodeTable;

[[noreturn]] void bad(const char* why) { throw Failure(Status::damaged, why); }

// T and P tables: 3-bit lengths, 7 and above in unary. `special` is the index after which a
// 2-bit run of zero lengths follows (T table only), -1 for none.
void read_length_table(BitReader& br, DecodeTable& t, int nsym, int nbits, int special, int root) {
    int n = static_cast<int>(br.get(nbits));
    if (n == 0) {
        int s = static_cast<int>(br.get(nbits));
        if (s >= nsym) bad("a single-symbol table names a symbol outside its alphabet");
        t.set_single(s);
        return;
    }
    if (n > nsym) bad("a code-length table is longer than its alphabet");
    std::uint8_t len[32] = {};
    int i = 0;
    while (i < n) {
        if (br.available() < 32) br.refill();
        int c = static_cast<int>(br.peek(3));
        if (c == 7) {
            br.skip(3);
            // Each further 1 bit adds one to the length; the longest legal length is 16.
            while (br.peek(1) == 1) {
                br.skip(1);
                if (++c > detail::kMaxCodeLength) bad("a code length exceeds 16 bits");
            }
            br.skip(1);
        } else {
            br.skip(3);
        }
        len[i++] = static_cast<std::uint8_t>(c);
        if (i == special) {
            int z = static_cast<int>(br.get(2));
            while (z-- > 0 && i < nsym) len[i++] = 0;
        }
    }
    if (!t.build(len, nsym, root)) bad("a Huffman table is not a complete prefix code");
}

void read_c_table(BitReader& br, const DecodeTable& tt, DecodeTable& ct) {
    int n = static_cast<int>(br.get(detail::kCBits));
    if (n == 0) {
        int s = static_cast<int>(br.get(detail::kCBits));
        if (s >= detail::kNC) bad("a single-symbol table names a symbol outside its alphabet");
        ct.set_single(s);
        return;
    }
    if (n > detail::kNC) bad("the literal/length table is longer than its alphabet");
    std::uint8_t len[detail::kNC] = {};
    int i = 0;
    while (i < n) {
        int c = decode_symbol(br, tt);
        if (c <= 2) {
            int run = c == 0   ? 1
                      : c == 1 ? static_cast<int>(br.get(4)) + 3
                               : static_cast<int>(br.get(9)) + 20;
            if (i + run > n) bad("a run of unused codes passes the end of its table");
            i += run;  // len[] is already zero
        } else {
            len[i++] = static_cast<std::uint8_t>(c - 2);
        }
    }
    if (!ct.build(len, detail::kNC, 12))
        bad("the literal/length table is not a complete prefix code");
}

// One symbol coded with a table that has codes; the caller has made 16 bits available.
inline int lookup(BitReader& br, const DecodeTable& t) {
    const std::uint32_t* e = t.entries();
    std::uint32_t v = e[br.peek(t.root())];
    if (v & detail::kSubTable) {
        br.skip(t.root());
        v = e[(v >> 6) + br.peek(static_cast<int>(v & 31u))];
    }
    br.skip(static_cast<int>(v & 31u));
    return static_cast<int>(v >> 6);
}

// The `count` symbols of one block. `General` takes tables of the single-symbol form (and
// empty ones, which fail when used) at the cost of a check per symbol.
template <bool General>
void decode_symbols(BitReader& br, const DecodeTable& ct, const DecodeTable& pt,
                    detail::OutputWindow& w, unsigned count, std::uint64_t& produced,
                    std::uint64_t original_size, std::uint64_t max_offset) {
    std::uint8_t* buf = w.data();
    std::size_t& pos = w.pos();
    for (unsigned k = 0; k < count; ++k) {
        if (produced >= original_size) bad("a block runs past the original size");
        if (w.full()) {
            w.flush();
            buf = w.data();
        }
        // A symbol, a position code and its extra bits take 48 bits at most.
        if (br.available() < 48) br.refill();
        const int c = General ? decode_symbol(br, ct) : lookup(br, ct);
        if (c < 256) {
            buf[pos++] = static_cast<std::uint8_t>(c);
            ++produced;
            continue;
        }
        const unsigned len = static_cast<unsigned>(c) - 253;
        const int p = General ? decode_symbol(br, pt) : lookup(br, pt);
        const std::uint64_t off =
            p <= 1 ? static_cast<unsigned>(p) : (1u << (p - 1)) + br.get(p - 1);
        if (off >= max_offset) bad("a match reaches beyond the window");
        if (off >= produced) bad("a match reaches before the start of the member");
        if (len > original_size - produced) bad("a match runs past the original size");
        w.copy(static_cast<std::size_t>(off) + 1, len);
        produced += len;
    }
}

// -lh4- ... -lh7-: blocks of three tables and their symbols.
std::uint16_t decode_blocks(const detail::StreamParams& prm, ByteSource& in,
                            std::uint64_t packed_size, std::uint64_t original_size, ByteSink& out) {
    if (original_size == 0) {
        if (packed_size != 0) bad("an empty member carries compressed data");
        return 0;
    }
    BitReader br(in, packed_size);
    DecodeTable tt, ct, pt;
    detail::OutputWindow w(std::size_t{1} << prm.dicbit, original_size, out);
    const std::uint64_t max_offset = std::uint64_t{1} << prm.dicbit;
    std::uint64_t produced = 0;  // bytes of the member decoded so far

    while (produced < original_size) {
        if (br.available() < 32) br.refill();
        unsigned blocksize = br.get(16);
        if (blocksize == 0) bad("a block of zero symbols");
        read_length_table(br, tt, detail::kNT, detail::kTBits, 3, 8);
        read_c_table(br, tt, ct);
        read_length_table(br, pt, prm.np, prm.pbit, -1, 8);

        if (ct.single() || ct.empty() || pt.single() || pt.empty())
            decode_symbols<true>(br, ct, pt, w, blocksize, produced, original_size, max_offset);
        else
            decode_symbols<false>(br, ct, pt, w, blocksize, produced, original_size, max_offset);
        if (br.overran()) bad("the compressed data ends too early");
    }
    w.emit();
    if (!br.ends_cleanly()) bad("the compressed data does not end where its size says");
    return w.crc();
}

// Stored data under any of its names: copied as it is.
std::uint16_t copy_stored(ByteSource& in, std::uint64_t packed_size, std::uint64_t original_size,
                          ByteSink& out) {
    if (packed_size != original_size) bad("a stored member's sizes disagree");
    std::vector<std::uint8_t> buf(
        static_cast<std::size_t>(std::min<std::uint64_t>(original_size, 1 << 18)));
    std::uint16_t crc = 0;
    std::uint64_t left = original_size;
    while (left > 0) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, buf.size()));
        const std::size_t n = in.read(buf.data(), want);
        if (n == 0) bad("stored data is cut short");
        crc = detail::crc16(crc, buf.data(), n);
        out.write(buf.data(), n);
        left -= n;
    }
    return crc;
}

}  // namespace

std::uint16_t decode(Method m, ByteSource& in, std::uint64_t packed_size,
                     std::uint64_t original_size, ByteSink& out) {
    detail::StreamParams prm{};
    switch (m) {
        case Method::lh4:
        case Method::lh5:
        case Method::lh6:
        case Method::lh7:
            detail::stream_params(m, prm);
            return decode_blocks(prm, in, packed_size, original_size, out);
        case Method::lh1:
            return detail::decode_lh1(in, packed_size, original_size, out);
        case Method::lh2:
            return detail::decode_lh2(in, packed_size, original_size, out);
        case Method::lh3:
            return detail::decode_lh3(in, packed_size, original_size, out);
        case Method::lz5:
            return detail::decode_lz5(in, packed_size, original_size, out);
        case Method::lzs:
            return detail::decode_lzs(in, packed_size, original_size, out);
        case Method::pm1:
            return detail::decode_pm1(in, packed_size, original_size, out);
        case Method::pm2:
            return detail::decode_pm2(in, packed_size, original_size, out);
        case Method::stored:
        case Method::lz4:
        case Method::pm0:
            return copy_stored(in, packed_size, original_size, out);
        case Method::directory:
        case Method::unknown:
            break;
    }
    throw Failure(Status::unsupported, "this method cannot be decoded");
}

}  // namespace lzh
