// The command interpreter: parses an Unlha-style command line and runs add, update, delete,
// list, test and extract, writing a report for a person.
#include "command.h"

#include <climits>
#include <cstdio>
#include <ctime>
#include <future>
#include <map>
#include <optional>
#include <string_view>
#include <unordered_map>

#include <sys/stat.h>
#include <unistd.h>

#include "archive_writer.h"
#include "disk_scan.h"
#include "file_io.h"
#include "paths.h"
#include "progress.h"
#include "update_lock.h"

namespace lzh::detail {

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

std::string counted(std::uint64_t n, const std::string& noun) {
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

std::string display_name(const Member& m) {
    if (m.is_directory) return m.path + "/";
    if (m.is_symlink) return m.path + " -> " + m.link_target;
    return m.path;
}

Status open_archive(const std::string& path, std::unique_ptr<ArchiveReader>& r, Report& rep,
                    const std::string& aftermath) {
    try {
        r = std::make_unique<ArchiveReader>(path);
    } catch (const Failure& f) {
        rep.important("Error: " + std::string(f.what()) + aftermath);
        return f.status();
    }
    return Status::ok;
}

namespace {

bool pattern_matches(const std::string& pattern, const std::string& path) {
    if (pattern.find('/') == std::string::npos) {
        std::size_t s = path.rfind('/');
        std::string base = s == std::string::npos ? path : path.substr(s + 1);
        return wildcard_match(pattern, base) || wildcard_match(pattern, path);
    }
    if (wildcard_match(pattern, path)) return true;
    std::string folder = pattern;
    if (folder.back() == '/') folder.pop_back();
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

}  // namespace

bool member_selected(const std::vector<std::string>& file_args, const Member& m) {
    if (file_args.empty()) return true;
    // A command line cannot carry every byte a name may hold, and reads '\' as a separator.
    const std::string shown = to_forward_slashes(escape_controls(m.path));
    for (auto& raw : file_args) {
        std::string p = to_forward_slashes(raw);
        while (p.size() > 2 && p.compare(0, 2, "./") == 0) p.erase(0, 2);
        if (pattern_matches(p, m.path) || (shown != m.path && pattern_matches(p, shown)))
            return true;
    }
    return false;
}

void report_notes(const ArchiveReader& r, Report& rep) {
    for (const auto& n : r.notes()) rep.line("Note: " + n);
}

namespace {

// A member copied from the old archive as it stands.
PlanItem kept_member(Member m) {
    PlanItem p;
    p.old = std::move(m);
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

std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
}

bool exists(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0;
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
    const std::string single = archive_file_name(o.archive);
    if (!exists(single)) {
        // An existing archive under the joined name settles it. When creating, a joined name
        // whose folder exists counts too, provided the words it swallows are not files or
        // folders of their own (then they are what to store).
        std::string joined = o.archive;
        bool swallowed_paths = false;
        for (std::size_t k = 0; k < sp.size(); ++k) {
            joined += " " + sp[k];
            swallowed_paths =
                swallowed_paths || has_wildcard(sp[k]) || exists(to_forward_slashes(sp[k]));
            std::string name = archive_file_name(joined);
            bool fits = exists(name) || (creating && !swallowed_paths && k + 1 < sp.size() &&
                                         exists(parent_folder(to_forward_slashes(name))));
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
            ok = !ends_sep(sp[i]) && !has_wildcard(sp[i]);
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
    o.archive = archive_file_name(o.archive);
    // For reading commands, a file argument ending in a separator names the destination folder.
    if (o.command == 'x' || o.command == 'e' || o.command == 't') {
        std::vector<std::string> rest;
        for (auto& s : o.file_args) {
            std::string f = to_forward_slashes(s);
            if (!f.empty() && f.back() == '/')
                o.dest = f;
            else
                rest.push_back(f);
        }
        o.file_args = rest;
    }
    return Status::ok;
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

// ---- add / update -------------------------------------------------------------------------

std::string cwd_path() {
    std::vector<char> buf(PATH_MAX + 1);
    if (!::getcwd(buf.data(), buf.size())) return "/";
    return buf.data();
}

std::string absolute_path(const std::string& path, const std::string& cwd) {
    return path[0] == '/' ? path : cwd + "/" + path;
}

// One line per member written from disk, one error line per member that could not be.
void report_stored(const Options& o, const StoredMember& sm, Report& rep, Outcome& out) {
    if (!sm.ok) {
        out.error(rep,
                  sm.item->entry.disk_path + ": " + sm.error +
                      (sm.item->has_old ? " (the previous version is kept)" : " (not stored)"),
                  Status::io);
        return;
    }
    const Member& m = sm.member;
    if (o.detail < 1) return;
    std::string verb = sm.item->has_old ? "Updated   " : "Added     ";
    if (m.is_directory || m.is_symlink) {
        rep.line(verb + display_name(m));
        return;
    }
    std::string note;
    if (m.original_size > 0xFFFFFFFFull)
        note = "  (4 GiB or more: stored with 64-bit sizes, which some other tools cannot read)";
    rep.line(verb + m.path + "  " + thousands(m.original_size) + " -> " + thousands(m.packed_size) +
             " " + ratio(m.packed_size, m.original_size) + " " + method_name(m.method) + note);
}

Status write_plan(const Options& o, std::unique_ptr<ArchiveReader>& r,
                  const std::vector<PlanItem>& plan, Report& rep, Outcome& out,
                  std::uint64_t& stored) {
    WriteOptions wo;
    wo.method = o.method;
    wo.threads = o.threads;
    wo.before_member = [&](const PlanItem& it) { o.progress->storing(it); };
    try {
        write_archive(absolute_path(o.archive, cwd_path()), r.get(), plan, wo,
                      [&](const StoredMember& sm) {
                          if (sm.ok) ++stored;
                          report_stored(o, sm, rep, out);
                          o.progress->stored(sm);
                      });
    } catch (const Failure& f) {
        if (f.status() == Status::cancelled) {
            out.status = o.progress->cancelled(rep, "; " + o.archive + " was not changed");
            return out.status;
        }
        out.error(rep, std::string(f.what()) + "; the archive was not changed", f.status());
        return out.status;
    }
    return Status::ok;
}

// Reads the members of the archive an update builds on; a damaged archive is left alone.
Status read_old_members(const Options& o, std::unique_ptr<ArchiveReader>& r,
                        std::vector<Member>& old, Report& rep) {
    if (Status s = open_archive(o.archive, r, rep, "; the file was not changed"); s != Status::ok)
        return s;
    std::string damage;
    old = read_members(*r, damage);
    if (!damage.empty()) {
        rep.important("Error: the archive is damaged (" + damage + "); it was not changed");
        return Status::damaged;
    }
    return Status::ok;
}

struct UpdatePlan {
    std::vector<PlanItem> items;  // only when something is to be stored
    std::size_t fresh = 0;        // members made from disk
    std::uint64_t unchanged = 0;
};

// The old members by name (the last of any with the same name), indexing `old` in place.
using NameIndex = std::unordered_map<std::string_view, std::size_t>;
NameIndex index_names(const std::vector<Member>& old) {
    NameIndex by_name;
    by_name.reserve(old.size());
    for (std::size_t i = 0; i < old.size(); ++i) by_name[old[i].path] = i;
    return by_name;
}

// What the new archive holds: every old member, replaced in place by its file when that is to
// be stored, then the new files. `u` stores only files newer than their member. The entries
// and the old members move into the plan; when nothing is to be stored, no plan is made.
UpdatePlan plan_update(const Options& o, std::vector<Member>& old, const NameIndex& by_name,
                       std::vector<DiskEntry>& entries, Report& rep) {
    UpdatePlan plan;
    constexpr std::size_t kNone = SIZE_MAX;
    std::vector<std::size_t> replaced_by(old.size(), kNone);  // index into `fresh`
    std::vector<PlanItem> fresh;
    fresh.reserve(entries.size());
    for (auto& e : entries) {
        auto it = by_name.find(e.name);
        if (it != by_name.end() && o.command == 'u') {
            const Member& m = old[it->second];
            if (static_cast<std::int64_t>(e.st.st_mtime) <= m.mtime || S_ISDIR(e.st.st_mode)) {
                ++plan.unchanged;
                if (o.detail >= 2) rep.line("Unchanged " + display_name(m));
                continue;
            }
        }
        PlanItem p;
        p.from_disk = true;
        p.entry = std::move(e);
        if (it != by_name.end()) {
            p.has_old = true;
            replaced_by[it->second] = fresh.size();
        }
        fresh.push_back(std::move(p));
    }
    plan.fresh = fresh.size();
    std::vector<DiskEntry>().swap(entries);  // moved from: only their shells are left
    if (plan.fresh == 0) return plan;
    plan.items.reserve(old.size() + fresh.size());
    for (std::size_t i = 0; i < old.size(); ++i) {
        if (replaced_by[i] == kNone) {
            plan.items.push_back(kept_member(std::move(old[i])));
            continue;
        }
        PlanItem& p = fresh[replaced_by[i]];
        p.old = std::move(old[i]);
        plan.items.push_back(std::move(p));
    }
    for (auto& p : fresh)
        if (!p.has_old) plan.items.push_back(std::move(p));
    return plan;
}

Status cmd_add(const Options& o, Report& rep) {
    if (o.file_args.empty()) {
        rep.important("Error: no files named to store");
        return Status::usage;
    }
    // A count reads a complete archive either way; it neither waits for an update nor tidies.
    std::optional<UpdateLock> lock;
    if (!o.progress->count_only()) lock.emplace(o.archive, rep);
    std::unique_ptr<ArchiveReader> r;
    std::vector<Member> old;
    NameIndex by_name;
    struct stat ast {};
    const bool have_archive = ::stat(o.archive.c_str(), &ast) == 0;
    // The old archive's headers are read while the folders are scanned; each tells its own
    // report, and a damaged archive stops the update before anything of the scan is said.
    Report old_rep, scan_rep;
    std::future<Status> reading;
    if (have_archive)
        reading = std::async(std::launch::async, [&] {
            const Status st = read_old_members(o, r, old, old_rep);
            if (st == Status::ok) by_name = index_names(old);
            return st;
        });
    Outcome out;
    DiskScan scan(o, scan_rep, out);
    const std::string cwd = cwd_path();
    scan.exclude_archive(have_archive ? &ast : nullptr, absolute_path(o.archive, cwd));
    for (auto& s : o.file_args) scan.file_arg(s, cwd);
    if (have_archive) {
        const Status s = reading.get();
        rep.append(old_rep);
        if (s != Status::ok) return s;
    }
    rep.append(scan_rep);
    const bool found_any = !scan.entries().empty();
    UpdatePlan plan = plan_update(o, old, by_name, scan.entries(), rep);
    if (o.progress->begin_writing(o, plan.items)) return out.status;
    if (plan.fresh == 0) {
        if (!found_any && !have_archive) {
            rep.important("No files to store; no archive was created.");
            out.note(Status::no_files);
        } else {
            rep.important("Nothing new to store; " + o.archive + " is unchanged (" +
                          std::to_string(plan.unchanged) + " unchanged, " +
                          counted(out.errors, "error") + ").");
        }
        return out.status;
    }
    std::uint64_t stored = 0;
    if (write_plan(o, r, plan.items, rep, out, stored) != Status::ok) return out.status;
    rep.important(counted(stored, "member") + " stored in " + o.archive + ", " +
                  std::to_string(plan.unchanged) + " unchanged, " + counted(out.errors, "error") +
                  ".");
    return out.status;
}

// ---- delete -----------------------------------------------------------------------------------

Status cmd_delete(const Options& o, Report& rep) {
    Outcome out;
    if (o.file_args.empty()) {
        rep.important("Error: no members named to delete");
        return Status::usage;
    }
    UpdateLock lock(o.archive, rep);
    std::unique_ptr<ArchiveReader> r;
    std::vector<Member> old;
    if (Status s = read_old_members(o, r, old, rep); s != Status::ok) return s;
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
    std::uint64_t stored = 0;
    if (write_plan(o, r, plan, rep, out, stored) != Status::ok) return out.status;
    rep.important(counted(deleted, "member") + " deleted; " + std::to_string(plan.size()) +
                  " left in " + o.archive + ".");
    return out.status;
}

}  // namespace

Status run_command(std::string_view line, Report& rep, Progress* progress) {
    Options o;
    Progress none;
    o.progress = progress ? progress : &none;
    Status s = parse(line, o, rep);
    if (s != Status::ok) return s;
    if (o.progress->count_only() && std::string("autxe").find(o.command) == std::string::npos)
        return Status::ok;  // nothing to count; and a count must not delete or list
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

}  // namespace lzh::detail

namespace lzh {

Status run_command(std::string_view line, Report& rep) {
    return detail::run_command(line, rep, nullptr);
}

}  // namespace lzh
