// Commands end to end through run_command(): what the backup, listing, test and restore
// command lines do, the path mapping of -x1, atomic update, damaged archives and the refusals
// that keep extraction inside its destination.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "lzh_test_util.h"
#include "paths.h"

using namespace lzhtest;
using lzh::Status;

namespace {

class Commands : public TempDirTest {
  protected:
    void make_tree() {
        write_file(dir / "src/a.txt", text_data(50000));
        write_file(dir / "src/My Docs/b.txt", text_data(20000, 9));
        write_file(dir / "src/My Docs/deep/c.bin", noise_data(30000));
        write_file(dir / "src/empty.dat", "");
        fs::create_directories(dir / "src/empty folder");
        // Folder times from the past, so that a restore that forgets them shows.
        const auto past = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
        for (const char* folder : {"My Docs/deep", "My Docs", "empty folder"})
            fs::last_write_time(dir / "src" / folder, past);
    }
};

}  // namespace

TEST_F(Commands, BackupLineStoresFullPathsAndRestoreRecreatesTheTree) {
    make_tree();
    const std::string arc = path("Backups/Marlo_BACKUP");
    fs::create_directories(dir / "Backups");
    // The backup's command line: quoted folder, then \*.* -x1 -r, backslashes as separators.
    auto r = run("u " + arc + " \"" + path("src") + "\"\\*.* -x1 -r");
    ASSERT_EQ(r.status, Status::ok) << r.text;
    ASSERT_TRUE(fs::exists(arc + ".lzh")) << "the archive name gets .lzh";
    const std::string src_member = path("src").substr(1);  // full path without the root
    EXPECT_NE(r.text.find(src_member + "/My Docs/b.txt"), std::string::npos) << r.text;

    // The listing line of the restore window: no command letter.
    auto l = run("-l1 " + arc + ".lzh");
    EXPECT_EQ(l.status, Status::ok) << l.text;
    EXPECT_NE(l.text.find(src_member + "/My Docs/deep/c.bin"), std::string::npos);
    EXPECT_NE(l.text.find(src_member + "/empty folder/"), std::string::npos);
    EXPECT_NE(l.text.find("7 members"), std::string::npos) << l.text;

    // Test and restore lines: destination ends in a backslash, switch set of the restore window.
    auto t = run("T " + arc + ".lzh " + path("out") + "\\ -jf0 -gj0 -c -jyo0 -l1");
    EXPECT_EQ(t.status, Status::ok) << t.text;
    auto x = run("x " + arc + ".lzh " + path("out") + "\\ -jf0 -gj0 -c -jyo0 -l1");
    ASSERT_EQ(x.status, Status::ok) << x.text;
    EXPECT_EQ(tree(dir / "out" / src_member), tree(dir / "src"));
    // Times come back too (to the second, as the format stores them).
    struct stat a {
    }, b{};
    ASSERT_EQ(::stat((dir / "out" / src_member / "a.txt").c_str(), &a), 0);
    ASSERT_EQ(::stat((dir / "src/a.txt").c_str(), &b), 0);
    EXPECT_EQ(a.st_mtime, b.st_mtime);
    // Folders' too, set after everything inside them is in place.
    for (const char* folder : {"My Docs", "My Docs/deep", "empty folder"}) {
        ASSERT_EQ(::stat((dir / "out" / src_member / folder).c_str(), &a), 0);
        ASSERT_EQ(::stat((dir / "src" / folder).c_str(), &b), 0);
        EXPECT_EQ(a.st_mtime, b.st_mtime) << folder;
    }
}

TEST_F(Commands, TwoFoldersOfOneBackupNeverCollide) {
    write_file(dir / "one/same.txt", "first");
    write_file(dir / "two/same.txt", "second");
    const std::string arc = path("arc");
    ASSERT_EQ(run("u " + arc + " \"" + path("one") + "\"\\*.* -x1 -r").status, Status::ok);
    ASSERT_EQ(run("u " + arc + " \"" + path("two") + "\"\\*.* -x1 -r").status, Status::ok);
    ASSERT_EQ(run("x " + arc + ".lzh " + path("out") + "/ -c").status, Status::ok);
    EXPECT_EQ(read_file(dir / "out" / path("one/same.txt").substr(1)), "first");
    EXPECT_EQ(read_file(dir / "out" / path("two/same.txt").substr(1)), "second");
}

