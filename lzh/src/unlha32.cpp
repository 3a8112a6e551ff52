// The C functions: a thin layer over the command interpreter and ArchiveReader. Handles are
// small numbers looked up in a table under a lock, so a stale or invented handle is an error
// rather than a crash, and two threads can work on separate handles at once.
#include "unlha32.h"

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include <sys/stat.h>

#include "header.h"
#include "lzh/lzh.hpp"
#include "paths.h"
#include "progress.h"

namespace {

std::atomic<int> g_running{0};

// An archive opened for listing. Members are read as FindFirst/FindNext walk them, one at a
// time: a listing of any length holds one member here, never the whole list.
struct OpenArchive {
    std::mutex mu;  // one call at a time per handle
    std::string path;
    std::unique_ptr<lzh::ArchiveReader> reader;
    std::string pattern;
    lzh::Member current;
    bool started = false;  // FindFirst (or FindNext in its place) has run
    bool has_current = false;
    bool at_end = false;
    // Sums over the members walked since FindFirst; complete once the walk reached the end.
    std::uint64_t packed_walked = 0, original_walked = 0;
    bool totals_known = false;
    std::uint64_t packed_total = 0, original_total = 0;
    std::int64_t file_mtime = 0;
};

std::mutex g_table_mu;
std::map<std::uintptr_t, std::shared_ptr<OpenArchive>> g_table;
std::uintptr_t g_next_handle = 1;

std::shared_ptr<OpenArchive> lookup(HARC h) {
    std::lock_guard<std::mutex> lk(g_table_mu);
    auto it = g_table.find(reinterpret_cast<std::uintptr_t>(h));
    return it == g_table.end() ? nullptr : it->second;
}

// Walks every member header of an archive, handing each to `visit`. False when the file is no
// archive; damage ends the walk early (the members before it are still worth showing).
template <typename Visit>
bool walk_archive(const char* name, Visit visit) {
    try {
        lzh::ArchiveReader r(lzh::detail::archive_file_name(name));
        try {
            lzh::Member m;
            while (r.next(m)) visit(m);
        } catch (const lzh::Failure&) {
        }
        return true;
    } catch (...) {
        return false;
    }
}

DWORD clamp32(std::uint64_t v) { return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(v); }

WORD os_type(char id) {
    switch (id) {
        case 'M':
            return 0;
        case '2':
            return 1;
        case 'U':
            return 3;
        case 'm':
            return 4;
        case 'w':
        case 'W':
            return 7;
        default:
            return 0xFFFF;
    }
}

void fill(const lzh::Member& m, INDIVIDUALINFO* info) {
    if (!info) return;
    std::memset(info, 0, sizeof *info);
    info->dwOriginalSize = clamp32(m.original_size);
    info->dwCompressedSize = clamp32(m.packed_size);
    info->dwCRC = m.crc;
    info->uOSType = os_type(m.os_id);
    info->wRatio = m.original_size ? static_cast<WORD>(std::min<std::uint64_t>(
                                         65535, m.packed_size * 1000 / m.original_size))
                                   : 0;
    std::uint32_t dos = lzh::detail::unix_to_dos(m.mtime);
    info->wTime = static_cast<WORD>(dos & 0xFFFF);
    info->wDate = static_cast<WORD>(dos >> 16);
    const std::string shown = lzh::detail::escape_controls(m.path);
    std::strncpy(info->szFileName, shown.c_str(), sizeof info->szFileName - 1);
    const char* kind = m.is_directory ? "d" : m.is_symlink ? "l" : "-";
    std::snprintf(info->szAttribute, sizeof info->szAttribute, "%s%s%s", kind,
                  (m.mode & 0400) || !m.mode ? "r" : "-", (m.mode & 0200) || !m.mode ? "w" : "-");
    std::memcpy(info->szMode, m.method_text.c_str(),
                std::min<std::size_t>(5, m.method_text.size()));
}

bool name_matches(const std::string& pattern, const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    return lzh::wildcard_match(pattern, path) || lzh::wildcard_match(pattern, base);
}

bool wanted(const OpenArchive& a, const lzh::Member& m) {
    return a.pattern.empty() || a.pattern == "*" || a.pattern == "*.*" ||
           name_matches(a.pattern, m.path) ||
           name_matches(a.pattern, lzh::detail::escape_controls(m.path));
}

// Reads on to the next member the pattern selects; -1 at the end (or at damage).
int find_next(OpenArchive& a, INDIVIDUALINFO* info) {
    a.started = true;
    a.has_current = false;
    if (a.at_end) return -1;
    try {
        while (a.reader->next(a.current)) {
            a.packed_walked += a.current.packed_size;
            a.original_walked += a.current.original_size;
            if (!wanted(a, a.current)) continue;
            a.has_current = true;
            fill(a.current, info);
            return 0;
        }
    } catch (const lzh::Failure&) {
        // Damage: the members before it are what the archive holds.
    }
    a.at_end = true;
    a.totals_known = true;
    a.packed_total = a.packed_walked;
    a.original_total = a.original_walked;
    return -1;
}

int find_first(OpenArchive& a, INDIVIDUALINFO* info) {
    a.reader->rewind();
    a.at_end = false;
    a.packed_walked = a.original_walked = 0;
    return find_next(a, info);
}

// The archive's packed and original sizes: from a walk that reached the end, or else by reading
// on from where the walk stands (the first header when none has started) to the end, on a
// reader of its own over the handle's open file, so the walk itself is left where it was. The
// sizes then describe the archive the rows came from even when an update has replaced the file
// meanwhile, and a listing that stopped at its last member reads no header twice.
void know_totals(OpenArchive& a) {
    if (a.totals_known) return;
    std::uint64_t packed = a.packed_walked, original = a.original_walked;
    bool complete = true;
    try {
        const auto ahead = a.reader->branch();
        lzh::Member m;
        while (ahead->next(m)) {
            packed += m.packed_size;
            original += m.original_size;
        }
    } catch (const lzh::Failure& f) {
        // Damage: the members before it are what the archive holds. Anything else (no
        // descriptor left, a read error) leaves the sizes so far, and a later call tries again.
        complete = f.status() == lzh::Status::damaged;
    } catch (...) {
        complete = false;
    }
    a.packed_total = packed;
    a.original_total = original;
    a.totals_known = complete;
}

// One command, reported into the caller's buffer.
int run(LPCSTR cmd, LPSTR out, DWORD size, lzh::detail::Progress* progress) {
    ++g_running;
    struct Done {
        ~Done() { --g_running; }
    } done;
    lzh::Report rep;
    lzh::Status s;
    try {
        if (!cmd) {
            rep.important("Error: no command line");
            s = lzh::Status::usage;
        } else {
            s = lzh::detail::run_command(cmd, rep, progress);
        }
    } catch (...) {
        rep.important("Error: out of memory");
        s = lzh::Status::no_memory;
    }
    rep.render(out, size);
    return static_cast<int>(s);
}

bool tell(UNLHA_PROGRESS_PROC proc, void* context, const lzh::detail::ProgressStep& step) {
    UNLHA_PROGRESS p{};
    p.dwStructSize = sizeof p;
    p.nCommand = step.command;
    p.nStage = step.done ? UNLHA_PROGRESS_DONE : UNLHA_PROGRESS_STARTING;
    p.szMember = step.member.data();
    p.ullFilesDone = step.files_done;
    p.ullFilesTotal = step.files_total;
    p.ullBytesDone = step.bytes_done;
    p.ullBytesTotal = step.bytes_total;
    p.ullPackedDone = step.packed_done;
    return proc(&p, context) == UNLHA_PROGRESS_CONTINUE;
}

}  // namespace

