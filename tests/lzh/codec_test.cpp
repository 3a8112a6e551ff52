// The codec on its own: round trips for every method over data shapes that reach the corners
// (window boundaries, longest matches, single-symbol tables, block changes), and decoding of
// damaged streams, which must fail cleanly.
#include <gtest/gtest.h>

#include "huffman.h"
#include "lzh_test_util.h"
#include "pieces.h"

using namespace lzhtest;
using lzh::Method;

namespace {

std::vector<std::uint8_t> compress(Method m, const std::string& s, lzh::EncodeResult* r = nullptr) {
    lzh::MemorySource src(s.data(), s.size());
    lzh::VectorSink out;
    auto res = lzh::encode(m, src, out);
    if (r) *r = res;
    return out.bytes;
}

std::string decompress(Method m, const std::vector<std::uint8_t>& packed, std::size_t original,
                       std::uint16_t* crc = nullptr) {
    lzh::MemorySource src(packed.data(), packed.size());
    lzh::VectorSink out;
    std::uint16_t c = lzh::decode(m, src, packed.size(), original, out);
    if (crc) *crc = c;
    return std::string(out.bytes.begin(), out.bytes.end());
}

struct Shape {
    const char* name;
    std::string data;
};

std::vector<Shape> shapes() {
    std::string periodic;
    for (int i = 0; i < 300000; ++i)
        periodic += static_cast<char>("abcdefghij"[i % 7] + (i / 70000));
    std::string far_repeat = noise_data(70000, 5);
    far_repeat += far_repeat.substr(0, 70000);  // repeats at distances near the larger windows
    std::string mixed = text_data(200000, 3) + noise_data(50000, 4) + text_data(100000, 3);
    return {
        {"one byte", "x"},
        {"two distinct bytes", "ab"},
        {"long run of one byte", std::string(1000000, 'z')},
        {"text", text_data(300000)},
        {"random", noise_data(100000)},
        {"periodic", periodic},
        {"repeat beyond small windows", far_repeat},
        {"text random text", mixed},
        {"all byte values",
         [] {
             std::string s;
             for (int k = 0; k < 40; ++k)
                 for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
             return s;
         }()},
    };
}

}  // namespace

class CodecRoundTrip : public ::testing::TestWithParam<Method> {};

TEST_P(CodecRoundTrip, EveryShapeComesBackWithItsCrc) {
    for (auto& sh : shapes()) {
        SCOPED_TRACE(sh.name);
        lzh::EncodeResult r;
        auto packed = compress(GetParam(), sh.data, &r);
        EXPECT_EQ(r.original_size, sh.data.size());
        EXPECT_EQ(r.packed_size, packed.size());
        EXPECT_EQ(r.crc, lzh::detail::crc16(0, sh.data.data(), sh.data.size()));
        std::uint16_t crc = 0;
        EXPECT_EQ(decompress(GetParam(), packed, sh.data.size(), &crc), sh.data);
        EXPECT_EQ(crc, r.crc);
    }
}

TEST_P(CodecRoundTrip, WrongSizeHintsStillCodeEverything) {
    // A file may grow between stat() and reading; small tables must grow with it.
    // Long enough for the window to slide once it has grown.
    const auto text = text_data(420000, 21) + noise_data(1000);
    for (std::uint64_t hint : {std::uint64_t{1}, std::uint64_t{5000}, std::uint64_t{10000000}}) {
        lzh::MemorySource src(text.data(), text.size());
        lzh::VectorSink out;
        lzh::EncodeOptions opt;
        opt.size_hint = hint;
        auto r = lzh::encode(GetParam(), src, out, UINT64_MAX, opt);
        EXPECT_EQ(r.original_size, text.size());
        EXPECT_EQ(decompress(GetParam(), out.bytes, text.size()), text) << "hint " << hint;
    }
}

