// The system calls through which the library reads the files it stores and writes, flushes and
// renames the files it makes. They pass through one place so that a test can make any one of
// them fail, as a full disk or a failing device would, and check that nothing is lost.
#pragma once

#include <cstddef>
#include <functional>

#include <sys/types.h>

namespace lzh::detail {

enum class IoCall {
    open_source,  // opening a file to store (before the open)
    read_source,  // reading a file to store (before each read)
    write,        // writing an archive, a spool or an extracted file
    fsync,        // flushing a new archive, or the file system under replacing files
    rename,       // putting a finished file in place
    lock_wait,    // an update starts waiting for another update of its archive (notice only)
};

// Called before every call above with the descriptor it concerns (-1 when there is none).
// Returning an errno value makes the call fail with that error; 0 lets it run. The fault is
// process-wide and meant for tests: install it only while no command runs, and make it safe to
// call from several threads (the compression workers read and write too).
using IoFault = std::function<int(IoCall call, int fd)>;
void set_io_fault(IoFault fault);

// 0, or the errno the installed fault chose for this call.
int injected_error(IoCall call, int fd);

// The calls themselves: as the system calls of the same name, failing with errno when a fault
// is injected.
ssize_t io_read(int fd, void* buf, std::size_t n);
ssize_t io_pread(int fd, void* buf, std::size_t n, off_t off);
ssize_t io_write(int fd, const void* buf, std::size_t n);
int io_fsync(int fd);
int io_syncfs(int fd);  // counts as an fsync
int io_renameat(int old_dir, const char* old_name, int new_dir, const char* new_name);
// A rename that never replaces anything: fails with EEXIST when the new name is taken. On file
// systems that cannot promise that, the name is checked first (with a moment's race).
int io_rename_new(int dir, const char* old_name, const char* new_name);

}  // namespace lzh::detail
