#include "extract_files.h"

#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lzh::detail {
namespace {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// A fresh hidden name beside `leaf` for what is being made for it: derived from the real name,
// so a person can tell what it was, and unguessable, so nothing else can claim it first.
std::string temporary_name(const std::string& leaf) {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 rng{std::random_device{}()};
    // Short enough that the name stays within the 255 bytes a file name may have.
    std::string name = "." + leaf.substr(0, 200) + ".lzh-";
    for (int i = 0; i < 6; ++i) name += kChars[rng() % (sizeof kChars - 1)];
    return name;
}

// Runs `make(name)` with fresh temporary names until one is free; returns the name used.
template <typename Make>
std::string make_temporary(const std::string& leaf, const std::string& what, Make make) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = temporary_name(leaf);
        if (make(name)) return name;
        if (errno != EEXIST) break;
    }
    throw IoError(errno, "cannot create " + what);
}

}  // namespace

Dirs open_dirs(int base, const std::vector<std::string>& parts, std::size_t count, bool create) {
    Dirs d;
    d.fd.reset(::dup(base));
    for (std::size_t i = 0; i < count; ++i) {
        const char* name = parts[i].c_str();
        int fd = ::openat(d.fd.get(), name, kDirFlags);
        if (fd < 0 && errno == ENOENT && create) {
            if (::mkdirat(d.fd.get(), name, 0755) != 0 && errno != EEXIST) {
                d.error = IoError::disk_full_errno(errno) ? DirError::disk_full : DirError::other;
                d.why = "cannot create folder " + parts[i] + ": " + errno_text(errno);
                d.fd.reset();
                return d;
            }
            fd = ::openat(d.fd.get(), name, kDirFlags);
        }
        if (fd < 0) {
            const int e = errno;
            struct stat st {};
            if (::fstatat(d.fd.get(), name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
                d.error = DirError::through_link;
                d.why = "the path passes through the symbolic link " + parts[i];
            } else {
                d.error = DirError::other;
                d.why = "cannot open folder " + parts[i] + ": " + errno_text(e);
            }
            d.fd.reset();
            return d;
        }
        d.fd.reset(fd);
    }
    return d;
}

int FolderCursor::open(const std::vector<std::string>& parts) {
    std::size_t common = 0;
    while (common < names_.size() && common < parts.size() && names_[common] == parts[common])
        ++common;
    names_.resize(common);
    fds_.resize(common);
    for (std::size_t i = common; i < parts.size(); ++i) {
        const int fd = ::openat(i == 0 ? base_ : fds_[i - 1].get(), parts[i].c_str(), kDirFlags);
        if (fd < 0) return -1;
        fds_.emplace_back(fd);
        names_.push_back(parts[i]);
    }
    return parts.empty() ? base_ : fds_.back().get();
}

TemporaryFile::TemporaryFile(int dir, const std::string& leaf) : dir_(dir) {
    name_ = make_temporary(leaf, "the file", [&](const std::string& name) {
        fd_.reset(::openat(dir_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           0600));
        return fd_.valid();
    });
}

TemporaryFile::~TemporaryFile() {
    if (!kept_) ::unlinkat(dir_, name_.c_str(), 0);
}

std::string TemporaryFile::keep() {
    if (::close(fd_.release()) != 0) throw IoError(errno, "cannot close the file");
    kept_ = true;
    return name_;
}

// Makes a symbolic link; one that replaces something is made beside it and renamed over it.
void make_link(int dir, const std::string& leaf, const std::string& target, bool replacing) {
    if (!replacing) {
        if (::symlinkat(target.c_str(), dir, leaf.c_str()) != 0)
            throw IoError(errno, "cannot create the link");
        return;
    }
    std::string temp = make_temporary(leaf, "the link", [&](const std::string& name) {
        return ::symlinkat(target.c_str(), dir, name.c_str()) == 0;
    });
    if (io_renameat(dir, temp.c_str(), dir, leaf.c_str()) != 0) {
        const int e = errno;
        ::unlinkat(dir, temp.c_str(), 0);
        throw IoError(e, "cannot put the link in place");
    }
}

void set_times(int fd, std::int64_t mtime) {
    struct timespec ts[2] = {{static_cast<time_t>(mtime), 0}, {static_cast<time_t>(mtime), 0}};
    ::futimens(fd, ts);
}

}  // namespace lzh::detail
