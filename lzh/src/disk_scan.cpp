#include "disk_scan.h"

#include <algorithm>
#include <climits>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "paths.h"

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

// A folder being walked: the names in it still to visit.
struct DiskScan::Frame {
    std::vector<std::string> names;
    std::size_t next = 0;
    std::string abs;  // its path on disk
    std::string rel;  // its path below the file spec's folder ("" for that folder)
    struct stat st {};
};

void DiskScan::exclude_archive(const struct stat* archive, std::string temp_prefix) {
    have_archive_ = archive != nullptr;
    if (archive) {
        archive_dev_ = archive->st_dev;
        archive_ino_ = archive->st_ino;
    }
    temp_prefix_ = std::move(temp_prefix);
}

std::string DiskScan::member_name(const std::string& disk_abs, const std::string& rel) const {
    if (o_.full_path) return disk_abs.substr(1);  // the full path without its root
    return rel;
}

// `dir` and `leaf` name the entry relative to its folder (for reading a link's target).
void DiskScan::add(int dir, const std::string& leaf, DiskEntry e) {
    if (have_archive_ && e.st.st_dev == archive_dev_ && e.st.st_ino == archive_ino_)
        return;  // never the archive itself
    if (e.disk_path.compare(0, temp_prefix_.size(), temp_prefix_) == 0) return;
    if (!names_.insert(e.name).second) return;
    if (S_ISLNK(e.st.st_mode)) {
        std::vector<char> buf(static_cast<std::size_t>(std::max<off_t>(e.st.st_size, PATH_MAX)) +
                              1);
        ssize_t n = ::readlinkat(dir, leaf.c_str(), buf.data(), buf.size());
        if (n < 0 || static_cast<std::size_t>(n) == buf.size()) {
            out_.error(rep_, "cannot read the link " + e.disk_path + ": " + errno_text(errno),
                       Status::io);
            return;
        }
        e.link_target.assign(buf.data(), static_cast<std::size_t>(n));
    }
    entries_.push_back(std::move(e));
}

// Walks the tree below `top` depth first, holding only the folder being read open: going down
// opens a child by name, going up opens "..", so no depth is too deep and no path too long.
void DiskScan::walk(const std::string& top, const std::string& rel, const std::string& pattern) {
    Fd cur;
    std::vector<Frame> stack;
    if (!enter(cur, stack, Fd(::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC)),
               top, rel))
        return;
    while (!stack.empty()) {
        if (stack.back().next < stack.back().names.size()) {
            visit(cur, stack, top, pattern);
            continue;
        }
        stack.pop_back();
        if (!stack.empty() && !climb(cur, stack.back(), top)) return;
    }
}

// Makes `child` the folder being read.
bool DiskScan::enter(Fd& cur, std::vector<Frame>& stack, Fd child, std::string abs,
                     std::string rel) {
    Frame f;
    if (!child.valid() || ::fstat(child.get(), &f.st) != 0 || !read_names(child.get(), f.names)) {
        out_.error(rep_, "cannot read the folder " + abs + ": " + errno_text(errno), Status::io);
        return false;
    }
    f.abs = std::move(abs);
    f.rel = std::move(rel);
    stack.push_back(std::move(f));
    cur = std::move(child);
    return true;
}

// Goes back up to `parent`. Should the folder just left have been moved meanwhile, ".." is no
// longer the parent; the parent is then found again from the top.
bool DiskScan::climb(Fd& cur, const Frame& parent, const std::string& top) {
    struct stat st {};
    Fd up(::openat(cur.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!up.valid() || ::fstat(up.get(), &st) != 0 || !same_file(st, parent.st)) {
        up = parent.abs.size() <= top.size()
                 ? Fd(::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
                 : open_below(top, parent.abs.substr(top.size()), kFolderFlags);
        if (!up.valid() || ::fstat(up.get(), &st) != 0 || !same_file(st, parent.st)) {
            out_.error(rep_, "the folder " + parent.abs + " was moved while it was read",
                       Status::io);
            return false;
        }
    }
    cur = std::move(up);
    return true;
}

// Takes the next name of the folder being read: stores it, or goes down into it.
void DiskScan::visit(Fd& cur, std::vector<Frame>& stack, const std::string& top,
                     const std::string& pattern) {
    Frame& f = stack.back();
    const std::string name = f.names[f.next++];
    DiskEntry e;
    e.disk_path = joined(f.abs, name);
    e.anchor_len = top.size();
    const std::string rel = joined(f.rel, name);
    e.name = member_name(e.disk_path, rel);
    if (::fstatat(cur.get(), name.c_str(), &e.st, AT_SYMLINK_NOFOLLOW) != 0) {
        out_.error(rep_, "cannot read " + e.disk_path + ": " + errno_text(errno), Status::io);
        return;
    }
    const bool wanted = wildcard_match(pattern, name);
    if (S_ISDIR(e.st.st_mode)) {
        if (!o_.recurse) return;
        std::string abs = e.disk_path;
        if (wanted) add(cur.get(), name, std::move(e));
        enter(cur, stack, Fd(::openat(cur.get(), name.c_str(), kFolderFlags)), std::move(abs), rel);
    } else if (wanted) {
        if (S_ISREG(e.st.st_mode) || S_ISLNK(e.st.st_mode))
            add(cur.get(), name, std::move(e));
        else if (o_.detail >= 1)
            rep_.line("Not stored (not a file, folder or link): " + e.disk_path);
    }
}

void DiskScan::file_arg(const std::string& raw, const std::string& cwd) {
    std::string p = to_forward_slashes(raw);
    if (p.empty()) return;
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
        if (p != "/") add(AT_FDCWD, p, {p, 0, member_name(p, last), st, {}});
        walk(p, p == "/" ? "" : last, "*");
    } else {
        add(AT_FDCWD, p, {p, 0, member_name(p, last), st, {}});
    }
    if (entries_.size() == before && o_.detail >= 1) rep_.line("Nothing to store for " + raw);
}

}  // namespace lzh::detail
