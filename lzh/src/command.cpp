// The command interpreter: parses an Unlha-style command line and runs add, update, delete,
// list, test and extract, writing a report for a person.
#include <algorithm>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <ctime>
#include <map>
#include <set>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive_writer.h"
#include "file_io.h"
#include "paths.h"

namespace lzh {
namespace {

using detail::DiskEntry;
using detail::Fd;
using detail::PlanItem;

struct Options {
    char command = 'l';
    bool recurse = false;
    bool full_path = false;
    bool overwrite = false;
    int detail = 1;  // 0: summary and errors, 1: a line per member, 2: also unchanged members
    Method method = Method::lh5;
    int threads = 0;
    std::string archive;
    std::vector<std::string> file_args;
    std::string dest;
};

// Keeps the first failure: that is the one the caller most needs to know about.
struct Outcome {
    Status status = Status::ok;
    void note(Status s) {
        if (status == Status::ok) status = s;
    }
};

std::string thousands(std::uint64_t v) {
    const std::string digits = std::to_string(v);
    std::string s;
    s.reserve(digits.size() + digits.size() / 3);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) s.push_back(',');
        s.push_back(digits[i]);
    }
    return s;
}

// "1 member", "3 members": the counts in the report's summary lines.
std::string counted(std::uint64_t n, const std::string& noun) {
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

// Opens an archive for reading, or reports why it cannot be read.
Status open_archive(const std::string& path, std::unique_ptr<ArchiveReader>& r, Report& rep,
                    const std::string& aftermath = "") {
    try {
        r = std::make_unique<ArchiveReader>(path);
    } catch (const Failure& f) {
        rep.important("Error: " + std::string(f.what()) + aftermath);
        return f.status();
    }
    return Status::ok;
}

// A member copied from the old archive as it stands.
PlanItem kept_member(const Member& m) {
    PlanItem p;
    p.old = m;
    p.has_old = true;
    return p;
}

std::string ratio(std::uint64_t packed, std::uint64_t original) {
    if (original == 0) return "  0.0%";
    char b[32];
    std::snprintf(b, sizeof b, "%5.1f%%",
                  100.0 * static_cast<double>(packed) / static_cast<double>(original));
    return b;
}

std::string pad_left(const std::string& s, std::size_t w) {
    return s.size() >= w ? s : std::string(w - s.size(), ' ') + s;
}

std::string display_name(const Member& m) {
    if (m.is_directory) return m.path + "/";
    if (m.is_symlink) return m.path + " -> " + m.link_target;
    return m.path;
}

std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
}

bool exists(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0;
}

std::string parent_of(const std::string& p) {
    std::size_t s = p.rfind('/');
    if (s == std::string::npos) return ".";
    return s == 0 ? "/" : p.substr(0, s);
}

bool parse_switch(const std::string& tok, Options& o) {
    const std::string s = lower(tok.substr(1));
    if (s == "r" || s == "r1" || s == "r2")
        o.recurse = true;
    else if (s == "r0")
        o.recurse = false;
    else if (s == "x" || s == "x1")
        o.full_path = true;
    else if (s == "x0")
        o.full_path = false;
    else if (s == "c" || s == "c1")
        o.overwrite = true;
    else if (s == "c0")
        o.overwrite = false;
    else if (s == "l" || s == "l1")
        o.detail = 1;
    else if (s == "l0")
        o.detail = 0;
    else if (s == "l2")
        o.detail = 2;
    else if (s == "jf0") {
    }  // paths are always restored below the destination
    else if (s == "gj0" || s == "gj1") {
    }  // no progress window exists to show or hide
    else if (s == "jyo0" || s == "jyo" || s == "jyo1") {
    }  // no question is ever asked
    else if (s == "o4")
        o.method = Method::lh4;
    else if (s == "o5")
        o.method = Method::lh5;
    else if (s == "o6")
        o.method = Method::lh6;
    else if (s == "o7")
        o.method = Method::lh7;
    else if (s == "z" || s == "o0")
        o.method = Method::stored;
    else if (s.size() > 2 && s.compare(0, 2, "jp") == 0 &&
             s.find_first_not_of("0123456789", 2) == std::string::npos && s.size() <= 5)
        o.threads = std::stoi(s.substr(2));
    else
        return false;
    return true;
}