TEST_P(CodecRoundTrip, PiecesCodedSeparatelyJoinIntoOneStream) {
    const auto text = text_data(500000, 22) + noise_data(70000) + text_data(200000, 22);
    const std::size_t window = std::size_t{1} << lzh::dictionary_bits(GetParam());
    lzh::VectorSink out;
    {
        lzh::detail::BitWriter bw(out);
        const std::size_t piece = 300000;
        for (std::size_t off = 0; off < text.size(); off += piece) {
            const std::size_t hist = std::min(off, window);
            const auto* base = reinterpret_cast<const std::uint8_t*>(text.data());
            auto p = lzh::detail::encode_piece(GetParam(), base + off - hist, hist, base + off,
                                               std::min(piece, text.size() - off));
            lzh::detail::append_piece(bw, p);
        }
        bw.finish();
    }
    EXPECT_EQ(decompress(GetParam(), out.bytes, text.size()), text);
    EXPECT_LT(out.bytes.size(), compress(GetParam(), text).size() * 102 / 100);
}

TEST_P(CodecRoundTrip, CompressesTextAndRunsWell) {
    auto text = text_data(300000);
    EXPECT_LT(compress(GetParam(), text).size(), text.size() / 3);
    EXPECT_LT(compress(GetParam(), std::string(1000000, 'z')).size(), 2000u);
}

TEST_P(CodecRoundTrip, GivesUpOnIncompressibleData) {
    auto rnd = noise_data(200000);
    lzh::MemorySource src(rnd.data(), rnd.size());
    lzh::VectorSink out;
    auto r = lzh::encode(GetParam(), src, out, rnd.size());
    EXPECT_FALSE(r.shrunk);
}

INSTANTIATE_TEST_SUITE_P(AllMethods, CodecRoundTrip,
                         ::testing::Values(Method::lh4, Method::lh5, Method::lh6, Method::lh7),
                         [](const auto& p) {
                             return std::string(lzh::method_name(p.param)).substr(1, 3);
                         });

TEST(Codec, CostBasedParserRoundTripsAndCompresses) {
    // The cost-based parser is not the default, so only this keeps it honest.
    std::string far_repeat = noise_data(40000, 7);
    far_repeat += far_repeat;
    const std::string data = text_data(150000, 8) + far_repeat + std::string(20000, 'q') +
                             noise_data(3000, 9) + text_data(60000, 8);
    for (Method m : {Method::lh5, Method::lh7}) {
        SCOPED_TRACE(lzh::method_name(m));
        lzh::MemorySource src(data.data(), data.size());
        lzh::VectorSink out;
        lzh::EncodeOptions opt;
        opt.parse = 1;
        auto r = lzh::encode(m, src, out, UINT64_MAX, opt);
        ASSERT_TRUE(r.shrunk);
        EXPECT_EQ(r.original_size, data.size());
        EXPECT_EQ(r.crc, lzh::detail::crc16(0, data.data(), data.size()));
        std::uint16_t crc = 0;
        EXPECT_EQ(decompress(m, out.bytes, data.size(), &crc), data);
        EXPECT_EQ(crc, r.crc);
        EXPECT_LT(out.bytes.size(), data.size() / 2);
    }
}

TEST(Codec, LargerWindowsCompressBetterOnFarRepeats) {
    std::string s = noise_data(20000, 9);
    s += s;  // the repeat is 20000 bytes back: beyond -lh5-'s window, inside -lh6-'s
    EXPECT_GT(compress(Method::lh5, s).size(), s.size() * 9 / 10);
    EXPECT_LT(compress(Method::lh6, s).size(), s.size() * 6 / 10);
}

TEST(Codec, CrcMatchesTheStandardCheckValue) {
    EXPECT_EQ(lzh::detail::crc16(0, "123456789", 9), 0xBB3D);
    // Chunked and whole give the same result (the eight-byte loop and the tail).
    auto s = noise_data(1000);
    std::uint16_t c = 0;
    for (std::size_t i = 0; i < s.size(); i += 7)
        c = lzh::detail::crc16(c, s.data() + i, std::min<std::size_t>(7, s.size() - i));
    EXPECT_EQ(c, lzh::detail::crc16(0, s.data(), s.size()));
}

