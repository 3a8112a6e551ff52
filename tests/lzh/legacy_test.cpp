// The older methods: every one round-trips through its test encoder at the sizes that matter,
// damaged streams fail cleanly, and matches may reach into the window a method starts with.
#include "legacy_decoders.h"
#include "legacy_encoders.h"
#include "lzh_test_util.h"

using namespace lzhtest;
using lzh::Method;

namespace {

struct Decoded {
    std::string data;
    std::uint16_t crc = 0;
};

Decoded decode(Method m, const std::string& packed, std::uint64_t original) {
    lzh::MemorySource src(packed.data(), packed.size());
    lzh::VectorSink sink;
    Decoded d;
    d.crc = lzh::decode(m, src, packed.size(), original, sink);
    d.data.assign(sink.bytes.begin(), sink.bytes.end());
    return d;
}

// Long runs, far repeats and text: the longest matches, the farthest distances, every length.
std::string mixed_data(std::size_t n, unsigned seed) {
    std::string s = text_data(n / 2, seed);
    const std::string rep = noise_data(3000, seed);
    s += std::string(700, 'a') + rep + text_data(5000, seed + 1) + rep;
    s += noise_data(n / 8, seed + 2);
    while (s.size() < n) s += s.substr(s.size() / 3, std::min<std::size_t>(n - s.size(), 5000));
    s.resize(n);
    return s;
}

class Legacy : public ::testing::TestWithParam<Method> {};

std::string name_of(const ::testing::TestParamInfo<Method>& info) {
    std::string n = lzh::method_name(info.param);
    return n.substr(1, 3);
}

}  // namespace

TEST_P(Legacy, RoundTripsEmptyOneByte64KiBAnd1MiB) {
    const Method m = GetParam();
    const std::string cases[] = {"",
                                 "x",
                                 mixed_data(64 * 1024, 3),
                                 mixed_data(1024 * 1024, 4),
                                 noise_data(70000, 5),
                                 std::string(200000, 'z')};
    for (const auto& data : cases) {
        SCOPED_TRACE(digest(data));
        const std::string packed = encode_legacy(m, data, m == Method::lh3 ? 3000 : 0);
        const Decoded d = decode(m, packed, data.size());
        EXPECT_EQ(digest(d.data), digest(data));
        EXPECT_EQ(d.crc, lzh::detail::crc16(0, data.data(), data.size()));
    }
}

TEST_P(Legacy, DamagedStreamsFailCleanly) {
    const Method m = GetParam();
    const std::string data = mixed_data(20000, 7);
    const std::string packed = encode_legacy(m, data, 500);
    // Whatever a damaged stream does, it yields exactly the promised size or fails as damage;
    // the sanitizers watch every read and write.
    auto check = [&](const std::string& bad, std::uint64_t original) {
        try {
            EXPECT_EQ(decode(m, bad, original).data.size(), original);
        } catch (const lzh::Failure& f) {
            EXPECT_EQ(f.status(), lzh::Status::damaged) << f.what();
        }
    };
    for (std::size_t cut = 0; cut < packed.size(); cut += 1 + packed.size() / 97) {
        EXPECT_THROW(decode(m, packed.substr(0, cut), data.size()), lzh::Failure) << cut;
        check(packed.substr(0, cut), data.size());
    }
    for (std::size_t at = 0; at < packed.size(); at += 1 + packed.size() / 300) {
        std::string bad = packed;
        bad[at] = static_cast<char>(bad[at] ^ (1 << (at % 8)));
        check(bad, data.size());
    }
    check(packed, data.size() * 2);  // a member that claims more than its stream holds
    EXPECT_THROW(decode(m, packed, data.size() * 2), lzh::Failure);
}

INSTANTIATE_TEST_SUITE_P(Methods, Legacy,
                         ::testing::Values(Method::lh1, Method::lh2, Method::lh3, Method::lz5,
                                           Method::lzs, Method::pm1, Method::pm2),
                         name_of);

