// Thin wrappers over POSIX file descriptors: owned descriptors, positional reads as a
// ByteSource, buffered writes as a ByteSink. Errors become Failure(io) naming the file.
#pragma once

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "lzh/lzh.hpp"

namespace lzh::detail {

inline std::string errno_text(int e) { return std::strerror(e); }

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

// Reads up to n bytes at `off`; returns fewer only at the end of the file.
inline std::size_t pread_full(int fd, void* buf, std::size_t n, std::uint64_t off) {
    std::size_t done = 0;
    while (done < n) {
        ssize_t r =
            ::pread(fd, static_cast<char*>(buf) + done, n - done, static_cast<off_t>(off + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            throw Failure(Status::io, "read error: " + errno_text(errno));
        }
        if (r == 0) break;
        done += static_cast<std::size_t>(r);
    }
    return done;
}

inline void write_full(int fd, const void* buf, std::size_t n, const std::string& name) {
    const char* p = static_cast<const char*>(buf);
    while (n > 0) {
        ssize_t r = ::write(fd, p, n);
        if (r < 0) {
            if (errno == EINTR) continue;
            throw Failure(Status::io, "cannot write " + name + ": " + errno_text(errno));
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

// Sequential reads of a file from its current position.
class FdStreamSource : public ByteSource {
  public:
    FdStreamSource(int fd, std::uint64_t limit, std::string name)
        : fd_(fd), left_(limit), name_(std::move(name)) {}
    std::size_t read(std::uint8_t* buf, std::size_t n) override {
        if (left_ < n) n = static_cast<std::size_t>(left_);
        while (n > 0) {
            ssize_t r = ::read(fd_, buf, n);
            if (r < 0) {
                if (errno == EINTR) continue;
                throw Failure(Status::io, "cannot read " + name_ + ": " + errno_text(errno));
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
