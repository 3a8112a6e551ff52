// Interoperability with the other LZH tools at test time: what we write must pass the strict
// readers (7-Zip, libarchive's bsdtar, lhasa), and what jlha writes must come out of our
// extractor exactly as 7-Zip extracts it. Tests skip when a tool is missing.
#include "lzh_test_util.h"

using namespace lzhtest;
using lzh::Status;

namespace {

class Interop : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        write_file(dir / "src/readme.txt", text_data(70000, 11));
        write_file(dir / "src/code/main.cpp", text_data(120000, 12));
        write_file(dir / "src/code/data.bin", noise_data(40000, 13));
        write_file(dir / "src/tiny", "x");
        write_file(dir / "src/two", "xx");
        write_file(dir / "src/empty", "");
        // Long runs and a window-sized repeat reach the longest matches and farthest offsets.
        std::string rep = noise_data(30000, 14);
        write_file(dir / "src/runs.dat",
                   std::string(200000, 'a') + rep + rep + text_data(5000, 15));
        fs::create_directories(dir / "src/empty dir");
        write_file(dir / "src/UTF-8 naïve name.txt", "grüße");
    }
    static std::map<std::string, std::string> files_below(const fs::path& root) {
        std::map<std::string, std::string> m;
        for (auto& e : fs::recursive_directory_iterator(root)) {
            auto rel = fs::relative(e.path(), root).string();
            if (e.is_directory())
                m[rel + "/"] = "";
            else
                m[rel] = digest(read_file(e.path()));
        }
        return m;
    }
};

}  // namespace

TEST_F(Interop, StrictReadersAcceptWhatWeWrite) {
    const bool z7 = have_tool("7z"), bsdtar = have_tool("bsdtar"), lhasa = have_tool("lhasa");
    if (!z7 && !bsdtar && !lhasa) GTEST_SKIP() << "no LZH oracle installed";
    for (const char* sw : {"", "-o6", "-o7", "-o4"}) {
        SCOPED_TRACE(sw);
        const std::string arc = path(std::string("ours") + sw + ".lzh");
        auto r = run("a " + arc + " " + path("src") + "/*.* -r " + sw);
        ASSERT_EQ(r.status, Status::ok) << r.text;
        if (z7) {
            EXPECT_EQ(shell("7z t " + arc), 0);
            const std::string out = path(std::string("z7") + sw);
            ASSERT_EQ(shell("7z x -o'" + out + "' " + arc), 0);
            EXPECT_EQ(files_below(out), files_below(dir / "src"));
        }
        if (bsdtar && std::string(sw) != "-o4") {  // libarchive has no -lh4- decoder
            const std::string out = path(std::string("bsd") + sw);
            fs::create_directories(out);
            EXPECT_EQ(shell("bsdtar -xf " + arc + " -C '" + out + "'"), 0);
            EXPECT_EQ(files_below(out), files_below(dir / "src"));
        }
        if (lhasa && std::string(sw) != "-o4") {
            EXPECT_EQ(shell("lhasa t " + arc), 0);
        }
    }
}

TEST_F(Interop, JlhaArchivesExtractExactlyAs7ZipDoes) {
    if (!have_tool("jlha") || !have_tool("7z")) GTEST_SKIP() << "jlha or 7z missing";
    for (const char* how : {"c2o5q", "c0o5q", "c1o7q", "c2o7q", "c2o6q"}) {
        SCOPED_TRACE(how);
        const std::string arc = path(std::string("j") + how + ".lzh");
        // Level 0 stores no folders; give it files only.
        std::string members = std::string(how).rfind("c0", 0) == 0
                                  ? "readme.txt code/main.cpp code/data.bin tiny runs.dat"
                                  : "readme.txt code tiny two empty runs.dat";
        ASSERT_EQ(shell("cd '" + path("src") + "' && jlha " + how + " " + arc + " " + members), 0);
        auto t = run("t " + arc);
        EXPECT_EQ(t.status, Status::ok) << t.text;
        auto l = run("l " + arc);
        EXPECT_EQ(l.status, Status::ok) << l.text;
        const std::string ours = path(std::string("ours-") + how),
                          theirs = path(std::string("7z-") + how);
        auto x = run("x " + arc + " " + ours + "/");
        EXPECT_EQ(x.status, Status::ok) << x.text;
        ASSERT_EQ(shell("7z x -o'" + theirs + "' " + arc), 0);
        EXPECT_EQ(files_below(ours), files_below(theirs));
    }
}
