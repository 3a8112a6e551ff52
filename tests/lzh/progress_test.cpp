// The progress callback of the C functions: what a caller is told member by member, the totals
// it is given first (and can count alone), and stopping: an update that is stopped leaves the
// archive byte for byte as it was, a test or an extraction goes no further.
#include <set>
#include <thread>

#include "lzh_test_util.h"
#include "unlha32.h"

using namespace lzhtest;

namespace {

struct Step {
    int command, stage;
    std::string member;
    std::uint64_t files_done, files_total, bytes_done, bytes_total, packed_done;
};

// Records every call; asks to stop at call number `stop_at` (counted from 1), if any.
struct Recorder {
    std::vector<Step> steps;
    std::size_t stop_at = 0;
    std::set<std::thread::id> threads;

    static int WINAPI proc(const UNLHA_PROGRESS* p, void* context) {
        auto* self = static_cast<Recorder*>(context);
        EXPECT_EQ(p->dwStructSize, sizeof(UNLHA_PROGRESS));
        self->threads.insert(std::this_thread::get_id());
        self->steps.push_back({p->nCommand, p->nStage, p->szMember, p->ullFilesDone,
                               p->ullFilesTotal, p->ullBytesDone, p->ullBytesTotal,
                               p->ullPackedDone});
        return self->steps.size() == self->stop_at ? UNLHA_PROGRESS_STOP : UNLHA_PROGRESS_CONTINUE;
    }
    std::vector<std::string> done() const {
        std::vector<std::string> names;
        for (auto& s : steps)
            if (s.stage == UNLHA_PROGRESS_DONE) names.push_back(s.member);
        return names;
    }
};

struct Outcome {
    int result;
    std::string report;
};

Outcome run_with(const std::string& cmd, Recorder* recorder) {
    static thread_local std::vector<char> out(999999);
    int rc = UnlhaWithProgress(nullptr, cmd.c_str(), out.data(), static_cast<DWORD>(out.size()),
                               recorder ? &Recorder::proc : nullptr, recorder);
    return {rc, out.data()};
}

// Member names as the archive lists them, in order.
std::vector<std::string> members(const std::string& archive) {
    std::vector<std::string> names;
    HARC h = UnlhaOpenArchive(nullptr, archive.c_str(), 0);
    INDIVIDUALINFO info;
    for (int found = UnlhaFindFirst(h, "*.*", &info); found == 0; found = UnlhaFindNext(h, &info))
        names.emplace_back(info.szFileName);
    UnlhaCloseArchive(h);
    return names;
}

class Progress : public TempDirTest {
  protected:
    // A folder of five files of known sizes and a subfolder.
    void make_folder() {
        write_file(dir / "src/a.txt", text_data(1000, 1));
        write_file(dir / "src/b.bin", noise_data(3000));
        write_file(dir / "src/sub/c.txt", text_data(20000, 3));
        write_file(dir / "src/sub/d.txt", "");
        write_file(dir / "src/big.txt", text_data(300000, 5));
    }
    std::string backup_line() const {
        return "u " + path("arc.lzh") + " \"" + path("src") + "\"\\*.* -x1 -r";
    }
    static constexpr std::uint64_t kFolderBytes = 1000 + 3000 + 20000 + 0 + 300000;
};

TEST_F(Progress, AnUpdateTellsEveryMemberWithTotalsKnownFromTheStart) {
    make_folder();
    std::uint64_t files = 0, bytes = 0;
    ASSERT_EQ(UnlhaCountFiles(backup_line().c_str(), &files, &bytes), UNLHA_OK);
    EXPECT_EQ(files, 6u);  // five files and the subfolder
    EXPECT_EQ(bytes, kFolderBytes);

    Recorder rec;
    const Outcome o = run_with(backup_line() + " -jp2", &rec);
    ASSERT_EQ(o.result, UNLHA_OK) << o.report;
    ASSERT_EQ(rec.steps.size(), 12u);
    EXPECT_EQ(rec.done(), members(path("arc.lzh")));
    std::uint64_t files_done = 0;
    for (std::size_t i = 0; i < rec.steps.size(); ++i) {
        const Step& s = rec.steps[i];
        EXPECT_EQ(s.command, 'u');
        EXPECT_EQ(s.files_total, files);
        EXPECT_EQ(s.bytes_total, bytes);
        // Each member is announced, then done, before the next one starts.
        EXPECT_EQ(s.stage, i % 2 == 0 ? UNLHA_PROGRESS_STARTING : UNLHA_PROGRESS_DONE);
        if (i % 2 == 1) {
            EXPECT_EQ(s.member, rec.steps[i - 1].member);
        }
        if (s.stage == UNLHA_PROGRESS_DONE) ++files_done;
        EXPECT_EQ(s.files_done, files_done);
    }
    const Step& last = rec.steps.back();
    EXPECT_EQ(last.bytes_done, bytes);
    HARC h = UnlhaOpenArchive(nullptr, path("arc.lzh").c_str(), 0);
    EXPECT_EQ(last.packed_done, UnlhaGetArcFileSize(h));
    UnlhaCloseArchive(h);
    EXPECT_EQ(rec.threads, std::set<std::thread::id>{std::this_thread::get_id()});

    // Nothing newer: nothing to count, nothing to tell.
    ASSERT_EQ(UnlhaCountFiles(backup_line().c_str(), &files, &bytes), UNLHA_OK);
    EXPECT_EQ(files, 0u);
    Recorder again;
    EXPECT_EQ(run_with(backup_line(), &again).result, UNLHA_OK);
    EXPECT_TRUE(again.steps.empty());
}

TEST_F(Progress, WithoutACallbackItIsUnlha) {
    make_folder();
    const Outcome with = run_with("a " + path("one.lzh") + " " + path("src") + " -r", nullptr);
    std::vector<char> out(65536);
    const std::string cmd = "a " + path("two.lzh") + " " + path("src") + " -r";
    ASSERT_EQ(Unlha(nullptr, cmd.c_str(), out.data(), static_cast<DWORD>(out.size())), with.result);
    std::string same = with.report;
    same.replace(same.find("one.lzh"), 7, "two.lzh");
    EXPECT_EQ(same, out.data());
    EXPECT_EQ(members(path("one.lzh")), members(path("two.lzh")));
}

TEST_F(Progress, AStoppedUpdateLeavesTheArchiveByteForByteAsItWas) {
    make_folder();
    ASSERT_EQ(run_with(backup_line(), nullptr).result, UNLHA_OK);
    const std::string before = read_file(path("arc.lzh"));
    // Newer files for the update to store; stop once the second is done, before the first
    // starts, and before the last starts.
    for (const char* name : {"src/a.txt", "src/b.bin", "src/sub/c.txt", "src/big.txt"}) {
        write_file(dir / name, text_data(5000, 9));
        fs::last_write_time(dir / name, fs::file_time_type::clock::now() + std::chrono::hours(1));
    }
    for (std::size_t stop_at : {4u, 1u, 7u}) {
        Recorder rec;
        rec.stop_at = stop_at;
        const Outcome o = run_with(backup_line() + " -jp2", &rec);
        EXPECT_EQ(o.result, UNLHA_ERROR_CANCELLED) << o.report;
        EXPECT_EQ(rec.steps.size(), stop_at);  // nothing is told after the stop
        const std::uint64_t done = rec.steps.back().files_done;
        EXPECT_NE(o.report.find("Cancelled after " + std::to_string(done) + " of 4 members; " +
                                path("arc.lzh") + " was not changed."),
                  std::string::npos)
            << o.report;
        EXPECT_EQ(read_file(path("arc.lzh")), before) << "stopped at call " << stop_at;
    }
    // No new archive half written beside it.
    for (auto& e : fs::directory_iterator(dir))
        EXPECT_EQ(e.path().filename().string().find("arc.lzh.tmp"), std::string::npos);

    // Stopping the first update of all leaves no archive at all.
    Recorder first;
    first.stop_at = 2;
    const std::string fresh = "u " + path("new.lzh") + " \"" + path("src") + "\"\\*.* -x1 -r";
    EXPECT_EQ(run_with(fresh, &first).result, UNLHA_ERROR_CANCELLED);
    EXPECT_FALSE(fs::exists(path("new.lzh")));
}

TEST_F(Progress, TestAndExtractTellTheSelectedMembersAndStopWhenAsked) {
    make_folder();
    ASSERT_EQ(run_with("a " + path("arc.lzh") + " " + path("src") + " -r", nullptr).result,
              UNLHA_OK);
    const std::vector<std::string> all = members(path("arc.lzh"));

    Recorder tested;
    EXPECT_EQ(run_with("t " + path("arc.lzh"), &tested).result, UNLHA_OK);
    EXPECT_EQ(tested.done(), all);
    EXPECT_EQ(tested.steps.back().bytes_done, kFolderBytes);
    EXPECT_EQ(tested.steps.front().files_total, all.size());

    // Naming members narrows the totals as it narrows the work.
    std::uint64_t files = 0, bytes = 0;
    EXPECT_EQ(UnlhaCountFiles(("x " + path("arc.lzh") + " *.txt").c_str(), &files, &bytes),
              UNLHA_OK);
    EXPECT_EQ(files, 4u);
    EXPECT_EQ(bytes, 1000u + 20000 + 300000);

    // With several workers the calls still come in member order, each member told it is
    // starting and then that it is done.
    for (const char* cmd : {"t ", "x "}) {
        Recorder many;
        const std::string out = cmd[0] == 'x' ? " " + path("many") + "/" : "";
        EXPECT_EQ(run_with(cmd + path("arc.lzh") + out + " -jp4", &many).result, UNLHA_OK);
        EXPECT_EQ(many.done(), all);
        for (std::size_t i = 0; i < many.steps.size(); ++i) {
            EXPECT_EQ(many.steps[i].stage, i % 2 ? UNLHA_PROGRESS_DONE : UNLHA_PROGRESS_STARTING);
            EXPECT_EQ(many.steps[i].member, many.steps[i / 2 * 2].member);
        }
    }

    Recorder stop_test;
    stop_test.stop_at = 4;
    const Outcome t = run_with("t " + path("arc.lzh"), &stop_test);
    EXPECT_EQ(t.result, UNLHA_ERROR_CANCELLED);
    EXPECT_NE(
        t.report.find("Cancelled after 2 of " + std::to_string(all.size()) + " members, 0 bad."),
        std::string::npos)
        << t.report;
    EXPECT_EQ(t.report.find("The archive is OK"), std::string::npos);

    Recorder stop_extract;
    stop_extract.stop_at = 4;
    const Outcome x = run_with("x " + path("arc.lzh") + " " + path("out") + "/", &stop_extract);
    EXPECT_EQ(x.result, UNLHA_ERROR_CANCELLED) << x.report;
    std::set<std::string> extracted;
    for (auto& e : fs::recursive_directory_iterator(dir / "out"))
        if (e.is_regular_file()) extracted.insert(fs::relative(e.path(), dir / "out").string());
    std::set<std::string> told;
    for (auto& name : stop_extract.done())
        if (fs::is_regular_file(dir / name)) told.insert(name);
    EXPECT_EQ(extracted, told);  // the members done, whole; nothing after the stop
}

TEST_F(Progress, CountingNeverChangesAnythingAndReportsWhatStopsIt) {
    make_folder();
    ASSERT_EQ(run_with("a " + path("arc.lzh") + " " + path("src") + " -r", nullptr).result,
              UNLHA_OK);
    const std::string before = read_file(path("arc.lzh"));
    std::uint64_t files = 7, bytes = 7;
    EXPECT_EQ(UnlhaCountFiles(("d " + path("arc.lzh") + " *.txt").c_str(), &files, &bytes),
              UNLHA_OK);
    EXPECT_EQ(files, 0u);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(UnlhaCountFiles(("x " + path("arc.lzh") + " " + path("out") + "/").c_str(), nullptr,
                              nullptr),
              UNLHA_OK);
    EXPECT_FALSE(fs::exists(path("out")));  // not even the destination folder
    // An update would first clear what a killed update left; a count leaves it.
    write_file(dir / "arc.lzh.tmp-Ab12Cd", "left by an update that was killed");
    EXPECT_EQ(UnlhaCountFiles(("u " + path("arc.lzh") + " " + path("src") + " -r").c_str(), &files,
                              &bytes),
              UNLHA_OK);
    EXPECT_TRUE(fs::exists(dir / "arc.lzh.tmp-Ab12Cd"));
    EXPECT_EQ(read_file(path("arc.lzh")), before);

    const std::string missing = "u " + path("arc.lzh") + " \"" + path("gone") + "\"\\*.* -x1 -r";
    EXPECT_EQ(UnlhaCountFiles(missing.c_str(), &files, &bytes), UNLHA_ERROR_NO_FILES);
    EXPECT_EQ(files, 0u);
    EXPECT_EQ(UnlhaCountFiles("a x.lzh y -nonsense", &files, &bytes), UNLHA_ERROR_USAGE);
    EXPECT_EQ(UnlhaCountFiles(("t " + path("none.lzh")).c_str(), &files, &bytes),
              UNLHA_ERROR_NO_ARCHIVE);
    EXPECT_EQ(UnlhaCountFiles(nullptr, &files, &bytes), UNLHA_ERROR_USAGE);
}

// A backup and the Restore window's test at once: each callback hears only its own command,
// on the thread that started it.
TEST_F(Progress, TwoCommandsAtOnceEachTellTheirOwnCaller) {
    make_folder();
    write_file(dir / "other/x.txt", text_data(4000, 7));
    ASSERT_EQ(run_with("a " + path("read.lzh") + " " + path("other") + " -r", nullptr).result,
              UNLHA_OK);
    Recorder backup, test;
    std::thread::id backup_thread;
    std::thread t([&] {
        backup_thread = std::this_thread::get_id();
        EXPECT_EQ(run_with(backup_line(), &backup).result, UNLHA_OK);
    });
    for (int i = 0; i < 20; ++i) EXPECT_EQ(run_with("t " + path("read.lzh"), &test).result, 0);
    t.join();
    EXPECT_EQ(backup.threads, std::set<std::thread::id>{backup_thread});
    EXPECT_EQ(test.threads, std::set<std::thread::id>{std::this_thread::get_id()});
    EXPECT_EQ(backup.done(), members(path("arc.lzh")));
    for (auto& s : test.steps) EXPECT_EQ(s.member.rfind("other", 0), 0u) << s.member;
}

}  // namespace