// Callers pass paths with blanks unquoted at times ("x /home/me/My Backups/a.lzh /tmp/out/").
// When a path as written does not exist, try it joined with the following words.
void rejoin_unquoted(Options& o) {
    auto& sp = o.file_args;
    const bool creating = o.command == 'a' || o.command == 'u';
    const std::string single = detail::archive_file_name(o.archive);
    if (!exists(single)) {
        // An existing archive under the joined name settles it. When creating, a joined name
        // whose folder exists counts too, provided the words it swallows are not files or
        // folders of their own (then they are what to store).
        std::string joined = o.archive;
        bool swallowed_paths = false;
        for (std::size_t k = 0; k < sp.size(); ++k) {
            joined += " " + sp[k];
            swallowed_paths = swallowed_paths || detail::has_wildcard(sp[k]) ||
                              exists(detail::to_forward_slashes(sp[k]));
            std::string name = detail::archive_file_name(joined);
            bool fits = exists(name) || (creating && !swallowed_paths && k + 1 < sp.size() &&
                                         exists(parent_of(detail::to_forward_slashes(name))));
            if (fits) {
                o.archive = joined;
                sp.erase(sp.begin(), sp.begin() + static_cast<std::ptrdiff_t>(k + 1));
                break;
            }
        }
    }
    if ((o.command == 'x' || o.command == 'e' || o.command == 't') && sp.size() >= 2) {
        auto ends_sep = [](const std::string& s) {
            return !s.empty() && (s.back() == '/' || s.back() == '\\');
        };
        bool ok = ends_sep(sp.back()) && (sp[0][0] == '/' || sp[0][0] == '\\');
        for (std::size_t i = 0; ok && i + 1 < sp.size(); ++i)
            ok = !ends_sep(sp[i]) && !detail::has_wildcard(sp[i]);
        if (ok) {
            std::string joined = sp[0];
            for (std::size_t i = 1; i < sp.size(); ++i) joined += " " + sp[i];
            sp.assign(1, joined);
        }
    }
}

Status parse(std::string_view line, Options& o, Report& rep) {
    auto tokens = tokenize(line);
    std::vector<std::string> words;
    bool first = true;
    for (auto& t : tokens) {
        if (t.size() > 1 && t[0] == '-') {
            if (!parse_switch(t, o)) {
                rep.important("Error: unknown switch " + t);
                return Status::usage;
            }
        } else if (first && t.size() == 1 &&
                   std::string("aAuUdDlLvVtTxXeE").find(t[0]) != std::string::npos) {
            o.command = static_cast<char>(lower(t)[0]);
            if (o.command == 'v') o.command = 'l';
        } else {
            words.push_back(t);
        }
        first = false;
    }
    if (words.empty()) {
        rep.important("Error: no archive name given");
        return Status::usage;
    }
    o.archive = words[0];
    o.file_args.assign(words.begin() + 1, words.end());
    rejoin_unquoted(o);
    o.archive = detail::archive_file_name(o.archive);
    // For reading commands, a file argument ending in a separator names the destination folder.
    if (o.command == 'x' || o.command == 'e' || o.command == 't') {
        std::vector<std::string> rest;
        for (auto& s : o.file_args) {
            std::string f = detail::to_forward_slashes(s);
            if (!f.empty() && f.back() == '/')
                o.dest = f;
            else
                rest.push_back(f);
        }
        o.file_args = rest;
    }
    return Status::ok;
}

