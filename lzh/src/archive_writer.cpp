#include "archive_writer.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "crc16.h"
#include "file_io.h"
#include "header.h"
#include "paths.h"
#include "pieces.h"
#include "workers.h"

namespace lzh::detail {

// Holds one member's compressed bytes: in memory up to a limit, then in an unnamed temporary
// file, so a huge member never has to fit in memory. Memory is taken in chunks that double from
// 4 KiB to 256 KiB, so a small member takes little, and what the spools hold together never
// exceeds their budget by more than a chunk each (a vector doubling its storage would briefly
// hold three times what it keeps).
class Spool : public ByteSink {
  public:
    static constexpr std::size_t kFirstChunk = std::size_t{4} << 10;
    static constexpr std::size_t kLargestChunk = std::size_t{256} << 10;

    // `budget` is shared by all spools of one write: memory they may hold together.
    Spool(const std::string& dir, std::atomic<std::int64_t>& budget) : dir_(dir), budget_(budget) {}
    ~Spool() override { clear(); }
    void write(const std::uint8_t* d, std::size_t n) override {
        size_ += n;
        while (n > 0 && !file_.valid()) {
            if (chunks_.empty() || chunks_.back().used == chunks_.back().size) {
                if (!take_chunk()) {
                    open_file();
                    break;
                }
            }
            Chunk& c = chunks_.back();
            const std::size_t k = std::min(n, c.size - c.used);
            std::memcpy(c.bytes.get() + c.used, d, k);
            c.used += k;
            d += k;
            n -= k;
        }
        if (n > 0) write_full(file_.get(), d, n, "a temporary file");
    }
    void clear() {
        release_chunks();
        file_.reset();
        size_ = 0;
    }
    std::uint64_t size() const { return size_; }
    void replay(ByteSink& out) {
        if (!file_.valid()) {
            for (const Chunk& c : chunks_) out.write(c.bytes.get(), c.used);
            return;
        }
        std::vector<std::uint8_t> buf(1 << 20);
        std::uint64_t off = 0;
        while (off < size_) {
            std::size_t n = pread_full(file_.get(), buf.data(), buf.size(), off);
            if (n == 0) throw Failure(Status::io, "a temporary file was cut short");
            out.write(buf.data(), n);
            off += n;
        }
    }

  private:
    struct Chunk {
        std::unique_ptr<std::uint8_t[]> bytes;
        std::size_t size = 0, used = 0;
    };
    // A chunk more, if the budget has room for it.
    bool take_chunk() {
        const std::size_t size =
            chunks_.empty() ? kFirstChunk : std::min(chunks_.back().size * 2, kLargestChunk);
        const auto k = static_cast<std::int64_t>(size);
        if (budget_.fetch_sub(k) < k) {
            budget_ += k;
            return false;
        }
        chunks_.push_back({std::unique_ptr<std::uint8_t[]>(new std::uint8_t[size]), size, 0});
        held_ += size;
        return true;
    }
    void release_chunks() {
        budget_ += static_cast<std::int64_t>(held_);
        held_ = 0;
        chunks_.clear();
    }
    void open_file() {
        int fd = ::open(dir_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd < 0) {
            std::FILE* f = std::tmpfile();  // file systems without O_TMPFILE
            if (!f)
                throw Failure(Status::io, "cannot create a temporary file: " + errno_text(errno));
            fd = ::dup(fileno(f));
            std::fclose(f);
        }
        if (fd < 0)
            throw Failure(Status::io, "cannot create a temporary file: " + errno_text(errno));
        file_.reset(fd);
        for (const Chunk& c : chunks_) write_full(fd, c.bytes.get(), c.used, "a temporary file");
        release_chunks();
    }
    const std::string& dir_;  // where a temporary file goes
    std::atomic<std::int64_t>& budget_;
    std::vector<Chunk> chunks_;
    std::size_t held_ = 0;  // bytes of chunks taken from the budget
    Fd file_;
    std::uint64_t size_ = 0;
};

namespace {

// Passes bytes on while keeping their CRC and count.
class CountingSink : public ByteSink {
  public:
    explicit CountingSink(ByteSink& out) : out_(out) {}
    void write(const std::uint8_t* d, std::size_t n) override {
        crc = crc16(crc, d, n);
        size += n;
        out_.write(d, n);
    }
    std::uint16_t crc = 0;
    std::uint64_t size = 0;

