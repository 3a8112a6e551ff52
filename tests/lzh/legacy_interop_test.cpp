// The older methods against other tools: lhasa extracts our test encoders' streams exactly as we
// do (so our decoders read what lhasa reads), and what jlha writes in those methods comes out of
// our extractor unchanged. Tests skip when a tool is missing.
#include "legacy_encoders.h"
#include "lzh_test_util.h"

using namespace lzhtest;
using lzh::Method;

namespace {

struct Stream {
    std::string name;
    Method method;
    std::string packed;
    std::string data;
};

Stream stream_of(const std::string& name, Method m, const std::string& data) {
    return {name, m, encode_legacy(m, data, 4000), data};
}

std::string archive_of(const std::vector<Stream>& streams) {
    std::string out;
    for (const auto& s : streams) {
        lzh::Member m;
        m.path = s.name;
        m.method = s.method;
        m.mtime = 1700000000;
        m.packed_size = s.packed.size();
        m.original_size = s.data.size();
        m.crc = lzh::detail::crc16(0, s.data.data(), s.data.size());
        const auto h = lzh::detail::build_level2_header(m);
        out.append(h.begin(), h.end());
        out += s.packed;
    }
    return out + '\0';
}

// Matches of three bytes from the far end of the window a method starts with, nearer by 17 each
// time; what they copy is what our decoder makes of them.
Stream window_probe(Method m, unsigned window) {
    Stream probe{"window", m, {}, {}};
    std::vector<Item> items;
    for (unsigned d = window; d > 16; d -= 17) items.push_back(match(3, d));
    probe.packed = encode_items(m, items);
    lzh::MemorySource src(probe.packed.data(), probe.packed.size());
    lzh::VectorSink sink;
    lzh::decode(m, src, probe.packed.size(), 3 * items.size(), sink);
    probe.data.assign(sink.bytes.begin(), sink.bytes.end());
    return probe;
}

// What the extractor left in `dir`, name by name.
std::map<std::string, std::string> contents(const fs::path& dir) {
    std::map<std::string, std::string> m;
    if (!fs::exists(dir)) return m;
    for (auto& e : fs::directory_iterator(dir)) m[e.path().filename()] = digest(read_file(e));
    return m;
}

class LegacyInterop : public TempDirTest {};

}  // namespace

TEST_F(LegacyInterop, LhasaExtractsOurStreamsAsWeDo) {
    if (!have_tool("lhasa")) GTEST_SKIP() << "lhasa missing";
    // lhasa 0.3.1 has no -lh2-/-lh3- decoder; jlha answers for those below.
    for (Method m : {Method::lh1, Method::lz5, Method::lzs, Method::pm1, Method::pm2}) {
        SCOPED_TRACE(lzh::method_name(m));
        // -pm2- reaches 1 KiB back until 1 KiB has been written.
        const unsigned window = m == Method::pm2 ? 1024 : limits(m).window;
        std::vector<Stream> streams = {
            stream_of("empty", m, ""),
            stream_of("one", m, "x"),
            stream_of("text", m, text_data(64 * 1024, 21)),
            stream_of("big", m, text_data(1024 * 1024, 22) + noise_data(5000, 23)),
        };
        // Streams at the edges: matches into the window the method starts with or, for -pm1-
        // (which starts with none), every edge of its distance classes. Both tools must agree.
        if (m == Method::pm1) {
            for (bool before : {false, true}) {
                const auto items = pm1_edge_items(before);
                streams.push_back(
                    {before ? "before" : "edges", m, encode_items(m, items), replay_items(items)});
            }
        } else {
            streams.push_back(window_probe(m, window));
        }

        const std::string arc = path(std::string("a") + lzh::method_name(m) + ".lzh");
        write_file(arc, archive_of(streams));
        const fs::path theirs = dir / "lhasa" / lzh::method_name(m);
        fs::create_directories(theirs);
        ASSERT_EQ(shell("cd '" + theirs.string() + "' && lhasa xf '" + arc + "'"), 0);
        std::map<std::string, std::string> expected;
        for (const auto& s : streams) expected[s.name] = digest(s.data);
        EXPECT_EQ(contents(theirs), expected);
        const fs::path ours = dir / "ours" / lzh::method_name(m);
        auto x = run("x " + arc + " " + ours.string() + "/");
        EXPECT_EQ(x.status, lzh::Status::ok) << x.text;
        EXPECT_EQ(contents(ours), expected);
    }
    // -lz4- and -pm0- hold the data as it is.
    std::vector<Stream> stored;
    for (Method m : {Method::lz4, Method::pm0})
        for (const std::string& d : {std::string(), std::string("x"), noise_data(64 * 1024, 24),
                                     noise_data(1024 * 1024, 25)})
            stored.push_back({lzh::method_name(m) + std::to_string(d.size()), m, d, d});
    write_file(dir / "stored.lzh", archive_of(stored));
    fs::create_directories(dir / "lhasa-stored");
    ASSERT_EQ(shell("cd '" + path("lhasa-stored") + "' && lhasa xf '" + path("stored.lzh") + "'"),
              0);
    auto x = run("x " + path("stored.lzh") + " " + path("ours-stored") + "/");
    EXPECT_EQ(x.status, lzh::Status::ok) << x.text;
    EXPECT_EQ(contents(dir / "ours-stored"), contents(dir / "lhasa-stored"));
    EXPECT_EQ(contents(dir / "ours-stored").size(), 8u);
}

