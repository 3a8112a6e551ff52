#include "update_lock.h"

#include <chrono>
#include <cstdio>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include "paths.h"

namespace lzh::detail {
namespace {

// Takes an exclusive lock on `fd`; 0 or the errno that stopped it. `waited` is set when another
// holder had to be waited for.
int lock_exclusive(int fd, bool& waited) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
    if (errno != EWOULDBLOCK) return errno;
    waited = true;
    injected_error(IoCall::lock_wait, fd);  // a notice for tests; nothing fails here
    while (::flock(fd, LOCK_EX) != 0)
        if (errno != EINTR) return errno;
    return 0;
}

// Whether the locked file is still what the path names: the update that held the lock before
// may have renamed a new archive over the one locked, or created the archive meanwhile.
bool still_current(int locked, const std::string& archive, bool creating) {
    struct stat now {
    }, held{};
    if (::stat(archive.c_str(), &now) != 0) return creating && errno == ENOENT;
    return !creating && ::fstat(locked, &held) == 0 && now.st_dev == held.st_dev &&
           now.st_ino == held.st_ino;
}

std::string seconds_text(std::chrono::steady_clock::duration d) {
    char b[32];
    std::snprintf(b, sizeof b, "%.1f", std::chrono::duration<double>(d).count());
    return b;
}

}  // namespace

UpdateLock::UpdateLock(const std::string& archive, Report& rep) : archive_(archive) {
    const auto start = std::chrono::steady_clock::now();
    bool waited = false;
    for (;;) {
        Fd fd(::open(archive.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        const bool creating = !fd.valid() && errno == ENOENT;
        if (creating)
            fd.reset(::open(parent_folder(archive).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        // An archive or folder that cannot be opened is reported by the update itself.
        if (!fd.valid()) return;
        if (int e = lock_exclusive(fd.get(), waited)) {
            rep.line("Note: " + archive + " cannot be locked on this file system (" +
                     errno_text(e) + "); an update running at the same time would not be noticed");
            return;
        }
        if (still_current(fd.get(), archive, creating)) {
            fd_ = std::move(fd);
            break;
        }
    }
    if (waited)
        rep.important("Waited " + seconds_text(std::chrono::steady_clock::now() - start) +
                      " s for another update of " + archive + " to finish.");
    remove_stale_temporaries(rep);
}

void UpdateLock::remove_stale_temporaries(Report& rep) {
    if (!held()) return;  // unguarded, a temporary file may belong to an update still running
    const std::string folder = parent_folder(archive_);
    const std::string prefix = archive_.substr(archive_.rfind('/') + 1) + ".tmp-";
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* d = dir.valid() ? ::fdopendir(::dup(dir.get())) : nullptr;
    if (!d) return;
    int removed = 0;
    while (dirent* de = ::readdir(d)) {
        const std::string name = de->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        // A writer holds a lock on its temporary file while it runs; the system drops the lock
        // when the writer dies. A file that can be locked now has no writer.
        Fd f(::openat(dir.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (f.valid() && ::fstat(f.get(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::flock(f.get(), LOCK_EX | LOCK_NB) == 0 && ::unlinkat(dir.get(), name.c_str(), 0) == 0)
            ++removed;
    }
    ::closedir(d);
    if (removed > 0)
        rep.line("Removed " + std::to_string(removed) + " temporary " +
                 (removed == 1 ? "file" : "files") + " left by an update of " + archive_ +
                 " that did not finish.");
}

}  // namespace lzh::detail