  private:
    ByteSink& out_;
};

void copy_raw(int fd, std::uint64_t limit, const std::string& name, ByteSink& out) {
    FdStreamSource src(fd, limit, name);
    std::vector<std::uint8_t> buf(1 << 18);
    for (;;) {
        std::size_t n = src.read(buf.data(), buf.size());
        if (n == 0) break;
        out.write(buf.data(), n);
    }
}

// Codes a large file piece by piece on `opt.threads` threads (at most threads + 1 pieces in
// memory).
// Returns false, with the spool in an undefined state, when the output stops being smaller or
// the file turns out shorter than it was (the caller's check after reading notices that).
bool compress_pieces(int fd, std::uint64_t size, const WriteOptions& opt, Spool& spool,
                     EncodeResult& r) {
    const Method method = opt.method;
    const std::size_t window = std::size_t{1} << dictionary_bits(method);
    using Buffer = std::shared_ptr<std::vector<std::uint8_t>>;
    std::deque<std::future<CodedPiece>> running;
    BitWriter bw(spool);
    std::uint16_t crc = 0;
    std::vector<std::uint8_t> history;  // the last window's worth of the previous piece
    std::uint64_t off = 0;
    auto drain_one = [&]() {
        CodedPiece p = running.front().get();
        running.pop_front();
        append_piece(bw, p);
        return bw.size() < size;
    };
    while (off < size) {
        const std::size_t len =
            static_cast<std::size_t>(std::min<std::uint64_t>(opt.piece_size, size - off));
        Buffer buf = std::make_shared<std::vector<std::uint8_t>>(history.size() + len);
        std::copy(history.begin(), history.end(), buf->begin());
        std::size_t got = pread_full(fd, buf->data() + history.size(), len, off, true);
        if (got != len) return false;
        crc = crc16(crc, buf->data() + history.size(), len);
        const std::size_t hist = history.size();
        running.push_back(std::async(std::launch::async, [buf, hist, len, method] {
            return encode_piece(method, buf->data(), hist, buf->data() + hist, len);
        }));
        const std::size_t keep = std::min(window, buf->size());
        history.assign(buf->end() - static_cast<std::ptrdiff_t>(keep), buf->end());
        off += len;
        if (running.size() > static_cast<std::size_t>(opt.threads) && !drain_one()) return false;
    }
    while (!running.empty())
        if (!drain_one()) return false;
    bw.finish();
    r.original_size = size;
    r.packed_size = bw.size();
    r.crc = crc;
    r.shrunk = r.packed_size < size;
    return r.shrunk;
}

// Codes the file open at `fd` (which holds `size` bytes) into `spool` and fills in the member's
// method, sizes and CRC.
void compress_file(int fd, std::uint64_t size, const std::string& name, const WriteOptions& opt,
                   Spool& spool, Member& m) {
    const Method method = opt.method;
    if (size > 0 && method != Method::stored) {
        EncodeResult r;
        if (opt.threads > 1 && size >= opt.piece_threshold) {
            compress_pieces(fd, size, opt, spool, r);
        } else {
            FdStreamSource src(fd, size, name);
            EncodeOptions coding;
            coding.size_hint = size;
            r = encode(method, src, spool, size, coding);
        }
        if (r.shrunk) {
            m.method = method;
            m.original_size = r.original_size;
            m.packed_size = r.packed_size;
            m.crc = r.crc;
            return;
        }
        spool.clear();
        if (::lseek(fd, 0, SEEK_SET) != 0) throw IoError(errno, "cannot reread " + name);
    }
    // Stored: empty files, data that does not shrink, or -lh0- on request.
    CountingSink counted(spool);
    copy_raw(fd, size, name, counted);
    m.method = Method::stored;
    m.original_size = m.packed_size = counted.size;
    m.crc = counted.crc;
}

bool same_time(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether a file changed between two looks at it: its size, its modification time, or the time
// of its last change, which every write moves (even one that puts the modification time back).
bool changed(const struct stat& a, const struct stat& b) {
    return a.st_size != b.st_size || !same_time(a.st_mtim, b.st_mtim) ||
           !same_time(a.st_ctim, b.st_ctim);
}

// Builds the member for a disk entry and its data in `spool`.
void compress_entry(const DiskEntry& e, const WriteOptions& opt, Spool& spool, Member& m) {
    m = Member{};
    m.path = e.name;
    m.mtime = static_cast<std::int64_t>(e.st.st_mtime);
    m.mode = static_cast<std::uint32_t>(e.st.st_mode);
    if (S_ISDIR(e.st.st_mode)) {
        m.method = Method::directory;
        m.is_directory = true;
        return;
    }
    if (S_ISLNK(e.st.st_mode)) {
        m.method = Method::directory;
        m.is_symlink = true;
        m.link_target = e.link_target;
        return;
    }
    Fd fd = open_for_reading(e);
    if (!fd.valid()) throw IoError(errno, "cannot open " + e.disk_path);
    struct stat before {};
    if (::fstat(fd.get(), &before) != 0 || !S_ISREG(before.st_mode))
        throw Failure(Status::io, e.disk_path + " is no longer a regular file");
    // A file rewritten while it is read would be stored torn. One that changed is read again
    // once; one that keeps changing keeps its previous member.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt > 0) {
            spool.clear();
            if (::lseek(fd.get(), 0, SEEK_SET) != 0)
                throw IoError(errno, "cannot reread " + e.disk_path);
        }
        compress_file(fd.get(), static_cast<std::uint64_t>(before.st_size), e.disk_path, opt, spool,
                      m);
        struct stat after {};
        if (::fstat(fd.get(), &after) != 0) throw IoError(errno, "cannot read " + e.disk_path);
        if (!changed(before, after)) {
            m.mtime = static_cast<std::int64_t>(before.st_mtime);
            m.mode = static_cast<std::uint32_t>(before.st_mode);
            return;
        }
        before = after;
    }
    spool.clear();
    throw Failure(Status::io, "changed while it was read");
}

// The compression workers. Jobs are taken in plan order and may run well ahead of the writer
// (one large member must not stall the others); their output shares a memory budget and
// spills to temporary files beyond it, and the number of jobs ahead is capped, which bounds
// memory and open files.
class Pool {
  public:
    struct Job {
        const PlanItem* item;
        Spool spool;
        Member member;
        std::string error;
        bool done = false;
        Job(const PlanItem* it, const std::string& dir, std::atomic<std::int64_t>& budget)
            : item(it), spool(dir, budget) {}
    };