// lhasa 0.3.1 cannot decode -lh2- and -lh3-; jlha can, and extracts our streams as we do.
TEST_F(LegacyInterop, JlhaExtractsOurLh2AndLh3StreamsAsWeDo) {
    if (!have_tool("jlha")) GTEST_SKIP() << "jlha missing";
    for (Method m : {Method::lh2, Method::lh3}) {
        SCOPED_TRACE(lzh::method_name(m));
        const std::vector<Stream> streams = {
            stream_of("empty", m, ""),
            stream_of("one", m, "x"),
            stream_of("text", m, text_data(64 * 1024, 41)),
            stream_of("big", m, text_data(1024 * 1024, 42) + noise_data(5000, 43)),
        };
        const std::string arc = path(std::string("a") + lzh::method_name(m) + ".lzh");
        write_file(arc, archive_of(streams));
        std::map<std::string, std::string> expected;
        for (const auto& s : streams) expected[s.name] = digest(s.data);
        const fs::path theirs = dir / "jlha" / lzh::method_name(m);
        fs::create_directories(theirs);
        ASSERT_EQ(shell("cd '" + theirs.string() + "' && jlha x '" + arc + "'"), 0);
        EXPECT_EQ(contents(theirs), expected);
        const fs::path ours = dir / "ours" / lzh::method_name(m);
        auto x = run("x " + arc + " " + ours.string() + "/");
        EXPECT_EQ(x.status, lzh::Status::ok) << x.text;
        EXPECT_EQ(contents(ours), expected);
    }
}

TEST_F(LegacyInterop, LhasaReadsEveryPm1LiteralCodeAsWeDo) {
    if (!have_tool("lhasa")) GTEST_SKIP() << "lhasa missing";
    std::vector<Stream> streams;
    std::map<std::string, std::string> expected;
    for (int table = 0; table < 32; ++table) {
        const auto items = pm1_table_items(table);
        streams.push_back({"code" + std::to_string(table), Method::pm1, encode_pm1(items, table),
                           replay_items(items)});
        expected[streams.back().name] = digest(streams.back().data);
    }
    write_file(dir / "codes.lzh", archive_of(streams));
    fs::create_directories(dir / "lhasa");
    ASSERT_EQ(shell("cd '" + path("lhasa") + "' && lhasa xf '" + path("codes.lzh") + "'"), 0);
    EXPECT_EQ(contents(dir / "lhasa"), expected);
    auto x = run("x " + path("codes.lzh") + " " + path("ours") + "/");
    EXPECT_EQ(x.status, lzh::Status::ok) << x.text;
    EXPECT_EQ(contents(dir / "ours"), expected);
}

TEST_F(LegacyInterop, WhatJlhaWritesInTheOlderMethodsComesOutUnchanged) {
    const char* jar = "/usr/share/java/jlha.jar";
    if (!fs::exists(jar) || !have_tool("javac")) GTEST_SKIP() << "jlha library or JDK missing";
    // jlha's command line writes only -lh5- ... -lh7-; its library writes the rest.
    write_file(dir / "Make.java", R"(import java.io.*;
import jp.gr.java_conf.dangan.util.lha.*;
public class Make {
  public static void main(String[] a) throws Exception {
    try (LhaOutputStream out = new LhaOutputStream(new FileOutputStream(a[0]))) {
      for (int i = 3; i < a.length; i++) {
        File f = new File(a[i]);
        LhaHeader h = new LhaHeader(f.getName(), new java.util.Date(f.lastModified()));
        h.setCompressMethod(a[1]);
        h.setHeaderLevel(Integer.parseInt(a[2]));
        out.putNextEntry(h);
        try (InputStream in = new FileInputStream(f)) { in.transferTo(out); }
        out.closeEntry();
      }
    }
  }
})");
    write_file(dir / "in/text", text_data(64 * 1024, 31));
    write_file(dir / "in/big", text_data(1024 * 1024, 32) + noise_data(20000, 33));
    write_file(dir / "in/code", noise_data(3000, 34) + text_data(30000, 35));
    const std::map<std::string, std::string> expected = contents(dir / "in");
    int level = 0;
    for (Method m : {Method::lh1, Method::lh2, Method::lh3, Method::lz5, Method::lzs}) {
        SCOPED_TRACE(lzh::method_name(m));
        const std::string arc = path(std::string("j") + lzh::method_name(m) + ".lzh");
        ASSERT_EQ(shell("cd '" + path("in") + "' && java -cp " + jar + " '" + path("Make.java") +
                        "' '" + arc + "' " + lzh::method_name(m) + " " +
                        std::to_string(level++ % 3) + " text big code"),
                  0);
        auto l = run("l " + arc);
        EXPECT_NE(l.text.find(lzh::method_name(m)), std::string::npos) << l.text;
        const fs::path out = dir / "out" / lzh::method_name(m);
        auto x = run("x " + arc + " " + out.string() + "/");
        EXPECT_EQ(x.status, lzh::Status::ok) << x.text;
        EXPECT_EQ(contents(out), expected);
    }
}
