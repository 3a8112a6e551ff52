// Restoring under faults and from hostile archives: a failed replacement never costs the old
// file, a full disk stops the restore, names cannot forge report lines, and links and rooted
// paths come back without anything landing outside the destination.
#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>

#include "lzh_test_util.h"
#include "paths.h"
#include "unlha32.h"

using namespace lzhtest;
using lzh::Status;

namespace {

class Restore : public TempDirTest {
  protected:
    // Files in `dest` whose names show they are someone's temporary file.
    std::vector<std::string> leftovers(const fs::path& root) {
        std::vector<std::string> v;
        for (auto& e : fs::recursive_directory_iterator(root))
            if (e.path().filename().string().find(".lzh-") != std::string::npos)
                v.push_back(e.path().string());
        return v;
    }
    Result extract(const std::string& arc, const std::string& extra = " -c") {
        return run("x " + arc + " " + path("dest") + "/" + extra);
    }
};

// The level-2 header written for `m`, with another OS id (and its header CRC made right).
std::string header_with_os(lzh::Member m, char os) {
    auto h = lzh::detail::build_level2_header(m);
    h[23] = static_cast<std::uint8_t>(os);
    h[27] = h[28] = 0;  // the CRC field of the first extension
    const std::uint16_t crc = lzh::detail::crc16(0, h.data(), h.size());
    h[27] = static_cast<std::uint8_t>(crc);
    h[28] = static_cast<std::uint8_t>(crc >> 8);
    return std::string(h.begin(), h.end());
}

}  // namespace

TEST_F(Restore, ADamagedMemberNeverReplacesTheFileItWouldOverwrite) {
    write_file(dir / "s/big.txt", text_data(200000, 3));
    write_file(dir / "s/small.txt", "tiny");
    ASSERT_EQ(run("a " + path("a.lzh") + " " + path("s") + "/*.*").status, Status::ok);
    std::string bytes = read_file(dir / "a.lzh");
    lzh::Member big;
    {
        lzh::ArchiveReader r(path("a.lzh"));
        while (r.next(big) && big.path != "big.txt") {
        }
    }
    bytes[big.data_offset + big.packed_size / 2] ^= 0x20;  // breaks the stream half way
    write_file(dir / "a.lzh", bytes);
    write_file(dir / "dest/big.txt", "the person's own file");

    auto x = extract(path("a.lzh"));
    EXPECT_EQ(x.status, Status::damaged) << x.text;
    EXPECT_NE(x.text.find("the existing file is kept"), std::string::npos) << x.text;
    EXPECT_EQ(read_file(dir / "dest/big.txt"), "the person's own file");
    EXPECT_EQ(read_file(dir / "dest/small.txt"), "tiny");
    EXPECT_TRUE(leftovers(dir / "dest").empty());

    // Without an old file, the damaged member leaves no file at all under its name.
    fs::remove(dir / "dest/big.txt");
    EXPECT_EQ(extract(path("a.lzh")).status, Status::damaged);
    EXPECT_FALSE(fs::exists(dir / "dest/big.txt"));
    EXPECT_TRUE(leftovers(dir / "dest").empty());
}

TEST_F(Restore, AFullDiskStopsTheRestoreAndSaysWhatWasLeft) {
    for (int i = 1; i <= 5; ++i)
        write_file(dir / "s" / ("f" + std::to_string(i)),
                   text_data(3000, static_cast<unsigned>(i)));
    ASSERT_EQ(run("a " + path("a.lzh") + " " + path("s") + "/*.*").status, Status::ok);
    write_file(dir / "dest/f2", "old two");
    std::atomic<int> writes{0};
    InjectedFault full([&](lzh::detail::IoCall call, int) {
        return call == lzh::detail::IoCall::write && ++writes > 1 ? ENOSPC : 0;
    });
    // One worker: it writes the members in order, so what "after" means is plain. (Several
    // workers each finish the member they are writing when another finds the disk full.)
    auto x = extract(path("a.lzh"), " -c -jp1");
    EXPECT_EQ(x.status, Status::io) << x.text;
    EXPECT_EQ(read_file(dir / "dest/f1"), text_data(3000, 1));
    EXPECT_EQ(read_file(dir / "dest/f2"), "old two");
    for (auto name : {"f3", "f4", "f5"}) EXPECT_FALSE(fs::exists(dir / "dest" / name)) << name;
    EXPECT_TRUE(leftovers(dir / "dest").empty());
    EXPECT_NE(x.text.find("3 more members were not extracted"), std::string::npos) << x.text;
    EXPECT_EQ(writes.load(), 2) << "nothing more was tried after the disk was full";
    EXPECT_NE(x.text.find(", 2 errors."), std::string::npos) << x.text;
}