TEST_F(Commands, UpdateWithNothingChangedLeavesTheArchiveUntouched) {
    make_tree();
    const std::string arc = path("arc.lzh");
    const std::string line = "u " + arc + " \"" + path("src") + "\"\\*.* -x1 -r";
    ASSERT_EQ(run(line).status, Status::ok);
    struct stat before {};
    ASSERT_EQ(::stat(arc.c_str(), &before), 0);
    auto again = run(line);
    EXPECT_EQ(again.status, Status::ok) << again.text;
    EXPECT_NE(again.text.find("unchanged"), std::string::npos) << again.text;
    struct stat after {};
    ASSERT_EQ(::stat(arc.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
    EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);

    // A newer file replaces its member in place; the rest are kept; no temporary file is left.
    write_file(dir / "src/a.txt", "changed");
    fs::last_write_time(dir / "src/a.txt",
                        fs::file_time_type::clock::now() + std::chrono::hours(1));
    auto upd = run(line);
    ASSERT_EQ(upd.status, Status::ok) << upd.text;
    EXPECT_NE(upd.text.find("Updated"), std::string::npos);
    EXPECT_NE(upd.text.find("1 member stored"), std::string::npos) << upd.text;
    ASSERT_EQ(run("x " + arc + " " + path("out") + "/").status, Status::ok);
    EXPECT_EQ(read_file(dir / "out" / path("src/a.txt").substr(1)), "changed");
    EXPECT_EQ(read_file(dir / "out" / path("src/My Docs/b.txt").substr(1)), text_data(20000, 9));
    for (auto& e : fs::directory_iterator(dir))
        EXPECT_EQ(e.path().string().find(".tmp-"), std::string::npos);
}

TEST_F(Commands, AddReplacesDeleteRemovesAndTheArchiveIsNeverAddedToItself) {
    write_file(dir / "w/a.txt", "A");
    write_file(dir / "w/b.txt", "B");
    // The archive lives inside the folder being stored.
    const std::string arc = path("w/self.lzh");
    ASSERT_EQ(run("a " + arc + " " + path("w") + "/*.*").status, Status::ok);
    ASSERT_EQ(run("a " + arc + " " + path("w") + "/*.*").status, Status::ok);
    EXPECT_EQ(member_paths(arc), (std::vector<std::string>{"a.txt", "b.txt"}));

    auto d = run("d " + arc + " a.txt");
    ASSERT_EQ(d.status, Status::ok) << d.text;
    auto l = run("l " + arc);
    EXPECT_EQ(l.text.find("a.txt"), std::string::npos);
    EXPECT_NE(l.text.find("1 member"), std::string::npos) << l.text;
    EXPECT_EQ(run("d " + arc + " nothing.*").status, Status::no_files);
}

TEST_F(Commands, HiddenCompanionsOfTheArchiveBesideItAreNeverStored) {
    write_file(dir / "w/a.txt", "A");
    write_file(dir / "w/.profile", "a hidden file of the person's own");
    const std::string arc = path("w/self.lzh");
    ASSERT_EQ(run("a " + arc + " " + path("w") + "/*.*").status, Status::ok);
    // What a backup keeps beside its archive while it runs: the archive as it was, under a
    // hidden name of its own. Once the archive has been replaced it is another file.
    fs::create_hard_link(arc, dir / "w/.self.lzh.before-backup-42");
    write_file(dir / "w/b.txt", "B");
    ASSERT_EQ(run("a " + arc + " " + path("w") + "/*.*").status, Status::ok);
    // Left out, but said, so that a person's own file of such a name is not lost unseen.
    const auto r = run("a " + arc + " " + path("w") + "/*.*");
    ASSERT_EQ(r.status, Status::ok);
    EXPECT_NE(r.text.find("Not stored (a hidden file named after the archive beside it): " +
                          path("w/.self.lzh.before-backup-42")),
              std::string::npos)
        << r.text;
    EXPECT_EQ(member_paths(arc), (std::vector<std::string>{".profile", "a.txt", "b.txt"}));
    EXPECT_EQ(run("a " + arc + " " + path("w") + "/*.* -l0").text.find("Not stored"),
              std::string::npos);
}

TEST_F(Commands, MethodsAreChosenBySwitchAndStoredWhenNothingShrinks) {
    write_file(dir / "s/text.txt", text_data(100000));
    write_file(dir / "s/noise.bin", noise_data(5000));
    write_file(dir / "s/x", "x");
    for (auto [sw, name] : {std::pair{"", "-lh5-"}, std::pair{"-o6", "-lh6-"},
                            std::pair{"-o7", "-lh7-"}, std::pair{"-o4", "-lh4-"}}) {
        const std::string arc = path(std::string("m") + name + ".lzh");
        ASSERT_EQ(run("a " + arc + " " + path("s") + "/*.* " + sw).status, Status::ok);
        auto l = run("l " + arc);
        EXPECT_NE(l.text.find(std::string(name) + " "), std::string::npos) << l.text;
        EXPECT_NE(l.text.find("-lh0- 2200 x"), std::string::npos) << l.text;  // 1 byte: stored
        EXPECT_EQ(run("t " + arc).status, Status::ok);
    }
}

TEST_F(Commands, CommandLineErrorsAreReportedNotIgnored) {
    auto r = run("a " + path("a.lzh") + " x -q9");
    EXPECT_EQ(r.status, Status::usage);
    EXPECT_NE(r.text.find("-q9"), std::string::npos);
    EXPECT_EQ(run("").status, Status::usage);
    EXPECT_EQ(run("l " + path("missing.lzh")).status, Status::no_archive);
    write_file(dir / "plain.txt", "not an archive at all, just some words");
    EXPECT_EQ(run("t " + path("plain.txt")).status, Status::not_archive);
    EXPECT_EQ(run("a " + path("b.lzh") + " " + path("nope") + "/*.*").status, Status::no_files);
    EXPECT_FALSE(fs::exists(dir / "b.lzh"));
}

TEST_F(Commands, UnquotedPathsWithBlanksAreFound) {
    write_file(dir / "My Backups/in/f.txt", "content");
    write_file(dir / "My Docs/g.txt", "gee");
    const std::string arc = path("My Backups/save");
    // The backup line quotes the folder but not the archive path.
    auto u = run("u " + arc + " \"" + path("My Docs") + "\"\\*.* -x1 -r");
    ASSERT_EQ(u.status, Status::ok) << u.text;
    EXPECT_TRUE(fs::exists(arc + ".lzh"));
    EXPECT_FALSE(fs::exists(dir / "My.lzh"));
    // And again, now that the archive exists.
    write_file(dir / "My Docs/h.txt", "aitch");
    ASSERT_EQ(run("u " + arc + " \"" + path("My Docs") + "\"\\*.* -x1 -r").status, Status::ok);
    // The restore window passes both paths without quotes.
    auto x = run("x " + arc + ".lzh " + path("Out Dir") + "\\ -jf0 -gj0 -c -jyo0 -l1");
    ASSERT_EQ(x.status, Status::ok) << x.text;
    EXPECT_EQ(read_file(dir / "Out Dir" / path("My Docs/h.txt").substr(1)), "aitch");
    // Words that are files of their own stay file names of their own.
    write_file(dir / "w/one", "1");
    write_file(dir / "w/two", "2");
    auto a = run("a " + path("w/new") + " " + path("w/one") + " " + path("w/two"));
    ASSERT_EQ(a.status, Status::ok) << a.text;
    EXPECT_TRUE(fs::exists(dir / "w/new.lzh"));
}

TEST_F(Commands, ExistingFilesNeedMinusC) {
    write_file(dir / "s/f.txt", "new");
    ASSERT_EQ(run("a " + path("a.lzh") + " " + path("s") + "/f.txt").status, Status::ok);
    write_file(dir / "out/f.txt", "old");
    auto x = run("x " + path("a.lzh") + " " + path("out") + "/");
    EXPECT_EQ(x.status, Status::skipped) << x.text;
    EXPECT_EQ(read_file(dir / "out/f.txt"), "old");
    EXPECT_EQ(run("x " + path("a.lzh") + " " + path("out") + "/ -c").status, Status::ok);
    EXPECT_EQ(read_file(dir / "out/f.txt"), "new");
    // e drops the folders.
    write_file(dir / "s2/sub/g.txt", "g");
    ASSERT_EQ(run("a " + path("b.lzh") + " " + path("s2") + "/*.* -r").status, Status::ok);
    ASSERT_EQ(run("e " + path("b.lzh") + " " + path("flat") + "/").status, Status::ok);
    EXPECT_EQ(read_file(dir / "flat/g.txt"), "g");
}

TEST_F(Commands, AFailedUpdateLeavesTheOldArchiveAsItWas) {
    write_file(dir / "s/a.txt", "A");
    const std::string arc = path("a.lzh");
    ASSERT_EQ(run("a " + arc + " " + path("s") + "/*.*").status, Status::ok);
    const std::string before = read_file(arc);
    write_file(dir / "s/b.bin", noise_data(200000));
    // In a child whose files may not grow past 64 KiB the new archive cannot be written.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim {
            65536, 65536
        };
        ::setrlimit(RLIMIT_FSIZE, &lim);
        auto r = run("u " + arc + " " + path("s") + "/*.*");
        bool reported = r.text.find("not changed") != std::string::npos;
        ::_exit(r.status == Status::io && reported ? 0 : 1);
    }
    int st = 0;
    ::waitpid(child, &st, 0);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << "the update did not report its failure";
    EXPECT_EQ(read_file(arc), before);
    for (auto& e : fs::directory_iterator(dir))
        EXPECT_EQ(e.path().string().find(".tmp-"), std::string::npos);
}

