#include "io_calls.h"

#include <atomic>
#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lzh::detail {
namespace {

// Replaced as a whole; a test installs a handful.
std::atomic<const IoFault*> g_fault{nullptr};

}  // namespace

void set_io_fault(IoFault fault) {
    const IoFault* next = fault ? new IoFault(std::move(fault)) : nullptr;
    const IoFault* old = g_fault.exchange(next);
    // Faults are swapped only between commands, so nothing is running inside the old one.
    delete old;
}

int injected_error(IoCall call, int fd) {
    const IoFault* f = g_fault.load(std::memory_order_acquire);
    return f ? (*f)(call, fd) : 0;
}

namespace {

// Runs `call` unless a fault is injected for it; then fails as the system call would.
template <typename Result, typename Call>
Result unless_injected(IoCall kind, int fd, Call call) {
    if (int e = injected_error(kind, fd)) {
        errno = e;
        return Result(-1);
    }
    return call();
}

}  // namespace

ssize_t io_read(int fd, void* buf, std::size_t n) {
    return unless_injected<ssize_t>(IoCall::read_source, fd, [&] { return ::read(fd, buf, n); });
}

ssize_t io_pread(int fd, void* buf, std::size_t n, off_t off) {
    return unless_injected<ssize_t>(IoCall::read_source, fd,
                                    [&] { return ::pread(fd, buf, n, off); });
}

ssize_t io_write(int fd, const void* buf, std::size_t n) {
    return unless_injected<ssize_t>(IoCall::write, fd, [&] { return ::write(fd, buf, n); });
}

int io_fsync(int fd) {
    return unless_injected<int>(IoCall::fsync, fd, [&] { return ::fsync(fd); });
}

int io_syncfs(int fd) {
    return unless_injected<int>(IoCall::fsync, fd, [&] { return ::syncfs(fd); });
}

int io_renameat(int old_dir, const char* old_name, int new_dir, const char* new_name) {
    return unless_injected<int>(IoCall::rename, old_dir,
                                [&] { return ::renameat(old_dir, old_name, new_dir, new_name); });
}

int io_rename_new(int dir, const char* old_name, const char* new_name) {
    return unless_injected<int>(IoCall::rename, dir, [&] {
        if (::renameat2(dir, old_name, dir, new_name, RENAME_NOREPLACE) == 0) return 0;
        if (errno != EINVAL && errno != ENOSYS) return -1;
        struct stat st {};
        if (::fstatat(dir, new_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            errno = EEXIST;
            return -1;
        }
        return ::renameat(dir, old_name, dir, new_name);
    });
}

}  // namespace lzh::detail