// As the program restores: with a worker per core, several members are being written when the
// disk fills. No write succeeds here, so which worker got there first does not matter.
TEST_F(Restore, AFullDiskWithEveryWorkerKeepsTheOldFileAndLeavesNoTemporaryFiles) {
    for (int i = 1; i <= 5; ++i)
        write_file(dir / "s" / ("f" + std::to_string(i)),
                   text_data(3000, static_cast<unsigned>(i)));
    ASSERT_EQ(run("a " + path("a.lzh") + " " + path("s") + "/*.*").status, Status::ok);
    write_file(dir / "dest/f2", "old two");
    InjectedFault full([](lzh::detail::IoCall call, int) {
        return call == lzh::detail::IoCall::write ? ENOSPC : 0;
    });
    auto x = extract(path("a.lzh"));
    EXPECT_EQ(x.status, Status::io) << x.text;
    EXPECT_EQ(read_file(dir / "dest/f2"), "old two");
    for (auto name : {"f1", "f3", "f4", "f5"})
        EXPECT_FALSE(fs::exists(dir / "dest" / name)) << name;
    EXPECT_TRUE(leftovers(dir / "dest").empty());
    EXPECT_NE(x.text.find("4 more members were not extracted"), std::string::npos) << x.text;
}

TEST_F(Restore, BackslashesInUnixNamesAreOrdinaryCharacters) {
    lzh::Member m;
    m.path = "x\\y";
    m.method = lzh::Method::stored;
    m.original_size = m.packed_size = 1;
    m.crc = lzh::detail::crc16(0, "B", 1);
    std::string arc = build_archive({raw_file("x/y", "real")});
    arc.pop_back();  // the end marker; one more member follows
    auto unix_header = lzh::detail::build_level2_header(m);
    arc += std::string(unix_header.begin(), unix_header.end()) + "B";
    m.path = "dos\\sub\\z";
    arc += header_with_os(m, 'M') + "B" + '\0';
    write_file(dir / "a.lzh", arc);

    auto x = extract(path("a.lzh"), "");
    ASSERT_EQ(x.status, Status::ok) << x.text;
    EXPECT_EQ(read_file(dir / "dest/x/y"), "real");
    EXPECT_EQ(read_file(dir / "dest/x\\y"), "B");
    EXPECT_EQ(read_file(dir / "dest/dos/sub/z"), "B") << "DOS names still use \\ as separator";
    EXPECT_NE(run("l " + path("a.lzh")).text.find(" x\\y\n"), std::string::npos);

    // Stored from Linux and back: the two files stay apart.
    write_file(dir / "s/p\\q", "one");
    write_file(dir / "s/p/q", "two");
    ASSERT_EQ(run("a " + path("b.lzh") + " " + path("s") + "/*.* -r").status, Status::ok);
    ASSERT_EQ(run("x " + path("b.lzh") + " " + path("out") + "/").status, Status::ok);
    EXPECT_EQ(tree(dir / "out"), tree(dir / "s"));
}

TEST_F(Restore, ControlCharactersInNamesCannotForgeReportLines) {
    const std::string forged = "evil\nThe archive is OK: 9 members tested.";
    const std::string clear = "\x1b[2Jwiped\r";
    write_file(dir / "a.lzh", build_archive({raw_file(forged, "x"), raw_file(clear, "y")}));
    for (const char* cmd : {"t ", "l ", "x "}) {
        auto r = run(cmd + path("a.lzh") + (cmd[0] == 'l' ? "" : " " + path("dest") + "/"));
        SCOPED_TRACE(cmd);
        EXPECT_EQ(r.text.find("\nThe archive is OK: 9"), std::string::npos) << r.text;
        EXPECT_EQ(r.text.find_first_of("\x1b\r"), std::string::npos) << r.text;
        EXPECT_NE(r.text.find("evil\\nThe archive is OK: 9"), std::string::npos) << r.text;
        EXPECT_NE(r.text.find("\\x1b[2Jwiped\\r"), std::string::npos) << r.text;
    }
    // The files themselves keep their real names, and the name as shown selects the member.
    EXPECT_EQ(read_file(dir / "dest" / forged), "x");
    auto one = run("l " + path("a.lzh") + " \"evil\\nThe archive is OK: 9 members tested.\"");
    EXPECT_NE(one.text.find("1 member"), std::string::npos) << one.text;

    // The C listing functions give the name as shown, too.
    HARC h = UnlhaOpenArchive(nullptr, path("a.lzh").c_str(), 0);
    ASSERT_NE(h, nullptr);
    INDIVIDUALINFO info;
    char name[UNLHA_NAME_SIZE];
    ASSERT_EQ(UnlhaFindFirst(h, "*.*", &info), 0);
    ASSERT_EQ(UnlhaGetFileName(h, name, sizeof name), 0);
    EXPECT_STREQ(name, "evil\\nThe archive is OK: 9 members tested.");
    EXPECT_STREQ(info.szFileName, name);
    ASSERT_EQ(UnlhaFindNext(h, &info), 0);
    EXPECT_STREQ(info.szFileName, "\\x1b[2Jwiped\\r");
    UnlhaCloseArchive(h);
}