bool member_selected(const std::vector<std::string>& file_args, const Member& m) {
    if (file_args.empty()) return true;
    for (auto& raw : file_args) {
        std::string p = detail::to_forward_slashes(raw);
        while (p.size() > 2 && p.compare(0, 2, "./") == 0) p.erase(0, 2);
        if (p.find('/') == std::string::npos) {
            std::size_t s = m.path.rfind('/');
            std::string base = s == std::string::npos ? m.path : m.path.substr(s + 1);
            if (wildcard_match(p, base) || wildcard_match(p, m.path)) return true;
        } else {
            if (wildcard_match(p, m.path)) return true;
            if (!p.empty() && p.back() == '/') p.pop_back();
            if (m.path.size() > p.size() && m.path.compare(0, p.size(), p) == 0 &&
                m.path[p.size()] == '/')
                return true;
        }
    }
    return false;
}

// Reads all member headers; on damage the members read so far are kept and `damage` says why.
std::vector<Member> read_members(ArchiveReader& r, std::string& damage) {
    std::vector<Member> v;
    try {
        Member m;
        while (r.next(m)) v.push_back(m);
    } catch (const Failure& f) {
        damage = f.what();
    }
    return v;
}

std::string time_text(std::int64_t t) {
    std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    char b[32] = "(unknown time)";
    if (localtime_r(&tt, &tm)) std::strftime(b, sizeof b, "%Y-%m-%d %H:%M:%S", &tm);
    return b;
}

// What the reader let pass but a person should hear of (bytes after the end marker).
void report_notes(const ArchiveReader& r, Report& rep) {
    for (const auto& n : r.notes()) rep.line("Note: " + n);
}

// ---- list -------------------------------------------------------------------------------

Status cmd_list(const Options& o, Report& rep) {
    std::unique_ptr<ArchiveReader> r;
    if (Status s = open_archive(o.archive, r, rep); s != Status::ok) return s;
    rep.line("Archive " + o.archive);
    rep.line("    Original       Packed  Ratio  Date       Time     Method CRC  Name");
    rep.line("------------ ------------ ------ ------------------- ----- ---- ----");
    std::uint64_t orig = 0, packed = 0, count = 0;
    Outcome out;
    try {
        Member m;
        while (r->next(m)) {
            if (!member_selected(o.file_args, m)) continue;
            char crc[8];
            std::snprintf(crc, sizeof crc, "%04X", m.crc);
            rep.line(pad_left(thousands(m.original_size), 12) + " " +
                     pad_left(thousands(m.packed_size), 12) + " " +
                     ratio(m.packed_size, m.original_size) + " " + time_text(m.mtime) + " " +
                     m.method_text + " " + crc + " " + display_name(m));
            orig += m.original_size;
            packed += m.packed_size;
            ++count;
        }
    } catch (const Failure& f) {
        rep.important("Error: listing stopped: " + std::string(f.what()));
        out.note(f.status());
    }
    rep.line("------------ ------------ ------");
    report_notes(*r, rep);
    rep.important(pad_left(thousands(orig), 12) + " " + pad_left(thousands(packed), 12) + " " +
                  ratio(packed, orig) + "  " + counted(count, "member") +
                  (out.status == Status::ok ? "" : " read before the damage"));
    return out.status;
}

// ---- test -------------------------------------------------------------------------------

