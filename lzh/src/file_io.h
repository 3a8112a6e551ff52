// Thin wrappers over POSIX file descriptors: owned descriptors, positional reads as a
// ByteSource, buffered writes as a ByteSink. Errors become Failure(io) naming the file.
#pragma once

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "io_calls.h"
#include "lzh/lzh.hpp"

namespace lzh::detail {

inline std::string errno_text(int e) { return std::strerror(e); }

// A failed system call: the errno stays with the message, so a caller can tell a full disk
// from other trouble without reading the words.
class IoError : public Failure {
  public:
    IoError(int error_number, const std::string& what)
        : Failure(Status::io, what + ": " + errno_text(error_number)), errno_(error_number) {}
    int error_number() const noexcept { return errno_; }
    // No space or no quota left: writing anything more is pointless.
    bool disk_full() const noexcept { return disk_full_errno(errno_); }
    static bool disk_full_errno(int e) noexcept { return e == ENOSPC || e == EDQUOT; }

  private:
    int errno_;
};

class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& o) noexcept : fd_(o.release()) {}
    Fd& operator=(Fd&& o) noexcept {
        if (this != &o) {
            reset();
            fd_ = o.release();
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        int f = fd_;
        fd_ = -1;
        return f;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

// Reads up to n bytes at `off`; returns fewer only at the end of the file. `source`: the file is
// one being stored (whose reads a test may make fail), not an archive.
inline std::size_t pread_full(int fd, void* buf, std::size_t n, std::uint64_t off,
                              bool source = false) {
    std::size_t done = 0;
    while (done < n) {
        char* at = static_cast<char*>(buf) + done;
        const auto where = static_cast<off_t>(off + done);
        ssize_t r = source ? io_pread(fd, at, n - done, where) : ::pread(fd, at, n - done, where);
        if (r < 0) {
            if (errno == EINTR) continue;
            throw IoError(errno, "read error");
        }
        if (r == 0) break;
        done += static_cast<std::size_t>(r);
    }
    return done;
}

inline void write_full(int fd, const void* buf, std::size_t n, const std::string& name) {
    const char* p = static_cast<const char*>(buf);
    while (n > 0) {
        ssize_t r = io_write(fd, p, n);
        if (r < 0) {
            if (errno == EINTR) continue;
            throw IoError(errno, "cannot write " + name);
        }
        p += r;
        n -= static_cast<std::size_t>(r);
    }
}

// A byte range of an open file.
class FdRangeSource : public ByteSource {
  public:
    FdRangeSource(int fd, std::uint64_t off, std::uint64_t len) : fd_(fd), off_(off), left_(len) {}
    std::size_t read(std::uint8_t* buf, std::size_t n) override {
        if (left_ < n) n = static_cast<std::size_t>(left_);
        if (n == 0) return 0;
        std::size_t got = pread_full(fd_, buf, n, off_);
        off_ += got;
        left_ -= got;
        return got;
    }

  private:
    int fd_;
    std::uint64_t off_, left_;
};

// Sequential reads of a file being stored, from its current position.
class FdStreamSource : public ByteSource {
  public:
    FdStreamSource(int fd, std::uint64_t limit, std::string name)
        : fd_(fd), left_(limit), name_(std::move(name)) {}
    std::size_t read(std::uint8_t* buf, std::size_t n) override {
        if (left_ < n) n = static_cast<std::size_t>(left_);
        while (n > 0) {
            ssize_t r = io_read(fd_, buf, n);
            if (r < 0) {
                if (errno == EINTR) continue;
                throw IoError(errno, "cannot read " + name_);
            }
            left_ -= static_cast<std::uint64_t>(r);
            return static_cast<std::size_t>(r);
        }
        return 0;
    }

  private:
    int fd_;
    std::uint64_t left_;
    std::string name_;
};

// Buffered sequential writes.
class FdSink : public ByteSink {
  public:
    FdSink(int fd, std::string name) : fd_(fd), name_(std::move(name)) { buf_.reserve(kSize); }
    ~FdSink() override = default;
    void write(const std::uint8_t* data, std::size_t n) override {
        written_ += n;
        if (buf_.size() + n > kSize) {
            flush();
            if (n >= kSize) {
                write_full(fd_, data, n, name_);
                return;
            }
        }
        buf_.insert(buf_.end(), data, data + n);
    }
    void flush() {
        if (!buf_.empty()) write_full(fd_, buf_.data(), buf_.size(), name_);
        flushed_ += buf_.size();
        buf_.clear();
        if (early_writeback_ && flushed_ - kicked_ >= kWriteback) {
            // Start writing to disk now, so the final fsync has little left to wait for.
            ::sync_file_range(fd_, static_cast<off_t>(kicked_),
                              static_cast<off_t>(flushed_ - kicked_), SYNC_FILE_RANGE_WRITE);
            kicked_ = flushed_;
        }
    }
    std::uint64_t written() const { return written_; }
    // For files that will be fsynced when complete.
    void start_writeback_early() { early_writeback_ = true; }

  private:
    static constexpr std::size_t kSize = 1 << 20;
    static constexpr std::uint64_t kWriteback = std::uint64_t{8} << 20;
    int fd_;
    std::string name_;
    std::vector<std::uint8_t> buf_;
    std::uint64_t written_ = 0, flushed_ = 0, kicked_ = 0;
    bool early_writeback_ = false;
};

}  // namespace lzh::detail
