// The -lh4- ... -lh7- decoder: block headers with three Huffman tables, then literals and
// matches into a sliding window. Every field is checked against the limits the format allows,
// so a damaged stream ends in Failure(damaged), never in a read or write out of bounds.
#include <algorithm>
#include <cstring>

#include "bitio.h"
#include "codec_params.h"
#include "crc16.h"
#include "huffman.h"

namespace lzh {
namespace {

using detail::BitReader;
using detail::DecodeTable;

[[noreturn]] void bad(const char* why) { throw Failure(Status::damaged, why); }

inline int decode_symbol(BitReader& br, const DecodeTable& t) {
    if (t.single()) return t.single_symbol();
    if (t.empty()) bad("a Huffman table without codes is used");
    if (br.available() < 32) br.refill();
    const std::uint32_t* e = t.entries();
    std::uint32_t v = e[br.peek(t.root())];
    if (v & detail::kSubTable) {
        br.skip(t.root());
        int sub = static_cast<int>(v & 31u);
        v = e[(v >> 6) + br.peek(sub)];
    }
    br.skip(static_cast<int>(v & 31u));
    return static_cast<int>(v >> 6);
}

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

// Output goes into a buffer that holds the window plus a working area; when the area fills,
// the new bytes are passed on and the last window's worth moves to the front.
class Window {
  public:
    // A member smaller than the window needs only its own size: many small members are common,
    // and their set-up cost adds up. The buffer is not cleared: matches only reach bytes
    // already decoded.
    Window(std::size_t window, std::uint64_t original_size, ByteSink& sink) : sink_(sink) {
        window_ = static_cast<std::size_t>(std::min<std::uint64_t>(window, original_size));
        work_ = static_cast<std::size_t>(std::min<std::uint64_t>(kWork, original_size));
        buf_.reset(new std::uint8_t[window_ + work_ + detail::kMaxMatch]);
        pos_ = flushed_ = 0;
    }
    std::uint8_t* data() { return buf_.get(); }
    std::size_t pos_, flushed_;
    std::uint16_t crc_ = 0;
    std::uint64_t passed_ = 0;  // bytes handed to the sink

    bool full() const { return pos_ >= window_ + work_; }
    void flush() {
        emit();
        if (pos_ > window_) {
            std::size_t keep_from = pos_ - window_;
            std::memmove(buf_.get(), buf_.get() + keep_from, window_);
            pos_ = flushed_ = window_;
        }
    }
    void emit() {
        if (pos_ > flushed_) {
            crc_ = detail::crc16(crc_, buf_.get() + flushed_, pos_ - flushed_);
            sink_.write(buf_.get() + flushed_, pos_ - flushed_);
            passed_ += pos_ - flushed_;
            flushed_ = pos_;
        }
    }

  private:
    static constexpr std::size_t kWork = 1 << 18;
    std::size_t window_, work_;
    ByteSink& sink_;
    std::unique_ptr<std::uint8_t[]> buf_;
};

}  // namespace

std::uint16_t decode(Method m, ByteSource& in, std::uint64_t packed_size,
                     std::uint64_t original_size, ByteSink& out) {
    detail::StreamParams prm{};
    if (!detail::stream_params(m, prm))
        throw Failure(Status::unsupported, "this method cannot be decoded");
    if (original_size == 0) {
        if (packed_size != 0) bad("an empty member carries compressed data");
        return 0;
    }
    BitReader br(in, packed_size);
    DecodeTable tt, ct, pt;
    Window w(std::size_t{1} << prm.dicbit, original_size, out);
    const std::uint64_t max_offset = std::uint64_t{1} << prm.dicbit;
    std::uint64_t produced = 0;  // bytes of the member decoded so far

    while (produced < original_size) {
        if (br.available() < 32) br.refill();
        unsigned blocksize = br.get(16);
        if (blocksize == 0) bad("a block of zero symbols");
        read_length_table(br, tt, detail::kNT, detail::kTBits, 3, 8);
        read_c_table(br, tt, ct);
        read_length_table(br, pt, prm.np, prm.pbit, -1, 8);

        std::uint8_t* buf = w.data();
        for (unsigned k = 0; k < blocksize; ++k) {
            if (produced >= original_size) bad("a block runs past the original size");
            if (w.full()) {
                w.flush();
                buf = w.data();
            }
            int c = decode_symbol(br, ct);
            if (c < 256) {
                buf[w.pos_++] = static_cast<std::uint8_t>(c);
                ++produced;
                continue;
            }
            unsigned len = static_cast<unsigned>(c) - 253;
            int p = decode_symbol(br, pt);
            std::uint64_t off = p <= 1 ? static_cast<unsigned>(p) : (1u << (p - 1)) + br.get(p - 1);
            if (off >= max_offset) bad("a match reaches beyond the window");
            if (off >= produced) bad("a match reaches before the start of the member");
            if (len > original_size - produced) bad("a match runs past the original size");
            std::size_t dist = static_cast<std::size_t>(off) + 1;
            std::uint8_t* dst = buf + w.pos_;
            const std::uint8_t* src = dst - dist;
            if (dist >= len) {
                std::memcpy(dst, src, len);
            } else {
                for (unsigned j = 0; j < len; ++j) dst[j] = src[j];
            }
            w.pos_ += len;
            produced += len;
        }
        if (br.overran()) bad("the compressed data ends too early");
    }
    w.emit();
    if (!br.ends_cleanly()) bad("the compressed data does not end where its size says");
    return w.crc_;
}

}  // namespace lzh
