// Walking an archive: find the first header (possibly behind a self-extracting stub), then
// header after header until the end marker, each checked before it is handed out.
#include <algorithm>

#include <sys/stat.h>

#include "crc16.h"
#include "file_io.h"
#include "header.h"

namespace lzh {

using detail::Fd;

struct ArchiveReader::Impl {
    Fd fd;
    std::uint64_t size = 0;
    std::uint64_t next = 0;
    bool done = false;
    std::string path;
};

namespace {

// Stubs put in front of archives are at most this long.
constexpr std::uint64_t kStubScan = 64 * 1024;

std::uint64_t find_first_header(int fd, std::uint64_t size) {
    std::vector<std::uint8_t> buf(
        static_cast<std::size_t>(std::min<std::uint64_t>(size, kStubScan + 32)));
    std::size_t got = detail::pread_full(fd, buf.data(), buf.size(), 0);
    if (got == 0) throw Failure(Status::not_archive, "the file is empty");
    if (buf[0] == 0 && size == 1) return 0;  // an archive with no members
    if (detail::looks_like_header(buf.data(), got)) return 0;
    for (std::size_t i = 1; i + 22 <= got && i < kStubScan; ++i)
        if (buf[i + 2] == '-' && detail::looks_like_header(&buf[i], got - i)) return i;
    throw Failure(Status::not_archive, "no LZH header found");
}

}  // namespace

ArchiveReader::ArchiveReader(const std::string& path) : impl_(std::make_unique<Impl>()) {
    impl_->path = path;
    // Without blocking: a FIFO in the archive's place must not hang the caller.
    impl_->fd.reset(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!impl_->fd.valid())
        throw Failure(Status::no_archive, "cannot open " + path + ": " + detail::errno_text(errno));
    struct stat st {};
    if (::fstat(impl_->fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw Failure(Status::no_archive, path + " is not a regular file");
    impl_->size = static_cast<std::uint64_t>(st.st_size);
    impl_->next = find_first_header(impl_->fd.get(), impl_->size);
}

ArchiveReader::~ArchiveReader() = default;

std::uint64_t ArchiveReader::offset() const noexcept { return impl_->next; }
std::uint64_t ArchiveReader::file_size() const noexcept { return impl_->size; }
int ArchiveReader::fd() const noexcept { return impl_->fd.get(); }

bool ArchiveReader::next(Member& m) {
    if (impl_->done) return false;
    const int fd = impl_->fd.get();
    auto read_at = [fd](std::uint64_t off, std::uint8_t* buf, std::size_t n) {
        return detail::pread_full(fd, buf, n, off);
    };
    try {
        if (detail::read_header(read_at, impl_->next, impl_->size, m) ==
            detail::HeaderResult::end) {
            impl_->done = true;
            return false;
        }
    } catch (const Failure& f) {
        if (f.status() != Status::damaged) throw;
        throw Failure(Status::damaged,
                      std::string(f.what()) + " (at offset " + std::to_string(impl_->next) + ")");
    }
    impl_->next = m.data_offset + m.packed_size;
    return true;
}

namespace {

// Passes bytes on while keeping their CRC.
class CrcSink : public ByteSink {
  public:
    explicit CrcSink(ByteSink& out) : out_(out) {}
    void write(const std::uint8_t* d, std::size_t n) override {
        crc = detail::crc16(crc, d, n);
        size += n;
        out_.write(d, n);
    }
    std::uint16_t crc = 0;
    std::uint64_t size = 0;

  private:
    ByteSink& out_;
};

}  // namespace

void ArchiveReader::read_data(const Member& m, ByteSink& out) {
    detail::FdRangeSource src(impl_->fd.get(), m.data_offset, m.packed_size);
    std::uint16_t crc = 0;
    switch (m.method) {
        case Method::directory:
            return;
        case Method::stored: {
            CrcSink sink(out);
            std::vector<std::uint8_t> buf(1 << 18);
            for (;;) {
                std::size_t n = src.read(buf.data(), buf.size());
                if (n == 0) break;
                sink.write(buf.data(), n);
            }
            if (sink.size != m.original_size)
                throw Failure(Status::damaged, "stored data is cut short");
            crc = sink.crc;
            break;
        }
        case Method::lh4:
        case Method::lh5:
        case Method::lh6:
        case Method::lh7:
            crc = decode(m.method, src, m.packed_size, m.original_size, out);
            break;
        case Method::unknown:
            throw Failure(Status::unsupported, "method " + m.method_text + " is not supported");
    }
    if (crc != m.crc)
        throw Failure(Status::damaged, "CRC error: the data does not match its checksum");
}

}  // namespace lzh
