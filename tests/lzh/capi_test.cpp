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
