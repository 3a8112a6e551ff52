// Archives other archivers write that bend the format, each built by hand: long self-extracting
// stubs, padding after the end marker, OSK LHA's level-2 header size, Amiga folders stored as
// -lh0-, and comments after a NUL in level-0/1 names.
#include "lzh_test_util.h"

using namespace lzhtest;
using lzh::Status;

namespace {

void put16(std::string& s, std::size_t at, unsigned v) {
    s[at] = static_cast<char>(v);
    s[at + 1] = static_cast<char>(v >> 8);
}
std::string le16(unsigned v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
std::string le32(std::uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }
std::uint16_t crc_of(const std::string& s) { return lzh::detail::crc16(0, s.data(), s.size()); }

// 2000-01-01 12:30, DOS style.
constexpr std::uint32_t kDosTime = (12u << 11) | (30u << 5) | (1u << 16) | (1u << 21) | (20u << 25);

// Bytes 2 ... 20 of every header: method, sizes, time, attribute, level.
std::string common(const std::string& method, std::size_t packed, std::size_t original,
                   std::uint32_t time, int level) {
    return method + le32(static_cast<std::uint32_t>(packed)) +
           le32(static_cast<std::uint32_t>(original)) + le32(time) + '\x20' +
           static_cast<char>(level);
}

std::string with_checksum(const std::string& body) {
    unsigned sum = 0;
    for (unsigned char c : body) sum += c;
    return std::string(1, static_cast<char>(body.size())) + static_cast<char>(sum) + body;
}

// A level-0 member holding `data` stored; `name` is written as it is (separators, NULs).
std::string level0(const std::string& name, const std::string& data,
                   const std::string& method = "-lh0-") {
    return with_checksum(common(method, data.size(), data.size(), kDosTime, 0) +
                         static_cast<char>(name.size()) + name + le16(crc_of(data))) +
           data;
}

// Extension records ([type][data][size of the next]) chained after `first_size_at`.
std::string chain(const std::vector<std::string>& records) {
    std::string out;
    for (std::size_t i = 0; i < records.size(); ++i)
        out += records[i] + le16(i + 1 < records.size() ? records[i + 1].size() + 2 : 0);
    return out;
}

std::string level1(const std::string& name, const std::string& data,
                   const std::vector<std::string>& ext, char os = 'A') {
    const std::string recs = chain(ext);
    return with_checksum(common("-lh0-", data.size() + recs.size(), data.size(), kDosTime, 1) +
                         static_cast<char>(name.size()) + name + le16(crc_of(data)) + os +
                         le16(ext.empty() ? 0 : ext[0].size() + 2)) +
           recs + data;
}

// A level-2 member with a header CRC; `size_short_by` bytes are left out of its size field.
std::string level2(const std::vector<std::string>& ext, const std::string& data, char os,
                   unsigned size_short_by = 0) {
    std::vector<std::string> all = {std::string("\0\0\0", 3)};
    all.insert(all.end(), ext.begin(), ext.end());
    std::string h = "xx" + common("-lh0-", data.size(), data.size(), 1700000000, 2) +
                    le16(crc_of(data)) + os + le16(all[0].size() + 2) + chain(all);
    put16(h, 0, static_cast<unsigned>(h.size() - size_short_by));
    put16(h, 27, crc_of(h));
    return h + data;
}

std::string ext(char type, const std::string& data) { return type + data; }

class Quirks : public TempDirTest {
  protected:
    Result on(const std::string& command, const std::string& bytes, const std::string& more = "") {
        write_file(dir / "q.lzh", bytes);
        return run(command + " " + path("q.lzh") + more);
    }
    static bool has(const Result& r, const std::string& what) {
        return r.text.find(what) != std::string::npos;
    }
};

}  // namespace

TEST_F(Quirks, AStubLongerThan64KiBIsPassedOverToTheFirstHeaderThatVerifies) {
    // A Unicode stub of 100 KiB with method strings of its own that are not headers.
    std::string stub = noise_data(100 * 1024, 41);
    stub.replace(1000, 7, "\x19\x00-lh5-");
    stub.replace(80000, 7, "\x30\x55-lh0-");
    const std::string members = level0("ONE.TXT", "first") + level0("TWO.TXT", "second");
    auto l = on("l", stub + members + '\0');
    EXPECT_EQ(l.status, Status::ok) << l.text;
    EXPECT_TRUE(has(l, "2 members")) << l.text;
    auto x = on("x", stub + members + '\0', " " + path("out") + "/");
    EXPECT_EQ(x.status, Status::ok) << x.text;
    EXPECT_EQ(read_file(dir / "out/TWO.TXT"), "second");
    EXPECT_EQ(on("l", stub).status, Status::not_archive);
    // Behind a short stub with nothing that verifies, the first likely header is read, so the
    // damage is reported rather than "not an archive".
    std::string broken = noise_data(2000, 42) + members + '\0';
    broken[2000 + 1] ^= 0x40;   // the checksum of the first member
    broken[2000 + 37] ^= 0x40;  // and of the second
    EXPECT_EQ(on("l", broken).status, Status::damaged);
}

TEST_F(Quirks, BytesAfterTheEndMarkerOfAnotherToolsArchiveAreANote) {
    // OS-9 LHA pads its archives to a whole block.
    const std::string arc = level1("a.txt", "alpha", {ext(2, "d\xFF")}, '9') +
                            level0("B.TXT", "beta") + '\0' + std::string(300, '\0');
    for (const char* cmd : {"l", "t"}) {
        auto r = on(cmd, arc);
        EXPECT_EQ(r.status, Status::ok) << r.text;
        EXPECT_TRUE(has(r, "Note: 300 bytes after the end marker")) << r.text;
    }
    auto x = on("x", arc, " " + path("out") + "/");
    EXPECT_EQ(x.status, Status::ok) << x.text;
    EXPECT_EQ(read_file(dir / "out/d/a.txt"), "alpha");
    // Ours never have any: there they are damage, as before.
    write_file(dir / "s/f.txt", "ours");
    ASSERT_EQ(run("a " + path("ours.lzh") + " " + path("s") + "/*.*").status, Status::ok);
    EXPECT_EQ(on("l", read_file(dir / "ours.lzh") + "pad").status, Status::damaged);
}

TEST_F(Quirks, OskLevel2HeadersWhoseSizeLeavesOutTheClosingExtensionSize) {
    const std::string mode = ext('\x50', le16(0100644));
    const std::string osk = level2({ext(1, "f.txt"), mode}, "hello world", 'K', 2);
    auto x = on("x", osk + '\0', " " + path("out") + "/");
    EXPECT_EQ(x.status, Status::ok) << x.text;
    EXPECT_EQ(read_file(dir / "out/f.txt"), "hello world");
    if (have_tool("lhasa")) {  // lhasa reads the same header the same way
        fs::create_directories(dir / "lhasa");
        EXPECT_EQ(shell("cd '" + path("lhasa") + "' && lhasa xf '" + path("q.lzh") + "'"), 0);
        EXPECT_EQ(read_file(dir / "lhasa/f.txt"), "hello world");
    }
    // The header CRC covers those two bytes too; a header short by more is damage.
    std::string bad = osk;
    bad[bad.size() - 12] ^= 1;
    EXPECT_EQ(on("t", bad + '\0').status, Status::damaged);
    EXPECT_EQ(on("t", level2({ext(1, "f.txt"), mode}, "hello world", 'K', 3) + '\0').status,
              Status::damaged);
}

TEST_F(Quirks, AmigaFoldersStoredAsEmptyLh0MembersAreFolders) {
    // Level 0 (Amiga LhA 1.22): a trailing separator; levels 1 and 2: a path without a name.
    const std::string arc = level0("Empty\\", "") + level0("Dir/", "") +
                            level0("Dir/f.txt", "in dir") +
                            level1("", "",
                                   {ext(2,
                                        "Main\xFF"
                                        "EmptyDir\xFF")}) +
                            level2({ext(2,
                                        "ACE\xFF"
                                        "Discs\xFF")},
                                   "", 'A') +
                            level1("g.txt", "in main", {ext(2, "Main\xFF")}) + '\0';
    auto l = on("l", arc);
    EXPECT_EQ(l.status, Status::ok) << l.text;
    for (const char* folder : {"Empty/", "Main/EmptyDir/", "ACE/Discs/"})
        EXPECT_TRUE(has(l, std::string(" ") + folder + "\n")) << folder << "\n" << l.text;
    auto x = on("x", arc, " " + path("out") + "/");
    EXPECT_EQ(x.status, Status::ok) << x.text;
    for (const char* folder : {"Empty", "Dir", "Main/EmptyDir", "ACE/Discs"})
        EXPECT_TRUE(fs::is_directory(dir / "out" / folder)) << folder;
    EXPECT_EQ(read_file(dir / "out/Main/g.txt"), "in main");
    // A member with data stays a file, whatever its name ends in.
    EXPECT_EQ(on("x", level0("odd/", "data") + '\0', " " + path("odd") + "/").status, Status::ok);
    EXPECT_EQ(read_file(dir / "odd/odd"), "data");
}

TEST_F(Quirks, ALevel0Or1NameEndsAtANulAndTheCommentAfterItIsDropped) {
    const std::string arc = level0(std::string("name.txt\0a comment", 18), "zero") +
                            level1(std::string("one.txt\0by Amiga", 16), "one", {}) + '\0';
    auto x = on("x", arc, " " + path("out") + "/");
    EXPECT_EQ(x.status, Status::ok) << x.text;
    EXPECT_EQ(read_file(dir / "out/name.txt"), "zero");
    EXPECT_EQ(read_file(dir / "out/one.txt"), "one");
    EXPECT_FALSE(has(on("l", arc), "comment"));
}

TEST_F(Quirks, MembersInAMethodWeCannotDecodeAreListedAndReported) {
    // A method none of our decoders knows; the members around it still come out.
    const std::string arc =
        level0("A.TXT", "a") + level0("OLD.COM", "\x01\x02", "-lhx-") + level0("B.TXT", "b") + '\0';
    auto l = on("l", arc);
    EXPECT_EQ(l.status, Status::ok) << l.text;
    EXPECT_TRUE(has(l, "-lhx-")) << l.text;
    auto x = on("x", arc, " " + path("out") + "/");
    EXPECT_EQ(x.status, Status::unsupported) << x.text;
    EXPECT_TRUE(has(x, "OLD.COM: method -lhx- is not supported")) << x.text;
    EXPECT_EQ(read_file(dir / "out/B.TXT"), "b");
    EXPECT_FALSE(fs::exists(dir / "out/OLD.COM"));
}
