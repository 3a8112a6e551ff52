// Updating under races: two updates of one archive, a killed writer's leftovers, a FIFO put in a
// file's place, a file rewritten while it is read, and trees deeper than any path may be long.
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "archive_writer.h"
#include "file_io.h"
#include "lzh_test_util.h"
#include "paths.h"

using namespace lzhtest;
using lzh::Status;
using lzh::detail::IoCall;

namespace {

class Update : public TempDirTest {
  protected:
    std::vector<std::string> temporaries() {
        std::vector<std::string> v;
        for (auto& e : fs::directory_iterator(dir))
            if (e.path().string().find(".tmp-") != std::string::npos)
                v.push_back(e.path().filename());
        return v;
    }
    // Runs `body` in a child process that is stopped after 60 s should it hang, and returns the
    // child's exit code (-1 when it did not exit by itself).
    template <typename Body>
    int in_child(Body body) {
        pid_t child = ::fork();
        if (child == 0) {
            ::alarm(60);
            ::_exit(body());
        }
        int st = 0;
        ::waitpid(child, &st, 0);
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
};

}  // namespace

TEST_F(Update, ASecondUpdateWaitsForTheFirstAndNothingIsLost) {
    write_file(dir / "one/a.txt", "A");
    write_file(dir / "two/b.txt", "B");
    const std::string arc = path("arc.lzh");
    ASSERT_EQ(run("a " + arc + " " + path("one") + "/*.*").status, Status::ok);
    write_file(dir / "one/a2.txt", "A2");

    // The first update, about to write its new archive, lets a second one start, and goes on
    // once that one either waits for it or (were there no lock) has finished.
    std::mutex mu;
    std::condition_variable cv;
    bool second_waits = false, second_done = false;
    std::atomic<bool> armed{true};
    Result second;
    std::thread other;
    InjectedFault hook([&](IoCall call, int) {
        if (call == IoCall::lock_wait) {
            std::lock_guard<std::mutex> lk(mu);
            second_waits = true;
            cv.notify_all();
        } else if (call == IoCall::write && armed.exchange(false)) {
            other = std::thread([&] {
                second = run("a " + arc + " " + path("two") + "/*.*");
                std::lock_guard<std::mutex> lk(mu);
                second_done = true;
                cv.notify_all();
            });
            std::unique_lock<std::mutex> lk(mu);
            cv.wait(lk, [&] { return second_waits || second_done; });
        }
        return 0;
    });
    auto first = run("a " + arc + " " + path("one") + "/*.*");
    other.join();
    EXPECT_EQ(first.status, Status::ok) << first.text;
    EXPECT_EQ(second.status, Status::ok) << second.text;
    EXPECT_NE(second.text.find("Waited "), std::string::npos) << second.text;
    EXPECT_NE(second.text.find(" for another update of " + arc + " to finish."), std::string::npos)
        << second.text;
    EXPECT_EQ(member_paths(arc), (std::vector<std::string>{"a.txt", "a2.txt", "b.txt"}));
}

TEST_F(Update, TemporaryArchivesOfKilledWritersAreRemoved) {
    write_file(dir / "s/a.txt", text_data(5000));
    const std::string arc = path("arc.lzh");
    ASSERT_EQ(run("a " + arc + " " + path("s") + "/*.*").status, Status::ok);
    const std::string before = read_file(arc);
    write_file(dir / "s/b.txt", text_data(7000, 4));
    // A writer killed just as it writes its new archive.
    int code = in_child([&] {
        lzh::detail::set_io_fault([](IoCall call, int) {
            if (call == IoCall::write) ::raise(SIGKILL);
            return 0;
        });
        run("a " + arc + " " + path("s") + "/*.*");
        return 0;
    });
    EXPECT_EQ(code, -1);
    ASSERT_EQ(temporaries().size(), 1u);
    EXPECT_EQ(read_file(arc), before);
    // One that looks the same but is held by a running writer stays.
    write_file(arc + ".tmp-Live01", "being written");
    lzh::detail::Fd live(::open((arc + ".tmp-Live01").c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(::flock(live.get(), LOCK_EX), 0);

    auto u = run("u " + arc + " " + path("s") + "/*.*");
    EXPECT_EQ(u.status, Status::ok) << u.text;
    EXPECT_NE(u.text.find("Removed 1 temporary file left by an update of " + arc),
              std::string::npos)
        << u.text;
    EXPECT_EQ(temporaries(), std::vector<std::string>{"arc.lzh.tmp-Live01"});
    EXPECT_EQ(member_paths(arc), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(Update, AFifoPutInAFilesPlaceAfterTheScanDoesNotHang) {
    write_file(dir / "s/a.txt", "old a");
    write_file(dir / "s/b.txt", "b");
    const std::string arc = path("arc.lzh");
    ASSERT_EQ(run("a " + arc + " " + path("s") + "/*.*").status, Status::ok);
    const std::string target = path("s/a.txt");
    int code = in_child([&] {
        lzh::detail::set_io_fault([&](IoCall call, int) {
            static std::atomic<bool> swapped{false};
            if (call == IoCall::open_source && !swapped.exchange(true)) {
                ::unlink(target.c_str());
                ::mkfifo(target.c_str(), 0644);
            }
            return 0;
        });
        auto r = run("a " + arc + " " + path("s") + "/*.*");
        const bool reported = r.text.find(
                                  "a.txt is no longer a regular file (the previous "
                                  "version is kept)") != std::string::npos;
        return r.status == Status::io && reported ? 0 : 1;
    });
    EXPECT_EQ(code, 0) << "the update hung or did not report the FIFO";
    ASSERT_EQ(run("x " + arc + " " + path("out") + "/").status, Status::ok);
    EXPECT_EQ(read_file(dir / "out/a.txt"), "old a");
}

TEST_F(Update, AFileRewrittenWhileItIsReadIsReadAgainOrKeepsItsPreviousMember) {
    write_file(dir / "s/log.txt", "version 1\n");
    const std::string arc = path("arc.lzh");
    ASSERT_EQ(run("a " + arc + " " + path("s") + "/*.*").status, Status::ok);
    const std::string file = path("s/log.txt");
    struct stat target {};
    ASSERT_EQ(::stat(file.c_str(), &target), 0);
    // Appends to the file whenever it is about to be read, `times` times at most.
    auto rewrite_on_read = [&](int times) {
        return [&, times, left = std::make_shared<std::atomic<int>>(times)](IoCall call, int fd) {
            struct stat st {};
            if (call == IoCall::read_source && ::fstat(fd, &st) == 0 &&
                st.st_ino == target.st_ino && --*left >= 0) {
                std::ofstream(file, std::ios::app) << "appended while read\n";
            }
            return 0;
        };
    };
    {
        InjectedFault once(rewrite_on_read(1));
        auto r = run("a " + arc + " " + path("s") + "/*.*");
        EXPECT_EQ(r.status, Status::ok) << r.text;
    }
    ASSERT_EQ(run("x " + arc + " " + path("out1") + "/").status, Status::ok);
    EXPECT_EQ(read_file(dir / "out1/log.txt"), read_file(file)) << "stored whole, not torn";

    const std::string kept = read_file(file);
    {
        InjectedFault always(rewrite_on_read(1000));
        auto r = run("a " + arc + " " + path("s") + "/*.*");
        EXPECT_EQ(r.status, Status::io) << r.text;
        EXPECT_NE(r.text.find("log.txt: changed while it was read (the previous version is kept)"),
                  std::string::npos)
            << r.text;
        EXPECT_NE(r.text.find(", 1 error."), std::string::npos) << r.text;
    }
    ASSERT_EQ(run("x " + arc + " " + path("out2") + "/").status, Status::ok);
    EXPECT_EQ(read_file(dir / "out2/log.txt"), kept);
}

TEST_F(Update, PathsLongerThanTheSystemLimitAreStoredAndRestored) {
    // 50 folders of 100 characters: a path of over 5,000 bytes, beyond what one call may name.
    const std::string step(100, 'd');
    lzh::detail::Fd cur(::open(dir.c_str(), O_RDONLY | O_DIRECTORY));
    ASSERT_EQ(::mkdirat(cur.get(), "deep", 0755), 0);
    cur.reset(::openat(cur.get(), "deep", O_RDONLY | O_DIRECTORY));
    std::string rel = "deep";
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(::mkdirat(cur.get(), step.c_str(), 0755), 0);
        cur.reset(::openat(cur.get(), step.c_str(), O_RDONLY | O_DIRECTORY));
        ASSERT_TRUE(cur.valid());
        rel += "/" + step;
    }
    lzh::detail::Fd f(::openat(cur.get(), "bottom.txt", O_WRONLY | O_CREAT, 0644));
    ASSERT_EQ(::write(f.get(), "at the bottom", 13), 13);
    ASSERT_GT(path(rel).size(), 4096u);

    const std::string arc = path("arc.lzh");
    auto u = run("u " + arc + " \"" + path("deep") + "\"\\*.* -x1 -r");
    EXPECT_EQ(u.status, Status::ok) << u.text.substr(0, 2000);
    EXPECT_NE(u.text.find(", 0 errors."), std::string::npos) << u.text.substr(u.text.size() - 300);
    auto names = member_paths(arc);
    const std::string deepest = path(rel).substr(1) + "/bottom.txt";
    EXPECT_TRUE(names.back() == deepest) << "the file at the bottom is missing";
    EXPECT_EQ(names.size(),
              51u);  // 50 folders and the file ("deep" itself is the pattern's folder)

    auto x = run("x " + arc + " " + path("out") + "/");
    ASSERT_EQ(x.status, Status::ok) << x.text.substr(0, 2000);
    lzh::detail::Fd out(::open(path("out").c_str(), O_RDONLY | O_DIRECTORY));
    for (auto& part : lzh::detail::split_path(path(rel).substr(1)))
        out.reset(::openat(out.get(), part.c_str(), O_RDONLY | O_DIRECTORY));
    lzh::detail::Fd back(::openat(out.get(), "bottom.txt", O_RDONLY));
    char buf[32] = {};
    ASSERT_EQ(::read(back.get(), buf, sizeof buf), 13);
    EXPECT_STREQ(buf, "at the bottom");
}

TEST_F(Update, EveryErrorLineIsCountedInTheSummary) {
    write_file(dir / "s/a.txt", "a");
    write_file(dir / "s/b.txt", "b");
    InjectedFault unreadable(
        [](IoCall call, int) { return call == IoCall::open_source ? EACCES : 0; });
    auto u = run("a " + path("arc.lzh") + " " + path("s") + "/*.* " + path("missing.txt"));
    EXPECT_EQ(u.status, Status::no_files) << u.text;
    EXPECT_EQ(error_lines(u.text), 3) << u.text;
    EXPECT_NE(u.text.find("0 members stored in " + path("arc.lzh") + ", 0 unchanged, 3 errors."),
              std::string::npos)
        << u.text;
}

TEST_F(Update, WorkersPiecesAndSpilledMembersComeBackExactly) {
    // Many small files keep the workers busy side by side, a large text file is coded in pieces
    // on several threads, and noise beyond the memory budget spills to a temporary file. The
    // writer's limits are lowered so that small files take those paths.
    for (int i = 0; i < 24; ++i)
        write_file(dir / "s" / ("f" + std::to_string(i)),
                   text_data(20000 + 1000 * static_cast<std::size_t>(i), static_cast<unsigned>(i)));
    write_file(dir / "s/large.txt", text_data(3 << 20, 77));
    write_file(dir / "s/noise.bin", noise_data(2 << 20, 78));
    std::vector<lzh::detail::PlanItem> plan;
    for (auto& e : fs::directory_iterator(dir / "s")) {
        lzh::detail::PlanItem p;
        p.from_disk = true;
        p.entry.disk_path = e.path().string();
        p.entry.name = e.path().filename().string();
        ASSERT_EQ(::lstat(p.entry.disk_path.c_str(), &p.entry.st), 0);
        plan.push_back(std::move(p));
    }
    lzh::detail::WriteOptions opt;
    opt.threads = 3;
    opt.piece_threshold = 1 << 20;
    opt.piece_size = 256 << 10;
    opt.memory_budget = 1 << 20;
    int stored = 0;
    lzh::detail::write_archive(path("arc.lzh"), nullptr, plan, opt,
                               [&](const lzh::detail::StoredMember& sm) { stored += sm.ok; });
    EXPECT_EQ(stored, 26);
    ASSERT_EQ(run("x " + path("arc.lzh") + " " + path("out") + "/ -l0").status, Status::ok);
    EXPECT_EQ(tree(dir / "out"), tree(dir / "s"));
}

// The folders are read on several threads, yet the members, their order (each folder's names
// sorted, a folder before what it holds) and the report are those of one walk.
TEST_F(Update, FoldersReadOnManyThreadsGiveWhatOneWalkGives) {
    for (int a = 0; a < 6; ++a)
        for (int b = 0; b < 5; ++b)
            for (int f = 0; f < 4; ++f)
                write_file(dir / "s" / ("a" + std::to_string(a)) / ("b" + std::to_string(b)) /
                               ("f" + std::to_string(f)),
                           std::to_string(a * 100 + b * 10 + f));
    ASSERT_EQ(::mkfifo(path("s/a2/pipe").c_str(), 0600), 0);
    fs::create_symlink("b1/f0", dir / "s/a3/link");
    fs::create_directories(dir / "s/a4/empty");
    std::map<std::string, std::string> reports;
    std::map<std::string, std::vector<std::string>> lists;
    for (const char* workers : {"1", "4"}) {
        const std::string arc = path(std::string("arc") + workers + ".lzh");
        auto r = run("a " + arc + " " + path("s") + "/*.* -r -jp" + workers);
        ASSERT_EQ(r.status, Status::ok) << r.text;
        std::string text = r.text;
        text.replace(text.find(arc), arc.size(), "ARC");
        reports[workers] = text;
        lists[workers] = member_paths(arc);
    }
    EXPECT_EQ(reports["1"], reports["4"]);
    EXPECT_EQ(lists["1"], lists["4"]);
    EXPECT_NE(reports["4"].find("Not stored (not a file, folder or link): " + path("s/a2/pipe")),
              std::string::npos)
        << reports["4"];
    const auto& names = lists["4"];
    ASSERT_EQ(names.size(), 6 + 6 * 5 + 6 * 5 * 4 + 2u);
    EXPECT_EQ(names[0], "a0");
    EXPECT_EQ(names[1], "a0/b0");
    EXPECT_EQ(names[2], "a0/b0/f0");
    EXPECT_EQ(names[6], "a0/b1");
    EXPECT_EQ(names.back(), "a5/b4/f3");
    EXPECT_NE(std::find(names.begin(), names.end(), "a3/link"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "a4/empty"), names.end());
}