TEST_F(Commands, AKilledUpdateLeavesTheOldArchiveAsItWas) {
    write_file(dir / "s/a.txt", text_data(1000));
    const std::string arc = path("a.lzh");
    ASSERT_EQ(run("a " + arc + " " + path("s") + "/*.*").status, Status::ok);
    const std::string before = read_file(arc);
    for (int i = 0; i < 40; ++i)
        write_file(dir / "s" / ("big" + std::to_string(i)),
                   text_data(300000, static_cast<unsigned>(i)));
    for (int delay_ms : {1, 20, 80}) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            lzh::Report rep;
            lzh::run_command("a " + arc + " " + path("s") + "/*.*", rep);
            ::_exit(0);
        }
        ::usleep(static_cast<useconds_t>(delay_ms) * 1000);
        ::kill(child, SIGKILL);
        int st = 0;
        ::waitpid(child, &st, 0);
        // Either the old archive or (had the update finished) a complete new one: never a mix.
        std::string now = read_file(arc);
        if (now != before) {
            EXPECT_EQ(run("t " + arc).status, Status::ok);
        }
    }
    EXPECT_EQ(run("t " + arc).status, Status::ok);
}

// ---- safety --------------------------------------------------------------------------------

TEST_F(Commands, ExtractionRefusesPathsAndLinksThatLeadOutside) {
    const std::string arc = path("evil.lzh");
    write_file(arc, build_archive({
                        raw_file("../escape.txt", "x"),
                        raw_file("ok/../../up.txt", "x"),
                        raw_file("/../rooted-escape.txt", "x"),
                        raw_link("up-link", "../.."),
                        raw_link("sneaky", "inside/../.."),
                        raw_link("here", "."),
                        raw_file("here/../through.txt", "x"),
                        raw_file("fine/good.txt", "good"),
                        raw_link("rel-link", "fine/good.txt"),
                    }));
    fs::create_directories(dir / "dest");
    auto x = run("x " + arc + " " + path("dest") + "/ -c");
    EXPECT_EQ(x.status, Status::unsafe_path) << x.text;
    EXPECT_EQ(read_file(dir / "dest/fine/good.txt"), "good");
    EXPECT_EQ(fs::read_symlink(dir / "dest/rel-link"), "fine/good.txt");
    EXPECT_FALSE(fs::exists(dir / "escape.txt"));
    EXPECT_FALSE(fs::exists(dir / "up.txt"));
    EXPECT_FALSE(fs::exists(dir / "rooted-escape.txt"));
    EXPECT_FALSE(fs::is_symlink(dir / "dest/up-link"));
    EXPECT_FALSE(fs::is_symlink(dir / "dest/sneaky"));
    for (auto name : {"../escape.txt", "/../rooted-escape.txt", "up-link", "sneaky"})
        EXPECT_NE(x.text.find(std::string("Refused: ") + name), std::string::npos) << name << "\n"
                                                                                   << x.text;
}

