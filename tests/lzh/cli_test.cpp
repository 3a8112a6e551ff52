// The unlha tool: same command lines as Unlha(), report on standard output, result as exit code.
#include <sys/wait.h>

#include "lzh_test_util.h"

using namespace lzhtest;

namespace {

struct Output {
    int code;
    std::string text;
};

// Runs unlha with already split arguments (each quoted for the shell).
Output unlha(const std::vector<std::string>& args) {
    std::string cmd = LZH_UNLHA_TOOL;
    for (auto& a : args) {
        std::string q = "'";
        for (char c : a) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        cmd += " " + q + "'";
    }
    Output o{-1, {}};
    if (std::FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) o.text.append(buf, n);
        int st = ::pclose(p);
        o.code = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    return o;
}

}  // namespace

class Cli : public TempDirTest {};

TEST_F(Cli, ArgumentsOrOneCommandLineMeanTheSame) {
    write_file(dir / "My Docs/a.txt", text_data(3000));
    // Shell-split arguments: the folder with a blank arrives as one argument.
    auto a = unlha({"a", path("one"), path("My Docs") + "/*.*"});
    EXPECT_EQ(a.code, 0) << a.text;
    EXPECT_NE(a.text.find("a.txt"), std::string::npos) << a.text;
    // The whole command line as one argument, quoted the way Unlha() callers quote it.
    auto b = unlha({"a " + path("two") + " \"" + path("My Docs") + "\"\\*.*"});
    EXPECT_EQ(b.code, 0) << b.text;
    auto l1 = unlha({"l", path("one.lzh")}), l2 = unlha({"l", path("two.lzh")});
    EXPECT_NE(l1.text.find(" a.txt"), std::string::npos) << l1.text;
    EXPECT_NE(l2.text.find(" a.txt"), std::string::npos) << l2.text;
}

TEST_F(Cli, ExitCodeIsTheResultCode) {
    EXPECT_EQ(unlha({"l", path("missing.lzh")}).code, static_cast<int>(lzh::Status::no_archive));
    auto bad = unlha({"x", path("missing.lzh"), "-bogus"});
    EXPECT_EQ(bad.code, static_cast<int>(lzh::Status::usage));
    EXPECT_NE(bad.text.find("unknown switch -bogus"), std::string::npos) << bad.text;
}
