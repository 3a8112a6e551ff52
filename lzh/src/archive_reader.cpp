// Walking an archive: find the first header (possibly behind a self-extracting stub), then
// header after header until the end marker, each checked before it is handed out.
#include <algorithm>
#include <cstring>

#include <sys/stat.h>

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
    std::uint64_t first = 0;  // offset of the first header
    std::uint64_t members = 0;
    bool all_ours = true;  // every member so far looks written by this library
    std::vector<std::string> notes;
    // The bytes at and after the header last read: a header and the next one usually lie
    // within a few kilobytes, and one read then serves both.
    std::vector<std::uint8_t> cache;
    std::uint64_t cache_off = 0;

    std::size_t read_header_bytes(std::uint64_t off, std::uint8_t* buf, std::size_t n);
};

std::size_t ArchiveReader::Impl::read_header_bytes(std::uint64_t off, std::uint8_t* buf,
                                                   std::size_t n) {
    constexpr std::size_t kCache = 4096;
    if (off < cache_off || off + n > cache_off + cache.size()) {
        if (n > kCache) return detail::pread_full(fd.get(), buf, n, off);
        cache.resize(kCache);
        cache.resize(detail::pread_full(fd.get(), cache.data(), kCache, off));
        cache_off = off;
    }
    const std::uint64_t from = off - cache_off;
    const std::size_t got = static_cast<std::size_t>(
        std::min<std::uint64_t>(n, cache.size() - std::min<std::uint64_t>(from, cache.size())));
    std::memcpy(buf, cache.data() + from, got);
    return got;
}

namespace {

// Any header that looks right this close to the start is taken, as it always was.
constexpr std::uint64_t kStubScan = 64 * 1024;
// Further on (some stubs are larger), only a header that verifies; no stub is this large.
constexpr std::uint64_t kVerifiedScan = 16 << 20;
constexpr std::size_t kScanChunk = 1 << 20;

detail::ReadAt file_reader(int fd) {
    return [fd](std::uint64_t off, std::uint8_t* buf, std::size_t n) {
        return detail::pread_full(fd, buf, n, off);
    };
}

// A header that passes every check (checksum or header CRC, sizes inside the file) and names a
// method we know, as opposed to stub bytes that happen to look like one.
bool header_verifies(const detail::ReadAt& read_at, std::uint64_t off, std::uint64_t size) {
    Member m;
    try {
        return detail::read_header(read_at, off, size, m) == detail::HeaderResult::member &&
               m.method != Method::unknown;
    } catch (const Failure& f) {
        if (f.status() != Status::damaged) throw;
        return false;
    }
}

std::uint64_t find_first_header(int fd, std::uint64_t size) {
    // The usual case first: a header right at the start.
    std::uint8_t start[32];
    std::size_t got = detail::pread_full(fd, start, sizeof start, 0);
    if (got == 0) throw Failure(Status::not_archive, "the file is empty");
    if (start[0] == 0 && size == 1) return 0;  // an archive with no members
    if (detail::looks_like_header(start, got)) return 0;
    std::vector<std::uint8_t> buf(kScanChunk + 32);
    got = detail::pread_full(fd, buf.data(), buf.size(), 0);
    const detail::ReadAt read_at = file_reader(fd);
    std::uint64_t first_loose = UINT64_MAX;
    const std::uint64_t limit = std::min(size, kVerifiedScan);
    for (std::uint64_t base = 0; base < limit; base += kScanChunk) {
        if (base > 0) got = detail::pread_full(fd, buf.data(), buf.size(), base);
        for (std::size_t i = base == 0 ? 1 : 0; i < kScanChunk && i + 22 <= got; ++i) {
            const void* dash = std::memchr(&buf[i + 2], '-', got - i - 2);
            if (!dash) break;
            i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(dash) - buf.data()) - 2;
            if (i >= kScanChunk || i + 22 > got) break;
            if (!detail::looks_like_header(&buf[i], got - i)) continue;
            if (header_verifies(read_at, base + i, size)) return base + i;
            if (base + i < kStubScan && first_loose == UINT64_MAX) first_loose = base + i;
        }
    }
    // Nothing verifies: read from the first likely header so that the damage is reported.
    if (first_loose != UINT64_MAX) return first_loose;
    throw Failure(Status::not_archive, "no LZH header found");
}