Status cmd_test(const Options& o, Report& rep) {
    std::unique_ptr<ArchiveReader> r;
    if (Status s = open_archive(o.archive, r, rep); s != Status::ok) return s;
    Outcome out;
    std::string first_bad;
    std::uint64_t tested = 0, bad = 0;
    NullSink sink;
    try {
        Member m;
        while (r->next(m)) {
            if (!member_selected(o.file_args, m)) continue;
            try {
                r->read_data(m, sink);
                ++tested;
                if (o.detail >= 1) rep.line("OK     " + display_name(m));
            } catch (const Failure& f) {
                ++bad;
                if (first_bad.empty()) first_bad = m.path;
                rep.important("Error: " + display_name(m) + ": " + f.what());
                out.note(f.status());
            }
        }
    } catch (const Failure& f) {
        ++bad;
        if (first_bad.empty()) first_bad = "(header at offset " + std::to_string(r->offset()) + ")";
        rep.important("Error: testing stopped: " + std::string(f.what()));
        out.note(f.status());
    }
    report_notes(*r, rep);
    if (out.status == Status::ok)
        rep.important("The archive is OK: " + counted(tested, "member") + " tested.");
    else
        rep.important("The archive is NOT OK: first bad member " + first_bad + "; " +
                      std::to_string(tested) + " good, " + std::to_string(bad) + " bad.");
    return out.status;
}

// ---- extract ----------------------------------------------------------------------------