TEST_F(Commands, ExtractionNeverWritesThroughALinkAlreadyInTheDestination) {
    fs::create_directories(dir / "dest");
    fs::create_directories(dir / "victim");
    fs::create_directory_symlink(dir / "victim", dir / "dest/sub");
    const std::string arc = path("a.lzh");
    write_file(arc, build_archive({raw_file("sub/planted.txt", "x"), raw_file("plain.txt", "y")}));
    fs::create_symlink(dir / "victim/target.txt", dir / "dest/plain.txt");
    auto x = run("x " + arc + " " + path("dest") + "/ -c");
    EXPECT_EQ(x.status, Status::unsafe_path) << x.text;
    EXPECT_FALSE(fs::exists(dir / "victim/planted.txt"));
    EXPECT_FALSE(fs::exists(dir / "victim/target.txt"));  // the link was replaced, not followed
    EXPECT_EQ(read_file(dir / "dest/plain.txt"), "y");
}

// ---- damage ---------------------------------------------------------------------------------

class Damage : public Commands {
  protected:
    void SetUp() override {
        Commands::SetUp();
        write_file(dir / "s/1.txt", text_data(40000, 1));
        write_file(dir / "s/2.txt", text_data(40000, 2));
        write_file(dir / "s/3.txt", text_data(40000, 3));
        ASSERT_EQ(run("a " + path("good.lzh") + " " + path("s") + "/*.*").status, Status::ok);
        good = read_file(dir / "good.lzh");
        lzh::ArchiveReader r(path("good.lzh"));
        lzh::Member m;
        while (r.next(m)) members.push_back(m);
        ASSERT_EQ(members.size(), 3u);
    }
    Result test_with(const std::string& bytes) {
        write_file(dir / "bad.lzh", bytes);
        return run("t " + path("bad.lzh"));
    }
    std::string good;
    std::vector<lzh::Member> members;
};