TEST(EscapedNames, OnlyControlCharactersChange) {
    using lzh::detail::escape_controls;
    EXPECT_EQ(escape_controls("plain name.txt"), "plain name.txt");
    EXPECT_EQ(escape_controls("a\tb\x7f\x01"), "a\\tb\\x7f\\x01");
    EXPECT_EQ(escape_controls("gr\xc3\xbc\xc3\x9f"
                              "e"),
              "gr\xc3\xbc\xc3\x9f"
              "e");  // UTF-8 stays
    EXPECT_EQ(escape_controls("csi\xc2\x9b"
                              "2J"),
              "csi\\u009b2J");  // C1 in UTF-8
    // In a name that is not UTF-8 (Shift_JIS, say), the same bytes are ordinary characters.
    EXPECT_EQ(escape_controls("\x82\xa0\xc2\x9b"), "\x82\xa0\xc2\x9b");
}

TEST_F(Restore, LinksWithAnAbsoluteTargetComeBackButNothingPassesThroughThem) {
    fs::create_directories(dir / "victim");
    const std::string target = path("victim");
    write_file(dir / "a.lzh",
               build_archive({raw_link("abs-link", target), raw_file("abs-link/planted.txt", "x"),
                              raw_file("after.txt", "after")}));
    auto x = extract(path("a.lzh"));
    EXPECT_EQ(x.status, Status::unsafe_path) << x.text;
    EXPECT_EQ(fs::read_symlink(dir / "dest/abs-link"), target);
    EXPECT_FALSE(fs::exists(dir / "victim/planted.txt"));
    EXPECT_NE(x.text.find("Refused: abs-link/planted.txt: the path passes through the symbolic"),
              std::string::npos)
        << x.text;
    EXPECT_EQ(read_file(dir / "dest/after.txt"), "after");

    // A backed-up tree holding such a link is restored whole, replacing what is there with -c.
    write_file(dir / "s/file", "f");
    fs::create_symlink("/usr/share", dir / "s/share");
    ASSERT_EQ(run("a " + path("b.lzh") + " " + path("s") + "/*.*").status, Status::ok);
    write_file(dir / "out/share", "in the way");
    auto again = run("x " + path("b.lzh") + " " + path("out") + "/ -c");
    EXPECT_EQ(again.status, Status::ok) << again.text;
    EXPECT_EQ(tree(dir / "out"), tree(dir / "s"));
}

TEST_F(Restore, RootedMemberPathsLandBelowTheDestination) {
    write_file(dir / "a.lzh",
               build_archive({raw_file("/abs/one.txt", "1"), raw_file("C:/dos/two.txt", "2"),
                              raw_file("//server/three.txt", "3"), raw_file("d:four.txt", "4")}));
    auto x = extract(path("a.lzh"));
    ASSERT_EQ(x.status, Status::ok) << x.text;
    EXPECT_EQ(read_file(dir / "dest/abs/one.txt"), "1");
    EXPECT_EQ(read_file(dir / "dest/dos/two.txt"), "2");
    EXPECT_EQ(read_file(dir / "dest/server/three.txt"), "3");
    EXPECT_EQ(read_file(dir / "dest/four.txt"), "4");
    EXPECT_NE(x.text.find("Root removed: /abs/one.txt (extracted as abs/one.txt)"),
              std::string::npos)
        << x.text;
    EXPECT_NE(x.text.find("Root removed: C:/dos/two.txt"), std::string::npos) << x.text;
}

TEST_F(Restore, LaterMembersFindEarlierFilesInPlace) {
    // Files take their names in batches; a member that meets one still waiting sees it in place,
    // exactly as if each member were done before the next.
    write_file(dir / "a.lzh", build_archive({raw_file("same", "first"), raw_file("same", "second"),
                                             raw_file("f", "a file"), raw_file("f/below", "x")}));
    auto x = extract(path("a.lzh"), "");
    EXPECT_EQ(x.status, Status::skipped) << x.text;
    EXPECT_EQ(read_file(dir / "dest/same"), "first");
    EXPECT_NE(x.text.find("Skipped: same: the file exists"), std::string::npos) << x.text;
    EXPECT_EQ(read_file(dir / "dest/f"), "a file");
    EXPECT_NE(x.text.find("Error: f/below: cannot open folder f"), std::string::npos) << x.text;

    fs::remove_all(dir / "dest");
    EXPECT_EQ(extract(path("a.lzh")).status, Status::io);
    EXPECT_EQ(read_file(dir / "dest/same"), "second");
    EXPECT_TRUE(leftovers(dir / "dest").empty());
}