// Creates (or opens) each folder of `parts` below `dirfd`, refusing to pass through a symbolic
// link so that nothing can be written outside the destination.
Fd open_dirs(int base, const std::vector<std::string>& parts, std::size_t count, std::string& why) {
    Fd cur(::dup(base));
    for (std::size_t i = 0; i < count; ++i) {
        const char* name = parts[i].c_str();
        int fd = ::openat(cur.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) {
            if (::mkdirat(cur.get(), name, 0755) != 0 && errno != EEXIST) {
                why = "cannot create folder " + parts[i] + ": " + detail::errno_text(errno);
                return Fd();
            }
            fd = ::openat(cur.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (fd < 0) {
            struct stat st {};
            if (::fstatat(cur.get(), name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
                why = "the path passes through the symbolic link " + parts[i];
            else
                why = "cannot open folder " + parts[i] + ": " + detail::errno_text(errno);
            return Fd();
        }
        cur.reset(fd);
    }
    return cur;
}

struct DirTimes {
    std::vector<std::string> parts;
    std::uint32_t mode;
    std::int64_t mtime;
};

Status cmd_extract(const Options& o, Report& rep) {
    std::unique_ptr<ArchiveReader> r;
    if (Status s = open_archive(o.archive, r, rep); s != Status::ok) return s;
    std::string dest = o.dest.empty() ? "." : o.dest;
    // The destination itself may be anything the user chose; create it if needed.
    {
        std::string built = dest[0] == '/' ? "/" : "";
        for (auto& part : detail::split_path(dest)) {
            built += part + "/";
            ::mkdir(built.c_str(), 0755);
        }
    }
    Fd base(::open(dest.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!base.valid()) {
        rep.important("Error: cannot open the destination folder " + dest + ": " +
                      detail::errno_text(errno));
        return Status::io;
    }
    Outcome out;
    std::uint64_t files = 0, bytes = 0, refused = 0, skipped = 0, errors = 0, matched = 0;
    std::vector<DirTimes> dirs;
    auto fail = [&](const Member& m, const std::string& why, Status s) {
        rep.important("Error: " + display_name(m) + ": " + why);
        out.note(s);
        ++errors;
    };
    try {
        Member m;
        while (r->next(m)) {
            if (!member_selected(o.file_args, m)) continue;
            ++matched;
            std::string why = detail::unsafe_member_reason(m.path);
            if (!why.empty()) {
                rep.important("Refused: " + display_name(m) + ": " + why);
                out.note(Status::unsafe_path);
                ++refused;
                continue;
            }
            auto parts = detail::split_path(m.path);
            if (o.command == 'e') {
                if (m.is_directory) continue;
                parts.erase(parts.begin(), parts.end() - 1);
            }
            if (m.is_symlink && !detail::link_stays_inside(o.command == 'e' ? parts.back() : m.path,
                                                           m.link_target)) {
                rep.important("Refused: " + display_name(m) +
                              ": the link leads outside the destination");
                out.note(Status::unsafe_path);
                ++refused;
                continue;
            }
            if (m.method == Method::unknown) {
                fail(m, "method " + m.method_text + " is not supported", Status::unsupported);
                continue;
            }
            const std::size_t parents = m.is_directory ? parts.size() : parts.size() - 1;
            Fd dir = open_dirs(base.get(), parts, parents, why);
            if (!dir.valid()) {
                if (why.find("symbolic link") != std::string::npos) {
                    rep.important("Refused: " + display_name(m) + ": " + why);
                    out.note(Status::unsafe_path);
                    ++refused;
                } else {
                    fail(m, why, Status::io);
                }
                continue;
            }
            if (m.is_directory) {
                dirs.push_back({parts, m.mode, m.mtime});
                if (o.detail >= 1) rep.line("Created   " + display_name(m));
                continue;
            }
            const char* leaf = parts.back().c_str();
            struct stat st {};
            if (::fstatat(dir.get(), leaf, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                if (S_ISDIR(st.st_mode)) {
                    fail(m, "a folder of that name is in the way", Status::io);
                    continue;
                }
                if (!o.overwrite) {
                    rep.important("Skipped: " + display_name(m) +
                                  ": the file exists (use -c to overwrite)");
                    out.note(Status::skipped);
                    ++skipped;
                    continue;
                }
                ::unlinkat(dir.get(), leaf, 0);
            }
            if (m.is_symlink) {
                if (::symlinkat(m.link_target.c_str(), dir.get(), leaf) != 0) {
                    fail(m, "cannot create the link: " + detail::errno_text(errno), Status::io);
                    continue;
                }
                if (o.detail >= 1) rep.line("Linked    " + display_name(m));
                ++files;
                continue;
            }
            Fd f(::openat(dir.get(), leaf, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          0600));
            if (!f.valid()) {
                fail(m, "cannot create the file: " + detail::errno_text(errno), Status::io);
                continue;
            }
            try {
                detail::FdSink sink(f.get(), m.path);
                r->read_data(m, sink);
                sink.flush();
            } catch (const Failure& ex) {
                // The bytes written so far stay: for a backup, most of a file beats none.
                fail(m, std::string(ex.what()) + " (the extracted file is incomplete)",
                     ex.status());
                continue;
            }
            mode_t mode = m.mode ? static_cast<mode_t>(m.mode & 0777) : 0644;
            ::fchmod(f.get(), mode);
            struct timespec ts[2] = {{static_cast<time_t>(m.mtime), 0},
                                     {static_cast<time_t>(m.mtime), 0}};
            ::futimens(f.get(), ts);
            ++files;
            bytes += m.original_size;
            if (o.detail >= 1)
                rep.line("Extracted " + display_name(m) + "  " + thousands(m.original_size) +
                         " bytes");
        }
    } catch (const Failure& f) {
        rep.important("Error: extraction stopped: " + std::string(f.what()));
        out.note(f.status());
        ++errors;
    }
    // Folder times last: creating files inside a folder changes its time.
    for (auto it = dirs.rbegin(); it != dirs.rend(); ++it) {
        std::string why;
        Fd d = open_dirs(base.get(), it->parts, it->parts.size(), why);
        if (!d.valid()) continue;
        if (it->mode) ::fchmod(d.get(), static_cast<mode_t>(it->mode & 0777) | S_IRWXU);
        struct timespec ts[2] = {{static_cast<time_t>(it->mtime), 0},
                                 {static_cast<time_t>(it->mtime), 0}};
        ::futimens(d.get(), ts);
    }
    report_notes(*r, rep);
    if (matched == 0 && out.status == Status::ok) {
        rep.important("No members matched.");
        out.note(Status::no_files);
    }
    rep.important(counted(files, "file") + " extracted (" + thousands(bytes) + " bytes) to " +
                  dest + "; " + std::to_string(refused) + " refused, " + std::to_string(skipped) +
                  " skipped, " + counted(errors, "error") + ".");
    return out.status;
}

// ---- add / update -------------------------------------------------------------------------

struct Collector {
    const Options& o;
    Report& rep;
    Outcome& out;
    std::vector<DiskEntry> entries;
    std::set<std::string> names;
    dev_t arc_dev = 0;
    ino_t arc_ino = 0;
    bool have_arc = false;
    std::string arc_tmp_prefix;

    void add(const std::string& disk, const std::string& name, const struct stat& st) {
        if (have_arc && st.st_dev == arc_dev && st.st_ino == arc_ino)
            return;  // never the archive itself
        if (disk.compare(0, arc_tmp_prefix.size(), arc_tmp_prefix) == 0) return;
        if (!names.insert(name).second) return;
        DiskEntry e;
        e.disk_path = disk;
        e.name = name;
        e.st = st;
        if (S_ISLNK(st.st_mode)) {
            std::vector<char> buf(PATH_MAX + 1);
            ssize_t n = ::readlink(disk.c_str(), buf.data(), buf.size() - 1);
            if (n < 0) {
                rep.important("Error: cannot read the link " + disk + ": " +
                              detail::errno_text(errno));
                out.note(Status::io);
                return;
            }
            e.link_target.assign(buf.data(), static_cast<std::size_t>(n));
        }
        entries.push_back(std::move(e));
    }

    std::string member_name(const std::string& disk_abs, const std::string& rel) const {
        if (o.full_path) return disk_abs.substr(1);  // the full path without its root
        return rel;
    }

    void walk(const std::string& dir_abs, const std::string& rel, const std::string& pattern) {
        DIR* d = ::opendir(dir_abs.c_str());
        if (!d) {
            rep.important("Error: cannot read the folder " + dir_abs + ": " +
                          detail::errno_text(errno));
            out.note(Status::io);
            return;
        }
        std::vector<std::string> kids;
        while (dirent* de = ::readdir(d)) {
            std::string n = de->d_name;
            if (n != "." && n != "..") kids.push_back(n);
        }
        ::closedir(d);
        std::sort(kids.begin(), kids.end());
        for (auto& n : kids) {
            std::string abs = dir_abs == "/" ? "/" + n : dir_abs + "/" + n;
            std::string r = rel.empty() ? n : rel + "/" + n;
            struct stat st {};
            if (::lstat(abs.c_str(), &st) != 0) {
                rep.important("Error: cannot read " + abs + ": " + detail::errno_text(errno));
                out.note(Status::io);
                continue;
            }
            if (S_ISDIR(st.st_mode)) {
                if (!o.recurse) continue;
                if (wildcard_match(pattern, n)) add(abs, member_name(abs, r), st);
                walk(abs, r, pattern);
            } else if (wildcard_match(pattern, n)) {
                if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))
                    add(abs, member_name(abs, r), st);
                else if (o.detail >= 1)
                    rep.line("Not stored (not a file, folder or link): " + abs);
            }
        }
    }

    void file_arg(const std::string& raw, const std::string& cwd) {
        std::string p = detail::to_forward_slashes(raw);
        if (p.empty()) return;
        if (p[0] != '/') p = cwd + "/" + p;
        const bool trailing = p.back() == '/';
        p = detail::normalize(p);
        std::string dir = parent_of(p);
        std::string last = p.substr(p.rfind('/') + 1);
        const std::size_t before = entries.size();
        if (detail::has_wildcard(last) && !trailing) {
            struct stat st {};
            if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
                rep.important("Error: the folder " + dir + " does not exist");
                out.note(Status::no_files);
                return;
            }
            walk(dir, "", last);
        } else {
            struct stat st {};
            if (::lstat(p.c_str(), &st) != 0) {
                rep.important("Error: " + p + " does not exist");
                out.note(Status::no_files);
                return;
            }
            if (S_ISDIR(st.st_mode)) {
                // A folder named by itself: the folder and its contents, named from the folder.
                if (p != "/") add(p, member_name(p, last), st);
                walk(p, p == "/" ? "" : last, "*");
            } else {
                add(p, member_name(p, last), st);
            }
        }
        if (entries.size() == before && o.detail >= 1) rep.line("Nothing to store for " + raw);
    }
};

std::string cwd_path() {
    std::vector<char> buf(PATH_MAX + 1);
    if (!::getcwd(buf.data(), buf.size())) return "/";
    return buf.data();
}

Status write_plan(const Options& o, std::unique_ptr<ArchiveReader>& r,
                  const std::vector<PlanItem>& plan, Report& rep, Outcome& out,
                  std::uint64_t& stored, std::uint64_t& failed) {
    detail::WriteOptions wo;
    wo.method = o.method;
    wo.threads = o.threads;
    std::string abs = o.archive[0] == '/' ? o.archive : cwd_path() + "/" + o.archive;
    try {
        detail::write_archive(abs, r.get(), plan, wo, [&](const detail::StoredMember& sm) {
            if (!sm.ok) {
                rep.important(
                    "Error: " + sm.item->entry.disk_path + ": " + sm.error +
                    (sm.item->has_old ? " (the previous version is kept)" : " (not stored)"));
                out.note(Status::io);
                ++failed;
                return;
            }
            ++stored;
            const Member& m = sm.member;
            if (o.detail < 1) return;
            std::string verb = sm.item->has_old ? "Updated   " : "Added     ";
            if (m.is_directory || m.is_symlink) {
                rep.line(verb + display_name(m));
            } else {
                std::string note;
                if (m.original_size > 0xFFFFFFFFull)
                    note =
                        "  (4 GiB or more: stored with 64-bit sizes, which some other tools cannot "
                        "read)";
                rep.line(verb + m.path + "  " + thousands(m.original_size) + " -> " +
                         thousands(m.packed_size) + " " + ratio(m.packed_size, m.original_size) +
                         " " + method_name(m.method) + note);
            }
        });
    } catch (const Failure& f) {
        rep.important("Error: " + std::string(f.what()) + "; the archive was not changed");
        out.note(f.status());
        return out.status;
    }
    return Status::ok;
}

Status cmd_add(const Options& o, Report& rep) {
    Outcome out;
    if (o.file_args.empty()) {
        rep.important("Error: no files named to store");
        return Status::usage;
    }
    std::unique_ptr<ArchiveReader> r;
    std::vector<Member> old;
    struct stat ast {};
    const bool have_archive = ::stat(o.archive.c_str(), &ast) == 0;
    if (have_archive) {
        if (Status s = open_archive(o.archive, r, rep, "; the file was not changed");
            s != Status::ok)
            return s;
        std::string damage;
        old = read_members(*r, damage);
        if (!damage.empty()) {
            rep.important("Error: the archive is damaged (" + damage + "); it was not changed");
            return Status::damaged;
        }
    }
    Collector col{o, rep, out, {}, {}, ast.st_dev, ast.st_ino, have_archive, {}};
    const std::string cwd = cwd_path();
    col.arc_tmp_prefix = (o.archive[0] == '/' ? o.archive : cwd + "/" + o.archive) + ".tmp-";
    for (auto& s : o.file_args) col.file_arg(s, cwd);

    std::map<std::string, std::size_t> by_name;
    for (std::size_t i = 0; i < old.size(); ++i) by_name[old[i].path] = i;
    std::vector<PlanItem> plan;
    std::vector<int> replaced(old.size(), -1);
    std::vector<PlanItem> fresh;
    std::uint64_t unchanged = 0;
    for (auto& e : col.entries) {
        auto it = by_name.find(e.name);
        if (it != by_name.end() && o.command == 'u') {
            const Member& m = old[it->second];
            if (static_cast<std::int64_t>(e.st.st_mtime) <= m.mtime || S_ISDIR(e.st.st_mode)) {
                ++unchanged;
                if (o.detail >= 2) rep.line("Unchanged " + display_name(m));
                continue;
            }
        }
        PlanItem p;
        p.from_disk = true;
        p.entry = e;
        if (it != by_name.end()) {
            p.has_old = true;
            p.old = old[it->second];
            replaced[it->second] = static_cast<int>(fresh.size());
        }
        fresh.push_back(std::move(p));
    }
    if (fresh.empty()) {
        if (col.entries.empty() && !have_archive) {
            rep.important("No files to store; no archive was created.");
            out.note(Status::no_files);
        } else {
            rep.important("Nothing new to store; " + o.archive + " is unchanged (" +
                          std::to_string(unchanged) + " unchanged).");
        }
        return out.status;
    }
    // Replacements take their old member's place; new members follow the old ones.
    std::vector<bool> placed(fresh.size(), false);
    for (std::size_t i = 0; i < old.size(); ++i) {
        if (replaced[i] >= 0) {
            plan.push_back(fresh[static_cast<std::size_t>(replaced[i])]);
            placed[static_cast<std::size_t>(replaced[i])] = true;
        } else {
            plan.push_back(kept_member(old[i]));
        }
    }
    for (std::size_t i = 0; i < fresh.size(); ++i)
        if (!placed[i]) plan.push_back(fresh[i]);

    std::uint64_t stored = 0, failed = 0;
    if (write_plan(o, r, plan, rep, out, stored, failed) != Status::ok) return out.status;
    rep.important(counted(stored, "member") + " stored in " + o.archive + ", " +
                  std::to_string(unchanged) + " unchanged, " + counted(failed, "error") + ".");
    return out.status;
}

// ---- delete -----------------------------------------------------------------------------------

Status cmd_delete(const Options& o, Report& rep) {
    Outcome out;
    if (o.file_args.empty()) {
        rep.important("Error: no members named to delete");
        return Status::usage;
    }
    std::unique_ptr<ArchiveReader> r;
    if (Status s = open_archive(o.archive, r, rep); s != Status::ok) return s;
    std::string damage;
    auto old = read_members(*r, damage);
    if (!damage.empty()) {
        rep.important("Error: the archive is damaged (" + damage + "); it was not changed");
        return Status::damaged;
    }
    std::vector<PlanItem> plan;
    std::uint64_t deleted = 0;
    for (auto& m : old) {
        if (member_selected(o.file_args, m)) {
            ++deleted;
            if (o.detail >= 1) rep.line("Deleted   " + display_name(m));
            continue;
        }
        plan.push_back(kept_member(m));
    }
    if (deleted == 0) {
        rep.important("No members matched; " + o.archive + " is unchanged.");
        return Status::no_files;
    }
    std::uint64_t stored = 0, failed = 0;
    if (write_plan(o, r, plan, rep, out, stored, failed) != Status::ok) return out.status;
    rep.important(counted(deleted, "member") + " deleted; " + std::to_string(plan.size()) +
                  " left in " + o.archive + ".");
    return out.status;
}

}  // namespace

Status run_command(std::string_view line, Report& rep) {
    Options o;
    Status s = parse(line, o, rep);
    if (s != Status::ok) return s;
    try {
        switch (o.command) {
            case 'a':
            case 'u':
                return cmd_add(o, rep);
            case 'd':
                return cmd_delete(o, rep);
            case 't':
                return cmd_test(o, rep);
            case 'x':
            case 'e':
                return cmd_extract(o, rep);
            default:
                return cmd_list(o, rep);
        }
    } catch (const std::bad_alloc&) {
        rep.important("Error: out of memory");
        return Status::no_memory;
    } catch (const Failure& f) {
        rep.important("Error: " + std::string(f.what()));
        return f.status();
    } catch (const std::exception& e) {
        rep.important(std::string("Error: ") + e.what());
        return Status::io;
    }
}

}  // namespace lzh