TEST_F(Damage, AFlippedDataByteNamesTheFirstBadMember) {
    std::string bad = good;
    bad[members[1].data_offset + 100] ^= 0x10;
    auto t = test_with(bad);
    EXPECT_EQ(t.status, Status::damaged);
    EXPECT_NE(t.text.find("first bad member 2.txt"), std::string::npos) << t.text;
    // Listing still shows all three: only data is hurt.
    auto l = run("l " + path("bad.lzh"));
    EXPECT_NE(l.text.find("3 members"), std::string::npos) << l.text;
}

TEST_F(Damage, EveryFlippedByteIsNoticed) {
    for (std::size_t pos = 0; pos < good.size(); pos += 97) {
        std::string bad = good;
        bad[pos] = static_cast<char>(bad[pos] ^ 0x04);
        auto t = test_with(bad);
        EXPECT_NE(t.status, Status::ok) << "flip at " << pos << "\n" << t.text;
    }
}

TEST_F(Damage, HeaderCrcTruncationAndJunkAreReported) {
    std::string bad = good;
    bad[members[2].header_offset + 30] ^= 0x01;  // inside the third header's extensions
    auto t = test_with(bad);
    EXPECT_EQ(t.status, Status::damaged);
    auto l = run("l " + path("bad.lzh"));
    EXPECT_EQ(l.status, Status::damaged);
    EXPECT_NE(l.text.find("2 members read before the damage"), std::string::npos) << l.text;
    EXPECT_NE(l.text.find("offset " + std::to_string(members[2].header_offset)), std::string::npos)
        << l.text;

    for (std::size_t cut : {good.size() - 1, good.size() - 50,
                            static_cast<std::size_t>(members[1].header_offset + 10)}) {
        auto tr = test_with(good.substr(0, cut));
        EXPECT_EQ(tr.status, Status::damaged) << "cut at " << cut << "\n" << tr.text;
    }
    EXPECT_EQ(test_with(good + "junk").status, Status::damaged);
    // An update must refuse to build on a damaged archive and leave it as it is.
    write_file(dir / "bad.lzh", bad);
    auto u = run("u " + path("bad.lzh") + " " + path("s") + "/*.*");
    EXPECT_EQ(u.status, Status::damaged);
    EXPECT_EQ(read_file(dir / "bad.lzh"), bad);
}

