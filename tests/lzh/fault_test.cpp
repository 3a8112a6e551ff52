// Every write, flush and rename of a small update and of a small restore made to fail in turn:
// each run either succeeds or says it failed, and a failed one leaves the old archive and the
// old files exactly as they were.
#include <atomic>

#include "lzh_test_util.h"

using namespace lzhtest;
using lzh::Status;
using lzh::detail::IoCall;

namespace {

// Fails the `n`th write, fsync or rename (counting from 1) with `error`; remembers whether it
// got that far.
struct NthCallFails {
    NthCallFails(int n, int error) : n_(n), error_(error) {}
    int operator()(IoCall call, int) {
        if (call != IoCall::write && call != IoCall::fsync && call != IoCall::rename) return 0;
        if (++calls_ != n_) return 0;
        fired_ = true;
        return error_;
    }
    bool fired() const { return fired_; }

  private:
    int n_, error_;
    std::atomic<int> calls_{0};
    std::atomic<bool> fired_{false};
};

class Faults : public TempDirTest, public ::testing::WithParamInterface<int> {
  protected:
    // Runs `command` with the nth call failing, for n = 1, 2, ... until it runs through without
    // reaching the fault; `check` judges each failed run. Returns how many calls there were.
    template <typename Reset, typename Check>
    int fail_each_call(const std::string& command, Reset reset, Check check) {
        for (int n = 1; n < 1000; ++n) {
            reset();
            auto counter = std::make_shared<NthCallFails>(n, GetParam());
            Result r;
            {
                InjectedFault fault([counter](IoCall c, int fd) { return (*counter)(c, fd); });
                r = run(command);
            }
            if (!counter->fired()) {
                EXPECT_EQ(r.status, Status::ok) << r.text;
                return n - 1;
            }
            SCOPED_TRACE("call " + std::to_string(n) + " failed");
            EXPECT_NE(r.status, Status::ok) << r.text;
            EXPECT_NE(r.text.find("Error: "), std::string::npos) << r.text;
            check(r);
        }
        ADD_FAILURE() << "the command never ran through";
        return 0;
    }
};

}  // namespace

TEST_P(Faults, AFailedUpdateLeavesTheOldArchiveExactlyAsItWas) {
    write_file(dir / "s/a.txt", text_data(20000, 1));
    write_file(dir / "s/b.txt", text_data(3000, 2));
    const std::string arc = path("arc.lzh");
    ASSERT_EQ(run("a " + arc + " " + path("s") + "/*.*").status, Status::ok);
    const std::string before = read_file(arc);
    write_file(dir / "s/b.txt", "b, changed");
    write_file(dir / "s/c.txt", text_data(5000, 3));
    const int calls = fail_each_call(
        "a " + arc + " " + path("s") + "/*.*", [] {},
        [&](const Result& r) {
            EXPECT_NE(r.text.find("the archive was not changed"), std::string::npos) << r.text;
            EXPECT_EQ(read_file(arc), before);
            for (auto& e : fs::directory_iterator(dir))
                EXPECT_EQ(e.path().string().find(".tmp-"), std::string::npos) << e.path();
        });
    EXPECT_EQ(calls, 3);  // the new archive's write, flush and rename
    EXPECT_EQ(run("t " + arc).status, Status::ok);
}

TEST_P(Faults, AFailedRestoreLeavesTheOldFilesExactlyAsTheyWere) {
    write_file(dir / "s/a.txt", text_data(20000, 1));
    write_file(dir / "s/sub/b.txt", "new b");
    write_file(dir / "s/sub/c.txt", text_data(4000, 3));
    ASSERT_EQ(run("a " + path("arc.lzh") + " " + path("s") + "/*.* -r").status, Status::ok);
    auto reset = [&] {
        fs::remove_all(dir / "dest");
        write_file(dir / "dest/a.txt", "old a");
        write_file(dir / "dest/sub/b.txt", "old b");
    };
    const auto complete = tree(dir / "s");
    const int calls = fail_each_call(
        "x " + path("arc.lzh") + " " + path("dest") + "/ -c", reset, [&](const Result& r) {
            (void)r;
            // Every file is its old self, or (when new or replaced) complete: never cut.
            for (auto& [name, content] : tree(dir / "dest")) {
                EXPECT_EQ(name.find(".lzh-"), std::string::npos) << "left over: " << name;
                if (name == "a.txt" && content == digest("old a")) continue;
                if (name == "sub/b.txt" && content == digest("old b")) continue;
                if (name.back() == '/') continue;
                EXPECT_EQ(content, complete.at(name)) << name;
            }
        });
    // Three files written, each then trying its name without replacing; the two that find it
    // taken replace theirs in one batch after one flush.
    EXPECT_EQ(calls, 9);
    EXPECT_EQ(tree(dir / "dest"), complete);
}

INSTANTIATE_TEST_SUITE_P(IoErrorAndFullDisk, Faults, ::testing::Values(EIO, ENOSPC),
                         [](const auto& p) { return p.param == EIO ? "EIO" : "ENOSPC"; });