TEST(LegacyWindows, MatchesMayReachIntoTheWindowAMethodStartsWith) {
    // -lh1- ... -lh3-, -lzs- and -pm2- start with spaces (-pm2- reaching 1 KiB back at first);
    // -lz5- with LArc's table: each byte value 13 times, the values rising, then falling, 128
    // zeros, spaces, and zeros where writing starts.
    for (Method m : {Method::lh1, Method::lh2, Method::lh3, Method::lzs, Method::pm2}) {
        const unsigned window = m == Method::pm2 ? 1024 : limits(m).window;
        const std::string packed = encode_items(m, {match(5, window), lit('!'), match(4, 2)});
        EXPECT_EQ(decode(m, packed, 10).data, "     ! ! !") << lzh::method_name(m);
    }
    // Ring positions, given as distances from the first write at 4078.
    auto lz5_at = [](unsigned pos, unsigned len) {
        return decode(Method::lz5,
                      encode_items(Method::lz5, {match(len, 4096 - (pos + 18) % 4096)}), len)
            .data;
    };
    EXPECT_EQ(lz5_at(0, 14), std::string(13, '\0') + "\x01");
    EXPECT_EQ(lz5_at(13 * 255, 14), std::string(13, '\xFF') + '\0');
    EXPECT_EQ(lz5_at(3328 + 250, 8), "\xFA\xFB\xFC\xFD\xFE\xFF\xFF\xFE");
    EXPECT_EQ(lz5_at(3840 + 126, 4), std::string(2, '\0') + "  ");
    EXPECT_EQ(lz5_at(4075, 3), "   ");
    EXPECT_EQ(lz5_at(4078, 3), std::string(3, '\0'));
}

TEST(LegacyLimits, FieldsBeyondWhatAMethodAllowsAreDamage) {
    // -lh2-/-lh3- lengths come from an escape plus eight bits; past 256 they are not a length.
    for (Method m : {Method::lh2, Method::lh3}) {
        EXPECT_NO_THROW(decode(m, encode_items(m, {lit('a'), match(256, 1)}), 257));
        EXPECT_THROW(decode(m, encode_items(m, {lit('a'), match(287, 1)}), 288), lzh::Failure);
    }
    // -pm2-'s command 28 repeats the last byte 256 times; its last copy may run past the end.
    EXPECT_EQ(
        decode(Method::pm2, encode_items(Method::pm2, {lit('a'), lit('b'), match(256, 1)}), 100)
            .data,
        "ab" + std::string(98, 'b'));
    // A match past the member's end.
    for (Method m : {Method::lh1, Method::lh2, Method::lh3, Method::lz5, Method::lzs})
        EXPECT_THROW(decode(m, encode_items(m, {lit('a'), match(10, 1)}), 5), lzh::Failure)
            << lzh::method_name(m);
    // Stored data under the other names: as it is, sizes agreeing.
    for (Method m : {Method::lz4, Method::pm0}) {
        EXPECT_EQ(decode(m, "stored", 6).data, "stored");
        EXPECT_THROW(decode(m, "stored", 7), lzh::Failure);
    }
}

namespace {

// A stream spelled out bit by bit ('0' and '1'; anything else is ignored), padded with zeros.
std::string bits(const std::string& spelled) {
    std::string out;
    int n = 0;
    for (char c : spelled) {
        if (c != '0' && c != '1') continue;
        if (n % 8 == 0) out += '\0';
        if (c == '1') out.back() = static_cast<char>(out.back() | 0x80 >> n % 8);
        ++n;
    }
    return out;
}

}  // namespace

TEST(LegacyPm1, EveryEdgeAndEveryLiteralCodeRoundTrips) {
    for (bool just_before : {false, true}) {
        const auto items = pm1_edge_items(just_before);
        const std::string data = replay_items(items);
        ASSERT_GT(data.size(), 10816u);
        EXPECT_EQ(decode(Method::pm1, encode_items(Method::pm1, items), data.size()).data, data);
    }
    for (int table = 0; table < 32; ++table) {
        const auto items = pm1_table_items(table);
        EXPECT_EQ(decode(Method::pm1, encode_pm1(items, table), replay_items(items).size()).data,
                  replay_items(items))
            << "literal code " << table;
    }
}

TEST(LegacyPm1, ItemsThatLeaveTheMemberAreDamageOrCut) {
    // Literal code 0 (index in 8 bits); a run of one: '!' (index 1); then the copy it is always
    // followed by: two bytes from 6 back, before the start of the member.
    const std::string head = "00000 1 00 00000001";
    EXPECT_THROW(decode(Method::pm1, bits(head + " 0 000101"), 3), lzh::Failure);
    EXPECT_EQ(decode(Method::pm1, bits(head + " 0 000000"), 3).data, "!!!");
    // A run, or a copy, that goes past the member's end stops there (lhasa does the same).
    EXPECT_EQ(decode(Method::pm1, bits("00000 1 01 00000001 00000001"), 1).data, "!");
    EXPECT_EQ(decode(Method::pm1, bits(head + " 1 11 001 000000"), 5).data, "!!!!!");
    // Spare bytes after the last item are left alone; a stream that stops short is damage.
    EXPECT_EQ(decode(Method::pm1, bits(head + " 0 000000") + "\xFF\xFF", 3).data, "!!!");
    EXPECT_THROW(decode(Method::pm1, bits(head).substr(0, 1), 3), lzh::Failure);
}
