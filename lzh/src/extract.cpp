// Extraction (x, e): members become files, folders and links below a destination folder, never
// outside it, and an existing file is only ever replaced by a complete, checked one.
#include <map>
#include <memory>
#include <random>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "command.h"
#include "file_io.h"
#include "paths.h"
#include "progress.h"

namespace lzh::detail {
namespace {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Why the folders on the way to a member could not be opened.
enum class DirError { none, through_link, disk_full, other };

struct Dirs {
    Fd fd;
    DirError error = DirError::none;
    std::string why;
};

// Opens each folder of `parts` below `base` (creating missing ones when `create`), refusing to
// pass through a symbolic link so that nothing can be written outside the destination.
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

// A file being extracted, under a temporary name in its folder. It takes its real name only
// once complete and checked (see Waiting), so no cut file ever takes a real name and a failed
// replacement leaves the old file as it was.
class TemporaryFile {
  public:
    TemporaryFile(int dir, const std::string& leaf) : dir_(dir) {
        name_ = make_temporary(leaf, "the file", [&](const std::string& name) {
            fd_.reset(::openat(dir_, name.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            return fd_.valid();
        });
    }
    ~TemporaryFile() {
        if (!kept_) ::unlinkat(dir_, name_.c_str(), 0);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    int fd() const { return fd_.get(); }

    // Closes the complete file and hands its name on; from here on the caller removes it.
    std::string keep() {
        if (::close(fd_.release()) != 0) throw IoError(errno, "cannot close the file");
        kept_ = true;
        return name_;
    }

  private:
    int dir_;
    std::string name_;
    Fd fd_;
    bool kept_ = false;
};

// A complete, checked file waiting under its temporary name. Files are put in place in batches:
// when a batch replaces existing files, one flush of the file system first makes them safe on
// disk, so that after a crash the old file or the new one is there, never an empty one.
// (Flushing each file alone made restoring many small files many times slower.)
struct Waiting {
    std::shared_ptr<const Fd> dir;
    std::string temp, leaf, shown;
    std::uint64_t size = 0;
    bool replacing = false;
};

// A batch is put in place once it holds this many files, bytes or folders (each folder is held
// open until then).
constexpr std::size_t kBatchFiles = 512;
constexpr std::uint64_t kBatchBytes = std::uint64_t{64} << 20;
constexpr std::size_t kBatchFolders = 64;

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

struct FolderTimes {
    std::vector<std::string> parts;
    std::uint32_t mode;
    std::int64_t mtime;
};

enum class Existing { none, replace, stop };

class Extractor {
  public:
    Extractor(const Options& o, Report& rep, ArchiveReader& r, int base)
        : o_(o), rep_(rep), r_(r), base_(base) {}

    void member(const Member& m);
    // The archive could not be read further.
    void stopped(const Failure& f) {
        out_.error(rep_, "extraction stopped: " + std::string(f.what()), f.status());
    }
    Status finish(const std::string& dest);

  private:
    bool place_below_destination(const Member& m, std::vector<std::string>& parts);
    Existing existing(const Member& m, int dir, const std::string& leaf);
    void extract_folder(const Member& m, const std::vector<std::string>& parts);
    void extract_link(const Member& m, int dir, const std::string& leaf, bool replacing);
    void extract_file(const Member& m, const std::shared_ptr<const Fd>& folder,
                      const std::vector<std::string>& parts, bool replacing);
    std::shared_ptr<const Fd> folder_of(const Member& m, const std::vector<std::string>& parts);
    void folders_failed(const Member& m, const Dirs& d);
    void set_folder_times();
    void place_waiting();
    void place(const Waiting& w, int flush_error);
    bool touches_waiting(const std::vector<std::string>& parts) const;

    void refuse(const Member& m, const std::string& why) {
        rep_.important("Refused: " + display_name(m) + ": " + why);
        out_.note(Status::unsafe_path);
        ++refused_;
    }
    void fail(const Member& m, const std::string& why, Status s) {
        out_.error(rep_, display_name(m) + ": " + why, s);
    }
    // After "no space left" nothing more is created: each file would only fail the same way.
    void fail_io(const std::string& shown, const IoError& e, const std::string& aftermath) {
        out_.error(rep_, shown + ": " + e.what() + aftermath, Status::io);
        if (e.disk_full()) disk_full_ = true;
    }
    void fail_io(const Member& m, const IoError& e, const std::string& aftermath) {
        fail_io(display_name(m), e, aftermath);
    }

    const Options& o_;
    Report& rep_;
    ArchiveReader& r_;
    int base_;
    Outcome out_;
    std::uint64_t files_ = 0, bytes_ = 0, refused_ = 0, skipped_ = 0, matched_ = 0;
    std::uint64_t not_extracted_ = 0;
    bool disk_full_ = false;
    std::vector<FolderTimes> folders_;
    std::vector<Waiting> waiting_;
    std::set<std::string> waiting_paths_;
    std::uint64_t waiting_bytes_ = 0;
    std::shared_ptr<const Fd> last_dir_;  // shared by the waiting files of one folder
    std::string last_dir_path_;
    std::size_t waiting_folders_ = 0;
};

void Extractor::member(const Member& m) {
    if (!member_selected(o_.file_args, m)) return;
    ++matched_;
    if (disk_full_) {
        ++not_extracted_;
        return;
    }
    std::vector<std::string> parts;
    if (!place_below_destination(m, parts)) return;
    // A member on the way to (or in the place of) a waiting file sees what came before it.
    if (touches_waiting(parts)) place_waiting();
    if (m.method == Method::unknown) {
        fail(m, "method " + m.method_text + " is not supported", Status::unsupported);
        return;
    }
    if (m.is_directory) {
        extract_folder(m, parts);
        return;
    }
    std::shared_ptr<const Fd> folder = folder_of(m, parts);
    if (!folder) return;
    const Existing how = existing(m, folder->get(), parts.back());
    if (how == Existing::stop) return;
    if (m.is_symlink)
        extract_link(m, folder->get(), parts.back(), how == Existing::replace);
    else
        extract_file(m, folder, parts, how == Existing::replace);
}

std::string joined(const std::vector<std::string>& parts, std::size_t count) {
    std::string path;
    for (std::size_t i = 0; i < count; ++i) path += (i ? "/" : "") + parts[i];
    return path;
}

// The folder a member goes into, opened (and created) below the destination; null when that
// failed (reported). Members in the same folder as the one before share its descriptor.
std::shared_ptr<const Fd> Extractor::folder_of(const Member& m,
                                               const std::vector<std::string>& parts) {
    std::string path = joined(parts, parts.size() - 1);
    if (last_dir_ && path == last_dir_path_) return last_dir_;
    Dirs dir = open_dirs(base_, parts, parts.size() - 1, true);
    if (!dir.fd.valid()) {
        folders_failed(m, dir);
        return nullptr;
    }
    last_dir_ = std::make_shared<const Fd>(std::move(dir.fd));
    last_dir_path_ = std::move(path);
    ++waiting_folders_;
    return last_dir_;
}

bool Extractor::touches_waiting(const std::vector<std::string>& parts) const {
    if (waiting_paths_.empty()) return false;
    std::string path;
    for (auto& part : parts) {
        path += (path.empty() ? "" : "/") + part;
        if (waiting_paths_.count(path)) return true;
    }
    return false;
}

// The member's path below the destination, or false when it is refused or has no place there.
bool Extractor::place_below_destination(const Member& m, std::vector<std::string>& parts) {
    bool root_removed = false;
    const std::string path = without_root(m.path, root_removed);
    if (path.empty() && m.is_directory) return false;  // the destination itself
    if (std::string why = unsafe_member_reason(path); !why.empty()) {
        refuse(m, why);
        return false;
    }
    parts = split_path(path);
    if (o_.command == 'e') {
        if (m.is_directory) return false;
        parts.erase(parts.begin(), parts.end() - 1);
    } else if (root_removed) {
        rep_.important("Root removed: " + display_name(m) + " (extracted as " + path + ")");
    }
    if (m.is_symlink && !link_allowed(o_.command == 'e' ? parts.back() : path, m.link_target)) {
        refuse(m, "the link leads outside the destination");
        return false;
    }
    return true;
}

void Extractor::folders_failed(const Member& m, const Dirs& d) {
    switch (d.error) {
        case DirError::through_link:
            refuse(m, d.why);
            return;
        case DirError::disk_full:
            disk_full_ = true;
            break;
        case DirError::none:
        case DirError::other:
            break;
    }
    fail(m, d.why, Status::io);
}

// What stands at the member's place already: nothing, something to replace (with -c), or
// something that stops this member.
Existing Extractor::existing(const Member& m, int dir, const std::string& leaf) {
    struct stat st {};
    if (::fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return Existing::none;
    if (S_ISDIR(st.st_mode)) {
        fail(m, "a folder of that name is in the way", Status::io);
        return Existing::stop;
    }
    if (!o_.overwrite) {
        rep_.important("Skipped: " + display_name(m) + ": the file exists (use -c to overwrite)");
        out_.note(Status::skipped);
        ++skipped_;
        return Existing::stop;
    }
    return Existing::replace;
}

void Extractor::extract_folder(const Member& m, const std::vector<std::string>& parts) {
    Dirs d = open_dirs(base_, parts, parts.size(), true);
    if (!d.fd.valid()) {
        folders_failed(m, d);
        return;
    }
    folders_.push_back({parts, m.mode, m.mtime});
    if (o_.detail >= 1) rep_.line("Created   " + display_name(m));
}

void Extractor::extract_link(const Member& m, int dir, const std::string& leaf, bool replacing) {
    try {
        make_link(dir, leaf, m.link_target, replacing);
    } catch (const IoError& e) {
        fail_io(m, e, replacing ? " (the existing file is kept)" : "");
        return;
    }
    ++files_;
    if (o_.detail >= 1) rep_.line("Linked    " + display_name(m));
}

std::string aftermath(bool replacing) {
    return replacing ? " (the existing file is kept)" : " (the file was not extracted)";
}

void Extractor::extract_file(const Member& m, const std::shared_ptr<const Fd>& folder,
                             const std::vector<std::string>& parts, bool replacing) {
    std::string temp;
    try {
        TemporaryFile f(folder->get(), parts.back());
        FdSink sink(f.fd(), m.path);
        r_.read_data(m, sink);
        sink.flush();
        ::fchmod(f.fd(), m.mode ? static_cast<mode_t>(m.mode & 0777) : 0644);
        set_times(f.fd(), m.mtime);
        temp = f.keep();
    } catch (const IoError& e) {
        fail_io(m, e, aftermath(replacing));
        return;
    } catch (const Failure& e) {
        fail(m, e.what() + aftermath(replacing), e.status());
        return;
    }
    waiting_paths_.insert(joined(parts, parts.size()));
    waiting_bytes_ += m.original_size;
    waiting_.push_back({folder, temp, parts.back(), display_name(m), m.original_size, replacing});
    if (waiting_.size() >= kBatchFiles || waiting_bytes_ >= kBatchBytes ||
        waiting_folders_ >= kBatchFolders)
        place_waiting();
}

// Flushes the file systems under the waiting files that replace others, then renames every
// waiting file over its real name.
void Extractor::place_waiting() {
    std::map<dev_t, int> file_systems;  // one folder on each
    for (auto& w : waiting_) {
        struct stat st {};
        if (w.replacing && ::fstat(w.dir->get(), &st) == 0)
            file_systems.emplace(st.st_dev, w.dir->get());
    }
    int flush_error = 0;
    for (auto& [dev, fd] : file_systems)
        if (io_syncfs(fd) != 0 && flush_error == 0) flush_error = errno;
    for (auto& w : waiting_) place(w, w.replacing ? flush_error : 0);
    waiting_.clear();
    waiting_paths_.clear();
    waiting_bytes_ = 0;
    waiting_folders_ = 0;
}

void Extractor::place(const Waiting& w, int flush_error) {
    const int dir = w.dir->get();
    int error = flush_error;
    std::string what = "cannot flush the file";
    if (error == 0 && io_renameat(dir, w.temp.c_str(), dir, w.leaf.c_str()) != 0) {
        error = errno;
        what = "cannot put the file in place";
    }
    if (error != 0) {
        ::unlinkat(dir, w.temp.c_str(), 0);
        fail_io(w.shown, IoError(error, what), aftermath(w.replacing));
        return;
    }
    ++files_;
    bytes_ += w.size;
    if (o_.detail >= 1) rep_.line("Extracted " + w.shown + "  " + thousands(w.size) + " bytes");
}

// Folder times last: creating files inside a folder changes its time.
void Extractor::set_folder_times() {
    for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) {
        Dirs d = open_dirs(base_, it->parts, it->parts.size(), false);
        if (!d.fd.valid()) continue;
        if (it->mode) ::fchmod(d.fd.get(), static_cast<mode_t>(it->mode & 0777) | S_IRWXU);
        set_times(d.fd.get(), it->mtime);
    }
}

Status Extractor::finish(const std::string& dest) {
    place_waiting();
    set_folder_times();
    report_notes(r_, rep_);
    if (disk_full_)
        out_.error(rep_,
                   "the disk is full; extraction stopped there: " + std::to_string(not_extracted_) +
                       " more " + (not_extracted_ == 1 ? "member was" : "members were") +
                       " not extracted",
                   Status::io);
    if (matched_ == 0 && out_.status == Status::ok) {
        rep_.important("No members matched.");
        out_.note(Status::no_files);
    }
    rep_.important(counted(files_, "file") + " extracted (" + thousands(bytes_) + " bytes) to " +
                   dest + "; " + std::to_string(refused_) + " refused, " +
                   std::to_string(skipped_) + " skipped, " + counted(out_.errors, "error") + ".");
    return out_.status;
}

// Opens the destination folder, creating it as needed: it may be anything the user chose.
Fd open_destination(const std::string& dest, Report& rep) {
    std::string built = dest[0] == '/' ? "/" : "";
    for (auto& part : split_path(dest)) {
        built += part + "/";
        ::mkdir(built.c_str(), 0755);
    }
    Fd base(::open(dest.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!base.valid())
        rep.important("Error: cannot open the destination folder " + dest + ": " +
                      errno_text(errno));
    return base;
}

}  // namespace

Status cmd_extract(const Options& o, Report& rep) {
    std::unique_ptr<ArchiveReader> r;
    if (Status s = open_archive(o.archive, r, rep); s != Status::ok) return s;
    if (o.progress->begin_reading(o)) return Status::ok;
    const std::string dest = o.dest.empty() ? "." : o.dest;
    Fd base = open_destination(dest, rep);
    if (!base.valid()) return Status::io;
    Extractor ex(o, rep, *r, base.get());
    try {
        Member m;
        while (r->next(m) && o.progress->starting(m)) {
            ex.member(m);
            if (!o.progress->done(m)) break;
        }
    } catch (const Failure& f) {
        ex.stopped(f);
    }
    const Status s = ex.finish(dest);
    return o.progress->stopped() ? o.progress->cancelled(rep) : s;
}

}  // namespace lzh::detail