extern "C" {

int WINAPI Unlha(HWND, LPCSTR cmd, LPSTR out, DWORD size) { return run(cmd, out, size, nullptr); }

int WINAPI UnlhaWithProgress(HWND, LPCSTR cmd, LPSTR out, DWORD size, UNLHA_PROGRESS_PROC proc,
                             void* context) {
    if (!proc) return run(cmd, out, size, nullptr);
    lzh::detail::Progress progress([proc, context](const lzh::detail::ProgressStep& step) {
        return tell(proc, context, step);
    });
    return run(cmd, out, size, &progress);
}

int WINAPI UnlhaCountFiles(LPCSTR cmd, uint64_t* files, uint64_t* bytes) {
    if (files) *files = 0;
    if (bytes) *bytes = 0;
    if (!cmd) return UNLHA_ERROR_USAGE;
    lzh::detail::Progress counting({}, /*count_only=*/true);
    lzh::Report ignored;
    int s;
    try {
        s = static_cast<int>(lzh::detail::run_command(cmd, ignored, &counting));
    } catch (...) {
        return UNLHA_ERROR_NO_MEMORY;
    }
    if (files) *files = counting.files_total();
    if (bytes) *bytes = counting.bytes_total();
    return s;
}

BOOL WINAPI UnlhaGetRunning(void) { return g_running.load() > 0 ? 1 : 0; }

HARC WINAPI UnlhaOpenArchive(HWND, LPCSTR name, DWORD) {
    if (!name) return nullptr;
    try {
        auto a = std::make_shared<OpenArchive>();
        a->path = lzh::detail::archive_file_name(name);
        a->reader = std::make_unique<lzh::ArchiveReader>(a->path);
        struct stat st {};
        if (::fstat(a->reader->fd(), &st) == 0) a->file_mtime = st.st_mtime;
        std::lock_guard<std::mutex> lk(g_table_mu);
        std::uintptr_t h = g_next_handle++;
        g_table[h] = std::move(a);
        return reinterpret_cast<HARC>(h);
    } catch (...) {
        return nullptr;
    }
}

int WINAPI UnlhaCloseArchive(HARC h) {
    std::lock_guard<std::mutex> lk(g_table_mu);
    return g_table.erase(reinterpret_cast<std::uintptr_t>(h)) ? UNLHA_OK : UNLHA_ERROR_HANDLE;
}

int WINAPI UnlhaGetFileCount(LPCSTR name) {
    if (!name) return -1;
    std::uint64_t count = 0;
    if (!walk_archive(name, [&](const lzh::Member&) { ++count; })) return -1;
    return static_cast<int>(std::min<std::uint64_t>(count, 0x7FFFFFFF));
}

int WINAPI UnlhaFindFirst(HARC h, LPCSTR wild, INDIVIDUALINFO* info) {
    auto a = lookup(h);
    if (!a) return UNLHA_ERROR_HANDLE;
    std::lock_guard<std::mutex> lk(a->mu);
    a->pattern = wild ? lzh::detail::to_forward_slashes(wild) : "";
    return find_first(*a, info);
}

int WINAPI UnlhaFindNext(HARC h, INDIVIDUALINFO* info) {
    auto a = lookup(h);
    if (!a) return UNLHA_ERROR_HANDLE;
    std::lock_guard<std::mutex> lk(a->mu);
    if (!a->started) return find_first(*a, info);
    return find_next(*a, info);
}

int WINAPI UnlhaGetFileName(HARC h, LPSTR buf, int size) {
    auto a = lookup(h);
    if (!a || !buf || size <= 0) return UNLHA_ERROR_HANDLE;
    std::lock_guard<std::mutex> lk(a->mu);
    if (!a->has_current) {
        buf[0] = '\0';
        return -1;
    }
    const std::string p = lzh::detail::escape_controls(a->current.path);
    std::size_t n = std::min<std::size_t>(p.size(), static_cast<std::size_t>(size) - 1);
    std::memcpy(buf, p.data(), n);
    buf[n] = '\0';
    return UNLHA_OK;
}

DWORD WINAPI UnlhaGetArcFileSize(HARC h) {
    auto a = lookup(h);
    if (!a) return 0;
    std::lock_guard<std::mutex> lk(a->mu);
    know_totals(*a);
    return static_cast<DWORD>(std::min<std::uint64_t>(a->packed_total, 0x7FFFFFFF));
}

DWORD WINAPI UnlhaGetArcOriginalSize(HARC h) {
    auto a = lookup(h);
    if (!a) return 0;
    std::lock_guard<std::mutex> lk(a->mu);
    know_totals(*a);
    return static_cast<DWORD>(std::min<std::uint64_t>(a->original_total, 0x7FFFFFFF));
}

WORD WINAPI UnlhaGetArcDate(HARC h) {
    auto a = lookup(h);
    if (!a) return 0;
    return static_cast<WORD>(lzh::detail::unix_to_dos(a->file_mtime) >> 16);
}

}  // extern "C"