// ---- format details --------------------------------------------------------------------------

TEST(Headers, SizeLowByteIsNeverZeroAndEverythingReadsBack) {
    int padded = 0;
    for (std::size_t n = 1; n < 600; ++n) {
        lzh::Member m;
        m.path = "d/" + std::string(n, 'n');
        m.method = lzh::Method::lh5;
        m.packed_size = 5;
        m.original_size = 10;
        m.crc = 0x1234;
        m.mtime = 1700000000;
        auto h = lzh::detail::build_level2_header(m);
        ASSERT_NE(h[0], 0) << n;
        padded += h.size() % 256 == 1;
        std::vector<std::uint8_t> file(h);
        file.resize(h.size() + 5, 0);
        file.push_back(0);
        lzh::Member back;
        auto read_at = [&](std::uint64_t off, std::uint8_t* buf, std::size_t len) {
            std::size_t k =
                off >= file.size()
                    ? 0
                    : std::min<std::size_t>(len, file.size() - static_cast<std::size_t>(off));
            std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(off), k, buf);
            return k;
        };
        ASSERT_EQ(lzh::detail::read_header(read_at, 0, file.size(), back),
                  lzh::detail::HeaderResult::member);
        EXPECT_EQ(back.path, m.path);
        EXPECT_EQ(back.crc, 0x1234);
        EXPECT_EQ(back.mtime, 1700000000);
        EXPECT_TRUE(back.utf8);
    }
    EXPECT_GT(padded, 0);
}

TEST(Headers, SizesOf4GiBAndMoreUseThe64BitExtension) {
    lzh::Member m;
    m.path = "huge.bin";
    m.method = lzh::Method::lh5;
    m.packed_size = 5'000'000'000ull;
    m.original_size = 6'000'000'000ull;
    auto h = lzh::detail::build_level2_header(m);
    std::vector<std::uint8_t> file(h);
    auto read_at = [&](std::uint64_t off, std::uint8_t* buf, std::size_t len) {
        std::size_t k = off >= file.size() ? 0
                                           : std::min<std::size_t>(
                                                 len, file.size() - static_cast<std::size_t>(off));
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(off), k, buf);
        return k;
    };
    lzh::Member back;
    // Without the 64-bit sizes the member would look complete in a short file.
    EXPECT_THROW(lzh::detail::read_header(read_at, 0, h.size() + 0xFFFFFFFFull, back),
                 lzh::Failure);
    ASSERT_NO_THROW(lzh::detail::read_header(read_at, 0, h.size() + m.packed_size, back));
    EXPECT_EQ(back.packed_size, m.packed_size);
    EXPECT_EQ(back.original_size, m.original_size);
    EXPECT_TRUE(back.needs_64bit);
}

