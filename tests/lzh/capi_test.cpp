// Drives the C checks, and calls the C functions from two threads at once as the backup run
// and the restore window may.
#include <atomic>
#include <thread>

#include "lzh_test_util.h"
#include "unlha32.h"

extern "C" int capi_c_checks(const char* archive, int expected, const char* folder);

using namespace lzhtest;

class CApi : public TempDirTest {};

TEST_F(CApi, CallersInCWalkTheArchive) {
    write_file(dir / "s/a.txt", text_data(1000));
    write_file(dir / "s/b.txt", text_data(2000));
    write_file(dir / "more/c.txt", "c");
    ASSERT_EQ(run("a " + path("arc.lzh") + " " + path("s") + "/*.*").status, lzh::Status::ok);
    EXPECT_EQ(capi_c_checks(path("arc.lzh").c_str(), 2, path("more").c_str()), 0);
    EXPECT_EQ(UnlhaGetFileCount(path("missing.lzh").c_str()), -1);
    EXPECT_EQ(UnlhaOpenArchive(nullptr, path("missing.lzh").c_str(), 0), nullptr);
}

TEST_F(CApi, TwoThreadsAtOnceAndTheRunningFlag) {
    for (int i = 0; i < 20; ++i)
        write_file(dir / "s" / ("f" + std::to_string(i)),
                   text_data(200000, static_cast<unsigned>(i)));
    write_file(dir / "r/x.txt", text_data(5000));
    ASSERT_EQ(run("a " + path("read.lzh") + " " + path("r") + "/*.*").status, lzh::Status::ok);

    std::atomic<bool> backup_done{false};
    std::atomic<int> seen_running{0};
    int backup_rc = -1;
    std::thread backup([&] {
        static char out[999999];
        std::string cmd = "u " + path("backup") + " \"" + path("s") + "\"\\*.* -x1 -r";
        backup_rc = Unlha(nullptr, cmd.c_str(), out, sizeof out);
        backup_done = true;
    });
    // The restore window's listing, repeated while the backup runs.
    int rounds = 0;
    bool listing_ok = true;
    while (!backup_done || rounds == 0) {
        seen_running += UnlhaGetRunning();
        HARC h = UnlhaOpenArchive(nullptr, path("read.lzh").c_str(), 0);
        INDIVIDUALINFO info;
        char name[255];
        listing_ok = listing_ok && h && UnlhaFindFirst(h, "*.*", &info) == 0 &&
                     info.dwOriginalSize == 5000 && UnlhaGetFileName(h, name, sizeof name) == 0 &&
                     std::string(name) == "x.txt";
        UnlhaCloseArchive(h);
        char out[4096];
        std::string cmd = "t " + path("read.lzh");
        listing_ok = listing_ok && Unlha(nullptr, cmd.c_str(), out, sizeof out) == 0;
        ++rounds;
    }
    backup.join();
    EXPECT_TRUE(listing_ok);
    EXPECT_EQ(backup_rc, 0);
    EXPECT_GT(seen_running.load(), 0);
    EXPECT_EQ(UnlhaGetRunning(), 0);
    EXPECT_EQ(UnlhaGetFileCount(path("backup.lzh").c_str()), 20);
}

