#include "disk_scan.h"

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "paths.h"
#include "workers.h"

namespace lzh::detail {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

std::string joined(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// Opens `rel` below the folder `anchor` one folder at a time (never following a link on the
// way: the scan found real folders there), and its last component with `flags`.
Fd open_below(const std::string& anchor, const std::string& rel, int flags) {
    Fd dir(::open(anchor.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const auto parts = split_path(rel);
    if (parts.empty()) return dir;
    for (std::size_t i = 0; dir.valid() && i + 1 < parts.size(); ++i)
        dir.reset(::openat(dir.get(), parts[i].c_str(), kFolderFlags));
    if (!dir.valid()) return dir;
    return Fd(::openat(dir.get(), parts.back().c_str(), flags));
}

// The names in a folder, sorted, so archives list their members in a stable order.
bool read_names(int folder, std::vector<std::string>& names) {
    DIR* d = ::fdopendir(::dup(folder));
    if (!d) return false;
    while (dirent* de = ::readdir(d)) {
        std::string n = de->d_name;
        if (n != "." && n != "..") names.push_back(std::move(n));
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return true;
}

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

Fd open_for_reading(const DiskEntry& e) {
    if (int err = injected_error(IoCall::open_source, -1)) {
        errno = err;
        return Fd();
    }
    constexpr int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    if (e.anchor_len == 0 || e.disk_path.size() < PATH_MAX)
        return Fd(::open(e.disk_path.c_str(), flags));
    return open_below(e.disk_path.substr(0, e.anchor_len), e.disk_path.substr(e.anchor_len), flags);
}

namespace {

// Reads the target of the link `name` in `dir` into e.link_target; false (errno set) when it
// cannot.
bool read_link_target(int dir, const std::string& name, DiskEntry& e) {
    std::vector<char> buf(static_cast<std::size_t>(std::max<off_t>(e.st.st_size, PATH_MAX)) + 1);
    const ssize_t n = ::readlinkat(dir, name.c_str(), buf.data(), buf.size());
    if (n < 0) return false;
    if (static_cast<std::size_t>(n) == buf.size()) {
        errno = ENAMETOOLONG;
        return false;
    }
    e.link_target.assign(buf.data(), static_cast<std::size_t>(n));
    return true;
}

}  // namespace

// What a folder holds, in name order: each entry with what became of it, and the folders
// below it that the walk goes into.
struct DiskScan::Folder {
    struct Item {
        DiskEntry entry;
        bool wanted = false;     // matches the pattern
        std::string error;       // it could not be read (the entry is not stored)
        std::string not_stored;  // neither a file, a folder nor a link
        std::unique_ptr<Folder> below;
    };
    std::string abs;    // its path on disk
    std::string rel;    // its path below the pattern's folder ("" for that folder)
    struct stat st {};  // as the folder above saw it (the top's own)
    bool top = false;
    std::string error;  // why it could not be read
    std::vector<Item> items;
};

namespace {

// A member's name: the full path without its root (-x1), or else the path below the pattern's
// folder.
std::string member_name(const Options& o, const std::string& disk_abs, const std::string& rel) {
    if (o.full_path) return disk_abs.substr(1);
    return rel;
}

// The folders of one pattern's walk, read by several threads. A thread takes any folder waiting,
// reads its names, looks at each, and leaves the folders below it for whichever thread comes
// next; the tree of results keeps the order.
class ParallelWalk {
  public:
    ParallelWalk(const Options& o, std::string top, std::string pattern)
        : o_(o), top_(std::move(top)), pattern_(std::move(pattern)) {}

    void run(DiskScan::Folder& root, int threads) {
        waiting_.push_back(&root);
        std::vector<std::thread> helpers;
        for (int i = 1; i < threads; ++i) helpers.emplace_back([this] { work(); });
        work();
        for (auto& t : helpers) t.join();
    }

  private:
    void work() {
        std::unique_lock<std::mutex> lk(mu_);
        for (;;) {
            cv_.wait(lk, [&] { return !waiting_.empty() || busy_ == 0; });
            if (waiting_.empty()) {
                cv_.notify_all();
                return;
            }
            DiskScan::Folder* f = waiting_.back();
            waiting_.pop_back();
            ++busy_;
            lk.unlock();
            std::vector<DiskScan::Folder*> below;
            read_folder(*f, below);
            lk.lock();
            --busy_;
            waiting_.insert(waiting_.end(), below.rbegin(), below.rend());
            cv_.notify_all();
        }
    }

    // Opens a folder found by the walk: by its path when that is short enough, else one folder
    // at a time below the top; either way never through a link, and it must be the folder the
    // walk saw (a folder moved meanwhile is reported).
    Fd open_folder(const DiskScan::Folder& f) const {
        if (f.top)
            return Fd(::open(f.abs.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
        Fd fd = f.abs.size() < PATH_MAX ? Fd(::open(f.abs.c_str(), kFolderFlags))
                                        : open_below(top_, f.abs.substr(top_.size()), kFolderFlags);
        struct stat st {};
        if (fd.valid() && (::fstat(fd.get(), &st) != 0 || !same_file(st, f.st))) {
            errno = ESTALE;
            return Fd();
        }
        return fd;
    }

    void read_folder(DiskScan::Folder& f, std::vector<DiskScan::Folder*>& below) {
        Fd fd = open_folder(f);
        std::vector<std::string> names;
        if (!fd.valid() || (f.top && ::fstat(fd.get(), &f.st) != 0) ||
            !read_names(fd.get(), names)) {
            f.error = errno == ESTALE
                          ? "the folder " + f.abs + " was moved while it was read"
                          : "cannot read the folder " + f.abs + ": " + errno_text(errno);
            return;
        }
        f.items.resize(names.size());
        for (std::size_t i = 0; i < names.size(); ++i)
            look_at(fd.get(), f, names[i], f.items[i], below);
    }

    void look_at(int dir, const DiskScan::Folder& f, const std::string& name,
                 DiskScan::Folder::Item& item, std::vector<DiskScan::Folder*>& below) {
        DiskEntry& e = item.entry;
        e.disk_path = joined(f.abs, name);
        e.anchor_len = top_.size();
        // The path below the pattern's folder, which the folders below then build on.
        std::string rel = joined(f.rel, name);
        e.name = member_name(o_, e.disk_path, rel);
        if (::fstatat(dir, name.c_str(), &e.st, AT_SYMLINK_NOFOLLOW) != 0) {
            item.error = "cannot read " + e.disk_path + ": " + errno_text(errno);
            return;
        }
        item.wanted = wildcard_match(pattern_, name);
        if (S_ISDIR(e.st.st_mode)) {
            if (!o_.recurse) {
                item.wanted = false;
                return;
            }
            item.below = std::make_unique<DiskScan::Folder>();
            item.below->abs = e.disk_path;
            item.below->rel = std::move(rel);
            item.below->st = e.st;
            below.push_back(item.below.get());
        } else if (S_ISLNK(e.st.st_mode) && item.wanted) {
            read_link(dir, name, item);
        } else if (item.wanted && !S_ISREG(e.st.st_mode)) {
            item.wanted = false;
            item.not_stored = e.disk_path;
        }
    }

    static void read_link(int dir, const std::string& name, DiskScan::Folder::Item& item) {
        if (!read_link_target(dir, name, item.entry))
            item.error = "cannot read the link " + item.entry.disk_path + ": " + errno_text(errno);
    }

    const Options& o_;
    const std::string top_, pattern_;
    std::mutex mu_;
    std::condition_variable cv_;
    std::vector<DiskScan::Folder*> waiting_;
    int busy_ = 0;
};

}  // namespace

DiskScan::DiskScan(const Options& o, Report& rep, Outcome& out) : o_(o), rep_(rep), out_(out) {}
DiskScan::~DiskScan() = default;

void DiskScan::exclude_archive(const struct stat* archive, const std::string& archive_path) {
    have_archive_ = archive != nullptr;
    if (archive) {
        archive_dev_ = archive->st_dev;
        archive_ino_ = archive->st_ino;
    }
    temp_prefix_ = archive_path + ".tmp-";
    const std::size_t slash = archive_path.rfind('/') + 1;  // npos + 1: no folder part
    companion_prefix_ = archive_path.substr(0, slash) + "." + archive_path.substr(slash) + ".";
}

void DiskScan::add(DiskEntry e) {
    if (have_archive_ && e.st.st_dev == archive_dev_ && e.st.st_ino == archive_ino_)
        return;  // never the archive itself
    // Nor an update's temporary files, which are never a person's.
    if (e.disk_path.starts_with(temp_prefix_)) return;
    if (e.disk_path.starts_with(companion_prefix_)) {
        // Where a backup keeps the archive as it was; a person's own file of such a name is
        // left out too, but not unseen.
        if (o_.detail >= 1)
            rep_.line("Not stored (a hidden file named after the archive beside it): " +
                      e.disk_path);
        return;
    }
    // Names are unique within one pattern's walk; a second pattern may name some again.
    if (patterns_ > 1 && !names_.insert(e.name).second) return;
    entries_.push_back(std::move(e));
}

// A file, folder or link named on the command line.
void DiskScan::add_named(const std::string& path, const std::string& last, const struct stat& st) {
    DiskEntry e{path, 0, member_name(o_, path, last), st, {}};
    if (S_ISLNK(st.st_mode) && !read_link_target(AT_FDCWD, path, e)) {
        out_.error(rep_, "cannot read the link " + path + ": " + errno_text(errno), Status::io);
        return;
    }
    add(std::move(e));
}

// Walks the tree below `top`, its folders read on several threads, then takes what was found
// in the order of a depth-first walk in name order.
void DiskScan::walk(const std::string& top, const std::string& rel, const std::string& pattern) {
    Folder root;
    root.abs = top;
    root.rel = rel;
    root.top = true;
    ParallelWalk(o_, top, pattern).run(root, worker_count(o_.threads));
    take(root);
}

// The entries of a walked tree in walk order (without recursion: a tree may be deeper than a
// thread's stack).
void DiskScan::take(Folder& top) {
    std::size_t found = 0;
    std::vector<const Folder*> count{&top};
    while (!count.empty()) {
        const Folder* f = count.back();
        count.pop_back();
        found += f->items.size();
        for (const auto& item : f->items)
            if (item.below) count.push_back(item.below.get());
    }
    entries_.reserve(entries_.size() + found);
    std::vector<std::pair<Folder*, std::size_t>> stack{{&top, 0}};
    if (!top.error.empty()) out_.error(rep_, top.error, Status::io);
    while (!stack.empty()) {
        auto& [f, next] = stack.back();
        if (next == f->items.size()) {
            std::vector<Folder::Item>().swap(f->items);  // taken: only shells are left
            stack.pop_back();
            continue;
        }
        Folder::Item& item = f->items[next++];
        if (!item.error.empty()) {
            out_.error(rep_, item.error, Status::io);
            continue;
        }
        if (!item.not_stored.empty() && o_.detail >= 1)
            rep_.line("Not stored (not a file, folder or link): " + item.not_stored);
        if (item.wanted) add(std::move(item.entry));
        if (item.below) {
            if (!item.below->error.empty()) out_.error(rep_, item.below->error, Status::io);
            stack.push_back({item.below.get(), 0});
        }
    }
}

void DiskScan::file_arg(const std::string& raw, const std::string& cwd) {
    std::string p = to_forward_slashes(raw);
    if (p.empty()) return;
    if (++patterns_ == 2)
        for (auto& e : entries_) names_.insert(e.name);
    if (p[0] != '/') p = cwd + "/" + p;
    const bool trailing = p.back() == '/';
    p = normalize(p);
    const std::string dir = parent_folder(p);
    const std::string last = p.substr(p.rfind('/') + 1);
    const std::size_t before = entries_.size();
    struct stat st {};
    if (has_wildcard(last) && !trailing) {
        if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            out_.error(rep_, "the folder " + dir + " does not exist", Status::no_files);
            return;
        }
        walk(dir, "", last);
    } else if (::lstat(p.c_str(), &st) != 0) {
        out_.error(rep_, p + " does not exist", Status::no_files);
        return;
    } else if (S_ISDIR(st.st_mode)) {
        // A folder named by itself: the folder and its contents, named from the folder.
        if (p != "/") add_named(p, last, st);
        walk(p, p == "/" ? "" : last, "*");
    } else {
        add_named(p, last, st);
    }
    if (entries_.size() == before && o_.detail >= 1) rep_.line("Nothing to store for " + raw);
}

}  // namespace lzh::detail