    // `opt.threads` is the number of workers (at least one).
    Pool(std::vector<const PlanItem*> items, std::string dir, const WriteOptions& opt)
        : opt_(opt), budget_(opt.memory_budget), items_(std::move(items)), dir_(std::move(dir)) {
        for (int i = 0; i < opt.threads; ++i) workers_.emplace_back([this] { work(); });
    }
    ~Pool() {
        {
            std::lock_guard<std::mutex> lk(mu_);
            stop_ = true;
        }
        cv_.notify_all();
        for (auto& t : workers_) t.join();
    }
    // Waits for job i (in order) and hands it to the caller; release() frees it.
    Job& wait(std::size_t i) {
        std::unique_lock<std::mutex> lk(mu_);
        done_cv_.wait(lk, [&] { return i - base_ < jobs_.size() && jobs_[i - base_]->done; });
        return *jobs_[i - base_];
    }
    void release(std::size_t i) {
        std::unique_ptr<Job> done;
        {
            std::lock_guard<std::mutex> lk(mu_);
            done = std::move(jobs_.front());
            jobs_.pop_front();
            base_ = i + 1;
        }
        cv_.notify_all();
    }

  private:
    // Jobs are made as they are taken, so there are never more than kJobsAhead of them.
    void work() {
        for (;;) {
            Job* j;
            {
                std::unique_lock<std::mutex> lk(mu_);
                cv_.wait(lk, [&] {
                    return stop_ || (next_ < items_.size() && next_ < base_ + kJobsAhead);
                });
                if (stop_) return;
                jobs_.push_back(std::make_unique<Job>(items_[next_++], dir_, budget_));
                j = jobs_.back().get();
            }
            try {
                compress_entry(j->item->entry, opt_, j->spool, j->member);
            } catch (const std::exception& ex) {
                j->spool.clear();
                j->error = ex.what();
            }
            {
                std::lock_guard<std::mutex> lk(mu_);
                j->done = true;
            }
            done_cv_.notify_all();
        }
    }

    static constexpr std::size_t kJobsAhead = 256;