// Several workers write the files, but the report, the order of events and the tree that
// results are those of one: members decided in order, files replaced in order, and a member
// that meets a file still being written waits for it.
TEST_F(Restore, ManyWorkersReportAndRestoreExactlyAsOne) {
    std::vector<RawMember> members;
    for (int i = 0; i < 300; ++i)
        members.push_back(raw_file("d" + std::to_string(i % 7) + "/f" + std::to_string(i),
                                   text_data(100 + 37 * static_cast<std::size_t>(i), i)));
    // Large ones are started ahead of the small ones before them.
    members.insert(members.begin() + 20, raw_file("d1/large1", text_data(1500000, 1)));
    members.insert(members.begin() + 150, raw_file("large2", noise_data(2100000, 2)));
    members.push_back(raw_file("../outside", "refused"));
    members.push_back({"d2", "", true, {}});
    members.push_back(raw_link("d3/link", "f1"));
    members.push_back(raw_file("d1/f1", "the same name again"));  // waits for the first d1/f1
    members.push_back(raw_file("d0/f0/below", "through a file"));
    members.push_back(raw_file("exists", "new"));
    std::string arc = build_archive(members);
    const std::string damaged_name = "d4/f4";
    const std::size_t at = arc.find(text_data(100 + 37 * 4, 4));
    ASSERT_NE(at, std::string::npos);
    arc[at + 10] ^= 1;  // that member fails its CRC
    write_file(dir / "a.lzh", arc);

    for (const char* overwrite : {"", " -c"}) {
        SCOPED_TRACE(overwrite);
        std::map<std::string, std::string> trees;
        std::map<std::string, std::string> reports;
        for (const char* workers : {"1", "4"}) {
            const std::string out = std::string("out") + workers;
            fs::remove_all(dir / out);
            write_file(dir / out / "exists", "old");
            fs::create_directories(dir / out / "d5/f5/kept");  // a folder where a file goes
            auto x =
                run("x " + path("a.lzh") + " " + path(out) + "/" + overwrite + " -jp" + workers);
            EXPECT_NE(x.text.find("Error: d5/f5: a folder of that name is in the way"),
                      std::string::npos)
                << x.text;
            EXPECT_TRUE(fs::is_directory(dir / out / "d5/f5/kept"));
            EXPECT_NE(x.text.find("Error: " + damaged_name + ": CRC error"), std::string::npos);
            EXPECT_NE(x.text.find("Refused: ../outside"), std::string::npos) << x.text;
            std::string text = x.text;
            for (std::size_t p; (p = text.find(path(out))) != std::string::npos;)
                text.replace(p, path(out).size(), "DEST");
            reports[workers] = text;
            trees[workers] = "";
            for (auto& [name, content] : tree(dir / out))
                trees[workers] += name + " " + content + "\n";
            EXPECT_TRUE(leftovers(dir / out).empty());
        }
        EXPECT_EQ(reports["1"], reports["4"]);
        EXPECT_EQ(trees["1"], trees["4"]);
        EXPECT_EQ(read_file(dir / "out4/d1/f1"),
                  *overwrite ? "the same name again" : text_data(137, 1));
        EXPECT_EQ(read_file(dir / "out4/exists"), *overwrite ? "new" : "old");
    }
    auto t1 = run("t " + path("a.lzh") + " -jp1");
    auto t4 = run("t " + path("a.lzh") + " -jp4");
    EXPECT_EQ(t1.status, Status::damaged);
    EXPECT_EQ(t1.text, t4.text);
}

// Files keep their folders open until they have their names; with few descriptors to spare, a
// member that needs one more folder waits until members before it have closed some.
TEST_F(Restore, ManyFoldersComeOutWithFewDescriptorsToSpare) {
    std::vector<RawMember> members;
    for (int d = 0; d < 60; ++d)
        for (int f = 0; f < 3; ++f)
            members.push_back(raw_file("d" + std::to_string(d) + "/f" + std::to_string(f),
                                       text_data(2000, static_cast<unsigned>(d * 3 + f))));
    write_file(dir / "a.lzh", build_archive(members));
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    struct rlimit few = saved;
    few.rlim_cur = 48;  // at most 12 folders held open
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
    auto one = run("x " + path("a.lzh") + " " + path("one") + "/ -jp1");
    auto four = run("x " + path("a.lzh") + " " + path("four") + "/ -jp4");
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(four.status, Status::ok) << four.text;
    EXPECT_EQ(tree(dir / "four"), tree(dir / "one"));
    EXPECT_EQ(tree(dir / "four").size(), 60u * 4);
    std::string a = one.text, b = four.text;
    a.replace(a.find(path("one")), path("one").size(), "DEST");
    b.replace(b.find(path("four")), path("four").size(), "DEST");
    EXPECT_EQ(a, b);
}
