// Shared helpers for the LZH tests: a private temporary folder, file helpers, running commands,
// and hand-built archives for the cases our writer would never produce.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "crc16.h"
#include "header.h"
#include "io_calls.h"
#include "lzh/lzh.hpp"

namespace lzhtest {

namespace fs = std::filesystem;

inline std::string read_file(const fs::path& p) {
    std::string s;
    if (std::FILE* f = std::fopen(p.c_str(), "rb")) {
        char buf[65536];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
        std::fclose(f);
    }
    return s;
}

inline void write_file(const fs::path& p, const std::string& data) {
    fs::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary);
    f.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// Text-like data: words from a small vocabulary, so it compresses as real files do.
inline std::string text_data(std::size_t n, unsigned seed = 1) {
    static const char* words[] = {"backup ", "archive ", "folder ", "the ",    "of ",
                                  "Marlo ",  "restore ", "int ",    "return ", "{\n",
                                  "}\n",     "static ",  "const ",  "= ",      "0;\n"};
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n) s += words[rng() % (sizeof words / sizeof *words)];
    s.resize(n);
    return s;
}

inline std::string noise_data(std::size_t n, unsigned seed = 2) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

// Size and CRC instead of the bytes, so failed comparisons print something readable.
inline std::string digest(const std::string& data) {
    char b[48];
    std::snprintf(b, sizeof b, "%zu bytes, crc %04x", data.size(),
                  lzh::detail::crc16(0, data.data(), data.size()));
    return b;
}

struct Result {
    lzh::Status status;
    std::string text;
};

inline Result run(const std::string& line) {
    lzh::Report rep;
    lzh::Status s = lzh::run_command(line, rep);
    return {s, rep.text()};
}

// The paths of an archive's members, in the order they are stored.
inline std::vector<std::string> member_paths(const std::string& archive) {
    std::vector<std::string> paths;
    lzh::ArchiveReader r(archive);
    lzh::Member m;
    while (r.next(m)) paths.push_back(m.path);
    return paths;
}

// A fresh folder per test, removed afterwards.
class TempDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "lzhtest-XXXXXX").string();
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        ASSERT_NE(::mkdtemp(buf.data()), nullptr);
        dir = buf.data();
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }
    std::string path(const std::string& rel) const { return (dir / rel).string(); }
    fs::path dir;
};

// A member for a hand-built archive: stored data under any path, or a directory/link.
struct RawMember {
    std::string path;
    std::string data;
    bool directory = false;
    std::string link_target;  // non-empty: a symbolic link
};
inline RawMember raw_file(std::string p, std::string d) {
    return {std::move(p), std::move(d), false, {}};
}
inline RawMember raw_link(std::string p, std::string target) {
    return {std::move(p), {}, false, std::move(target)};
}

inline std::string build_archive(const std::vector<RawMember>& members) {
    std::string out;
    for (auto& r : members) {
        lzh::Member m;
        m.path = r.path;
        m.mtime = 1700000000;
        if (r.directory) {
            m.method = lzh::Method::directory;
            m.is_directory = true;
        } else if (!r.link_target.empty()) {
            m.method = lzh::Method::directory;
            m.is_symlink = true;
            m.link_target = r.link_target;
        } else {
            m.method = lzh::Method::stored;
            m.original_size = m.packed_size = r.data.size();
            m.crc = lzh::detail::crc16(0, r.data.data(), r.data.size());
        }
        auto h = lzh::detail::build_level2_header(m);
        out.append(h.begin(), h.end());
        out += r.data;
    }
    out += '\0';
    return out;
}

// Every file and folder below `root` (relative path -> content digest, link target or "/"), so
// a test can say "exactly as before" about a whole tree.
inline std::map<std::string, std::string> tree(const fs::path& root) {
    std::map<std::string, std::string> m;
    for (auto& e : fs::recursive_directory_iterator(root)) {
        auto rel = fs::relative(e.path(), root).string();
        if (e.is_symlink())
            m[rel] = "-> " + fs::read_symlink(e.path()).string();
        else if (e.is_directory())
            m[rel + "/"] = "";
        else
            m[rel] = digest(read_file(e.path()));
    }
    return m;
}

// The number of "Error:" lines in a report.
inline int error_lines(const std::string& text) {
    int n = text.rfind("Error:", 0) == 0 ? 1 : 0;
    for (std::size_t at = text.find("\nError:"); at != std::string::npos;
         at = text.find("\nError:", at + 1))
        ++n;
    return n;
}

// Installs an I/O fault for the life of the object.
struct InjectedFault {
    explicit InjectedFault(lzh::detail::IoFault f) { lzh::detail::set_io_fault(std::move(f)); }
    ~InjectedFault() { lzh::detail::set_io_fault(nullptr); }
    InjectedFault(const InjectedFault&) = delete;
    InjectedFault& operator=(const InjectedFault&) = delete;
};

inline bool have_tool(const char* name) {
    std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

inline int shell(const std::string& cmd) {
    int r = std::system((cmd + " >/dev/null 2>&1").c_str());
    return WIFEXITED(r) ? WEXITSTATUS(r) : -1;
}

}  // namespace lzhtest