    const WriteOptions opt_;
    std::atomic<std::int64_t> budget_;
    const std::vector<const PlanItem*> items_;
    const std::string dir_;
    std::deque<std::unique_ptr<Job>> jobs_;  // jobs base_, base_ + 1, ...
    std::vector<std::thread> workers_;
    std::mutex mu_;
    std::condition_variable cv_, done_cv_;
    std::size_t next_ = 0, base_ = 0;
    bool stop_ = false;
};

// The process's umask, read without changing it: umask() can only be read by setting it, and
// setting it briefly would race with files other threads create at that moment.
mode_t current_umask() {
    if (std::FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, f)) {
            unsigned mask = 0;
            if (std::sscanf(line, "Umask: %o", &mask) == 1) {
                std::fclose(f);
                return static_cast<mode_t>(mask & 0777);
            }
        }
        std::fclose(f);
    }
    return 022;
}

// The new archive while it is written. It is removed unless the write completed, and locked
// while its writer runs, so that a later update can tell a file left by a killed writer (which
// it removes) from one still being written.
class TempFile {
  public:
    explicit TempFile(const std::string& archive) {
        path_ = archive + ".tmp-XXXXXX";
        std::vector<char> buf(path_.begin(), path_.end());
        buf.push_back('\0');
        int fd = ::mkostemp(buf.data(), O_CLOEXEC);
        if (fd < 0) throw IoError(errno, "cannot create a new archive beside " + archive);
        path_.assign(buf.data());
        fd_.reset(fd);
        ::flock(fd, LOCK_EX | LOCK_NB);
    }
    ~TempFile() {
        if (!committed_) ::unlink(path_.c_str());
    }
    int fd() const { return fd_.get(); }
    const std::string& path() const { return path_; }
    void commit(const std::string& archive) {
        if (io_fsync(fd_.get()) != 0) throw IoError(errno, "cannot flush the new archive");
        if (::close(fd_.release()) != 0) throw IoError(errno, "cannot close the new archive");
        if (io_renameat(AT_FDCWD, path_.c_str(), AT_FDCWD, archive.c_str()) != 0)
            throw IoError(errno, "cannot replace " + archive);
        committed_ = true;
        // Make the rename itself durable.
        Fd dir(::open(parent_folder(archive).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.valid()) ::fsync(dir.get());
    }

  private:
    std::string path_;
    Fd fd_;
    bool committed_ = false;
};

}  // namespace

void write_archive(const std::string& archive_path, ArchiveReader* old,
                   const std::vector<PlanItem>& plan, const WriteOptions& opt,
                   const std::function<void(const StoredMember&)>& on_member) {
    TempFile tmp(archive_path);
    // Keep the old archive's permissions; a new archive gets the usual 0666 less the umask.
    mode_t mode;
    struct stat st {};
    if (old && ::fstat(old->fd(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode = 0666 & ~current_umask();
    }
    ::fchmod(tmp.fd(), mode);

    std::vector<const PlanItem*> disk_items;
    for (auto& it : plan)
        if (it.from_disk) disk_items.push_back(&it);
    WriteOptions workers = opt;
    workers.threads = worker_count(opt.threads);
    Pool pool(disk_items, parent_folder(archive_path), workers);

    FdSink out(tmp.fd(), tmp.path());
    out.start_writeback_early();
    std::vector<std::uint8_t> buf(1 << 18);
    auto copy_old = [&](const Member& m) {
        FdRangeSource src(old->fd(), m.header_offset,
                          m.data_offset + m.packed_size - m.header_offset);
        for (;;) {
            std::size_t n = src.read(buf.data(), buf.size());
            if (n == 0) break;
            out.write(buf.data(), n);
        }
    };
    std::size_t job = 0;
    for (auto& it : plan) {
        if (!it.from_disk) {
            copy_old(it.old);
            continue;
        }
        if (opt.before_member) opt.before_member(it);
        Pool::Job& j = pool.wait(job);
        StoredMember sm;
        sm.item = &it;
        std::vector<std::uint8_t> header;
        if (j.error.empty()) {
            try {
                header = build_level2_header(j.member);
            } catch (const Failure& f) {
                j.error = f.what();  // a name too long for a header: this member only
            }
        }
        if (j.error.empty()) {
            out.write(header.data(), header.size());
            j.spool.replay(out);
            sm.ok = true;
            sm.member = j.member;
        } else {
            sm.error = j.error;
            if (it.has_old) copy_old(it.old);  // keep the previous version
        }
        pool.release(job++);
        on_member(sm);
    }
    const std::uint8_t end_marker = 0;
    out.write(&end_marker, 1);
    out.flush();
    tmp.commit(archive_path);
}

}  // namespace lzh::detail