// What this library writes: level 2, Unix, names marked UTF-8, a mode.
bool written_by_us(const Member& m) {
    return m.level == 2 && m.os_id == 'U' && m.utf8 && m.mode != 0;
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
    impl_->next = impl_->first = find_first_header(impl_->fd.get(), impl_->size);
}

ArchiveReader::ArchiveReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<ArchiveReader> ArchiveReader::branch() const {
    auto impl = std::make_unique<Impl>();
    impl->fd.reset(::fcntl(impl_->fd.get(), F_DUPFD_CLOEXEC, 0));
    if (!impl->fd.valid())
        throw Failure(Status::io, "cannot read " + impl_->path + ": " + detail::errno_text(errno));
    impl->size = impl_->size;
    impl->next = impl_->next;
    impl->done = impl_->done;
    impl->path = impl_->path;
    impl->first = impl_->first;
    impl->members = impl_->members;
    impl->all_ours = impl_->all_ours;
    impl->notes = impl_->notes;
    return std::unique_ptr<ArchiveReader>(new ArchiveReader(std::move(impl)));
}

void ArchiveReader::rewind() {
    impl_->next = impl_->first;
    impl_->done = false;
    impl_->members = 0;
    impl_->all_ours = true;
    impl_->notes.clear();
}

ArchiveReader::~ArchiveReader() = default;

std::uint64_t ArchiveReader::offset() const noexcept { return impl_->next; }
std::uint64_t ArchiveReader::file_size() const noexcept { return impl_->size; }
int ArchiveReader::fd() const noexcept { return impl_->fd.get(); }
const std::vector<std::string>& ArchiveReader::notes() const noexcept { return impl_->notes; }

bool ArchiveReader::next(Member& m) {
    if (impl_->done) return false;
    try {
        Impl* impl = impl_.get();
        const detail::ReadAt cached = [impl](std::uint64_t off, std::uint8_t* buf, std::size_t n) {
            return impl->read_header_bytes(off, buf, n);
        };
        if (detail::read_header(cached, impl_->next, impl_->size, m) == detail::HeaderResult::end) {
            impl_->done = true;
            after_end_marker();
            return false;
        }
    } catch (const Failure& f) {
        if (f.status() != Status::damaged) throw;
        throw Failure(Status::damaged,
                      std::string(f.what()) + " (at offset " + std::to_string(impl_->next) + ")");
    }
    ++impl_->members;
    impl_->all_ours = impl_->all_ours && written_by_us(m);
    impl_->next = m.data_offset + m.packed_size;
    return true;
}

// Bytes after the end marker: some archivers pad their archives (OS-9 LHA does), so when the
// members before it were read, they are a note. We never write any, so in an archive of ours
// they are damage.
void ArchiveReader::after_end_marker() {
    const std::uint64_t end = impl_->next + 1;
    if (end >= impl_->size) return;
    const std::uint64_t extra = impl_->size - end;
    if (impl_->members > 0 && impl_->all_ours)
        throw Failure(Status::damaged, "there are bytes after the end marker");
    impl_->notes.push_back(std::to_string(extra) + (extra == 1 ? " byte" : " bytes") +
                           " after the end marker (at offset " + std::to_string(end) +
                           ") were left alone");
}

void ArchiveReader::read_data(const Member& m, ByteSink& out) const {
    if (m.method == Method::directory) return;
    if (m.method == Method::unknown)
        throw Failure(Status::unsupported, "method " + m.method_text + " is not supported");
    detail::FdRangeSource src(impl_->fd.get(), m.data_offset, m.packed_size);
    const std::uint16_t crc = decode(m.method, src, m.packed_size, m.original_size, out);
    if (crc != m.crc)
        throw Failure(Status::damaged, "CRC error: the data does not match its checksum");
}

}  // namespace lzh