TEST(Huffman, LengthsAreCompleteAndLimitedEvenForSkewedFrequencies) {
    // Fibonacci frequencies make the unlimited tree as deep as possible.
    std::vector<std::uint32_t> freq(40);
    std::uint32_t a = 1, b = 1;
    for (auto& f : freq) {
        f = a;
        std::uint32_t c = a + b;
        a = b;
        b = c;
    }
    std::vector<std::uint8_t> len(freq.size());
    ASSERT_EQ(
        lzh::detail::build_lengths(freq.data(), static_cast<int>(freq.size()), 16, len.data()), 40);
    double kraft = 0;
    for (auto l : len) {
        ASSERT_GE(l, 1);
        ASSERT_LE(l, 16);
        kraft += 1.0 / static_cast<double>(1u << l);
    }
    EXPECT_DOUBLE_EQ(kraft, 1.0);
    lzh::detail::DecodeTable t;
    EXPECT_TRUE(t.build(len.data(), static_cast<int>(len.size()), 8));
}

TEST(Huffman, DecodeTableRejectsIncompleteAndOversubscribedCodes) {
    lzh::detail::DecodeTable t;
    std::uint8_t incomplete[3] = {1, 2, 0};
    EXPECT_FALSE(t.build(incomplete, 3, 8));
    std::uint8_t over[3] = {1, 1, 1};
    EXPECT_FALSE(t.build(over, 3, 8));
    std::uint8_t single[3] = {0, 1, 0};
    EXPECT_FALSE(t.build(single, 3, 8));  // must use the single-symbol form instead
    std::uint8_t good[3] = {1, 2, 2};
    EXPECT_TRUE(t.build(good, 3, 8));
}

// Damaged streams: every outcome is a clean Failure or a wrong CRC, never a crash or a read past
// the buffer (ASan watches the latter).
TEST(CodecDamage, FlippedBitsTruncationAndWrongSizesFailCleanly) {
    const auto text = text_data(60000, 7);
    for (Method m : {Method::lh5, Method::lh7}) {
        auto packed = compress(m, text);
        const std::uint16_t good_crc = lzh::detail::crc16(0, text.data(), text.size());
        int detected = 0, trials = 0;
        for (std::size_t pos = 0; pos < packed.size(); pos += packed.size() / 61 + 1) {
            auto bad = packed;
            bad[pos] ^= static_cast<std::uint8_t>(1u << (pos % 8));
            ++trials;
            try {
                std::uint16_t crc = 0;
                auto out = decompress(m, bad, text.size(), &crc);
                if (crc != good_crc || out != text) ++detected;
            } catch (const lzh::Failure& f) {
                EXPECT_EQ(f.status(), lzh::Status::damaged);
                ++detected;
            }
        }
        EXPECT_EQ(detected, trials);
        // Cut short, or claiming more output than the stream holds.
        auto cut = packed;
        cut.resize(cut.size() / 2);
        EXPECT_THROW(decompress(m, cut, text.size()), lzh::Failure);
        EXPECT_THROW(decompress(m, packed, text.size() + 1), lzh::Failure);
        EXPECT_THROW(decompress(m, packed, text.size() - 1), lzh::Failure);
        auto longer = packed;
        longer.push_back(0);  // trailing byte after the stream
        EXPECT_THROW(decompress(m, longer, text.size()), lzh::Failure);
    }
}

TEST(CodecDamage, ZeroBlockSizeAndReferencesBeforeTheStartAreRejected) {
    std::vector<std::uint8_t> zero_block = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_THROW(decompress(Method::lh5, zero_block, 10), lzh::Failure);
    // Stream with garbage tables: must fail, whatever it decodes to.
    std::vector<std::uint8_t> junk(64, 0xFF);
    EXPECT_THROW(decompress(Method::lh5, junk, 1000), lzh::Failure);
}