// The listing reads the members as FindFirst/FindNext walk them (a listing of any length holds
// one member): a new FindFirst starts over, the sizes are known before, during and after a
// walk, and a walk goes on over the archive it started on even when an update replaces it.
TEST_F(CApi, TheListingWalksTheArchiveAsItGoes) {
    write_file(dir / "s/a.txt", text_data(1000, 1));
    write_file(dir / "s/b.txt", text_data(2000, 2));
    write_file(dir / "s/c.txt", text_data(3000, 3));
    ASSERT_EQ(run("a " + path("arc.lzh") + " " + path("s") + "/*.*").status, lzh::Status::ok);
    HARC h = UnlhaOpenArchive(nullptr, path("arc.lzh").c_str(), 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(UnlhaGetArcOriginalSize(h), 6000u);
    const DWORD packed = UnlhaGetArcFileSize(h);
    INDIVIDUALINFO info;
    char name[UNLHA_NAME_SIZE];
    ASSERT_EQ(UnlhaFindFirst(h, "b*", &info), 0);
    EXPECT_STREQ(info.szFileName, "b.txt");
    EXPECT_EQ(UnlhaFindNext(h, &info), -1);
    EXPECT_EQ(UnlhaGetFileName(h, name, sizeof name), -1);
    EXPECT_STREQ(name, "");

    ASSERT_EQ(UnlhaFindFirst(h, "*.*", &info), 0);
    EXPECT_STREQ(info.szFileName, "a.txt");
    // An update puts a new archive in the old one's place; this walk stays on the old one.
    write_file(dir / "s/d.txt", "d");
    ASSERT_EQ(run("u " + path("arc.lzh") + " " + path("s") + "/*.*").status, lzh::Status::ok);
    std::vector<std::string> rest;
    while (UnlhaFindNext(h, &info) == 0) rest.emplace_back(info.szFileName);
    EXPECT_EQ(rest, (std::vector<std::string>{"b.txt", "c.txt"}));
    EXPECT_EQ(UnlhaGetArcOriginalSize(h), 6000u);
    EXPECT_EQ(UnlhaGetArcFileSize(h), packed);
    EXPECT_EQ(UnlhaCloseArchive(h), UNLHA_OK);
    EXPECT_EQ(UnlhaGetFileCount(path("arc.lzh").c_str()), 4);

    // A damaged archive lists the members before the damage, and its sizes are theirs.
    std::string bytes = read_file(dir / "arc.lzh");
    lzh::ArchiveReader r(path("arc.lzh"));
    lzh::Member m, last;
    while (r.next(m)) last = m;
    bytes.resize(last.header_offset + 5);
    write_file(dir / "cut.lzh", bytes);
    h = UnlhaOpenArchive(nullptr, path("cut.lzh").c_str(), 0);
    ASSERT_NE(h, nullptr);
    int listed = 0;
    for (int found = UnlhaFindFirst(h, "*.*", &info); found == 0; found = UnlhaFindNext(h, &info))
        ++listed;
    EXPECT_EQ(listed, 3);
    EXPECT_EQ(UnlhaGetArcOriginalSize(h), 6000u);
    UnlhaCloseArchive(h);
    EXPECT_EQ(UnlhaGetFileCount(path("cut.lzh").c_str()), 3);
}

// The Restore window counts the members, walks exactly that many and then asks the sizes, so its
// walk never reads the end: the sizes must still be those of the archive its rows came from, also
// when an update has put a new archive in its place meanwhile, and asking them must not move a
// walk that is still going.
TEST_F(CApi, SizesAskedAfterTheLastRowDescribeTheArchiveTheRowsCameFrom) {
    write_file(dir / "s/a.txt", text_data(1000, 1));
    write_file(dir / "s/b.txt", text_data(2000, 2));
    write_file(dir / "s/c.txt", text_data(3000, 3));
    ASSERT_EQ(run("a " + path("arc.lzh") + " " + path("s") + "/*.*").status, lzh::Status::ok);
    const int count = UnlhaGetFileCount(path("arc.lzh").c_str());
    ASSERT_EQ(count, 3);
    HARC window = UnlhaOpenArchive(nullptr, path("arc.lzh").c_str(), 0);
    HARC midway = UnlhaOpenArchive(nullptr, path("arc.lzh").c_str(), 0);
    ASSERT_NE(window, nullptr);
    ASSERT_NE(midway, nullptr);
    INDIVIDUALINFO info;
    std::uint64_t original = 0, packed = 0;
    ASSERT_EQ(UnlhaFindFirst(window, "*.*", &info), 0);
    original += info.dwOriginalSize;
    packed += info.dwCompressedSize;
    for (int n = 1; n < count; ++n) {
        ASSERT_EQ(UnlhaFindNext(window, &info), 0);
        original += info.dwOriginalSize;
        packed += info.dwCompressedSize;
    }
    ASSERT_EQ(UnlhaFindFirst(midway, "*.*", &info), 0);
    EXPECT_STREQ(info.szFileName, "a.txt");

    write_file(dir / "s/d.txt", text_data(4000, 4));
    ASSERT_EQ(run("u " + path("arc.lzh") + " " + path("s") + "/*.*").status, lzh::Status::ok);
    EXPECT_EQ(UnlhaGetArcOriginalSize(window), original);
    EXPECT_EQ(UnlhaGetArcFileSize(window), packed);
    EXPECT_EQ(original, 6000u);
    EXPECT_EQ(UnlhaFindNext(window, &info), -1);
    EXPECT_EQ(UnlhaGetArcOriginalSize(window), 6000u);
    EXPECT_EQ(UnlhaGetArcFileSize(window), packed);

    EXPECT_EQ(UnlhaGetArcOriginalSize(midway), 6000u);
    EXPECT_EQ(UnlhaGetArcFileSize(midway), packed);
    std::vector<std::string> rest;
    while (UnlhaFindNext(midway, &info) == 0) rest.emplace_back(info.szFileName);
    EXPECT_EQ(rest, (std::vector<std::string>{"b.txt", "c.txt"}));
    EXPECT_EQ(UnlhaCloseArchive(window), UNLHA_OK);
    EXPECT_EQ(UnlhaCloseArchive(midway), UNLHA_OK);
}