TEST(Headers, Level3HeadersAreReadAndChecked) {
    // Level 3: 4-byte sizes throughout; one stored member "d/x.txt" holding "hi".
    std::vector<std::uint8_t> h = {4, 0,   '-', 'l', 'h', '0',  '-',  2,    0,    0, 0,
                                   2, 0,   0,   0,   0,   0xF1, 0x53, 0x65, 0x20, 3, 0,
                                   0, 'U', 0,   0,   0,   0,    7,    0,    0,    0};
    const std::uint16_t data_crc = lzh::detail::crc16(0, "hi", 2);
    h[21] = static_cast<std::uint8_t>(data_crc);
    h[22] = static_cast<std::uint8_t>(data_crc >> 8);
    auto ext = [&](std::uint8_t type, std::string body, bool last) {
        h.push_back(type);
        h.insert(h.end(), body.begin(), body.end());
        std::uint32_t next = last ? 0 : 0;  // patched below
        for (int i = 0; i < 4; ++i) h.push_back(static_cast<std::uint8_t>(next >> (8 * i)));
    };
    // first extension: 0x00 CRC (2 bytes) -> size 1 + 2 + 4 = 7
    ext(0x00, std::string(2, '\0'), false);
    const std::size_t next1 = h.size() - 4;
    ext(0x01, "x.txt", false);
    const std::size_t next2 = h.size() - 4;
    ext(0x02, std::string("d") + static_cast<char>(0xFF), true);
    h[next1] = 1 + 5 + 4;
    h[next2] = 1 + 2 + 4;
    const std::uint32_t total = static_cast<std::uint32_t>(h.size());
    for (int i = 0; i < 4; ++i)
        h[24 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(total >> (8 * i));
    const std::uint16_t hcrc = lzh::detail::crc16(0, h.data(), h.size());
    h[33] = static_cast<std::uint8_t>(hcrc);
    h[34] = static_cast<std::uint8_t>(hcrc >> 8);
    std::vector<std::uint8_t> file(h);
    file.push_back('h');
    file.push_back('i');
    file.push_back(0);
    auto read_at = [&](std::uint64_t off, std::uint8_t* buf, std::size_t len) {
        std::size_t k = off >= file.size() ? 0
                                           : std::min<std::size_t>(
                                                 len, file.size() - static_cast<std::size_t>(off));
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(off), k, buf);
        return k;
    };
    lzh::Member m;
    ASSERT_EQ(lzh::detail::read_header(read_at, 0, file.size(), m),
              lzh::detail::HeaderResult::member);
    EXPECT_EQ(m.level, 3);
    EXPECT_EQ(m.path, "d/x.txt");
    EXPECT_EQ(m.original_size, 2u);
    EXPECT_EQ(m.data_offset, h.size());
    file[40] ^= 1;  // the header CRC must catch this
    EXPECT_THROW(lzh::detail::read_header(read_at, 0, file.size(), m), lzh::Failure);
}

TEST(CommandLine, TokensWildcardsAndArchiveNames) {
    EXPECT_EQ(
        lzh::tokenize("u E:\\B\\Marlo_BACKUP \"D:\\My Docs\"\\*.* -x1 -r"),
        (std::vector<std::string>{"u", "E:\\B\\Marlo_BACKUP", "D:\\My Docs\\*.*", "-x1", "-r"}));
    EXPECT_EQ(lzh::tokenize("  a   b  "), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(lzh::tokenize("\"\""), (std::vector<std::string>{""}));
    EXPECT_TRUE(lzh::wildcard_match("*.*", "README"));
    EXPECT_TRUE(lzh::wildcard_match("*.*", "a.b.c"));
    EXPECT_TRUE(lzh::wildcard_match("*.txt", "x.txt"));
    EXPECT_FALSE(lzh::wildcard_match("*.txt", "x.txt.bak"));
    EXPECT_TRUE(lzh::wildcard_match("a?c*", "abcdef"));
    EXPECT_FALSE(lzh::wildcard_match("a?c", "ac"));
    EXPECT_EQ(lzh::detail::archive_file_name("E:\\B\\Marlo_BACKUP"), "E:/B/Marlo_BACKUP.lzh");
    EXPECT_EQ(lzh::detail::archive_file_name("/x.y/save.LZH"), "/x.y/save.LZH");
    EXPECT_EQ(lzh::detail::archive_file_name("/x.y/save"), "/x.y/save.lzh");
}

TEST(ReportBuffer, AlwaysZeroTerminatedAndKeepsErrorsAndSummary) {
    lzh::Report rep;
    for (int i = 0; i < 1000; ++i) rep.line("member line number " + std::to_string(i));
    rep.important("Error: something went wrong");
    rep.important("summary line");
    std::vector<char> buf(300, 'X');
    rep.render(buf.data(), buf.size());
    std::string s(buf.data());
    EXPECT_LT(s.size(), buf.size());
    EXPECT_NE(s.find("member line number 0"), std::string::npos);
    EXPECT_NE(s.find("Error: something went wrong"), std::string::npos);
    EXPECT_NE(s.find("summary line"), std::string::npos);
    EXPECT_NE(s.find("left out"), std::string::npos);
    char one = 'X';
    rep.render(&one, 1);
    EXPECT_EQ(one, '\0');
    char tiny[5];
    rep.render(tiny, sizeof tiny);
    EXPECT_EQ(tiny[4], '\0');
}
