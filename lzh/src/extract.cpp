// Extraction (x, e): members become files, folders and links below a destination folder, never
// outside it, and an existing file is only ever replaced by a complete, checked one.
//
// Files are written on every core. The thread that runs the command reads the headers ahead
// of the workers and decides each member in member order: where it goes, whether it may, what
// stands there, the folders it needs (made there and then) and links; a worker then writes a
// file's data under a temporary name. The same thread takes the members back in member order,
// puts replacing files in place in batches and writes the report, so the report and the
// progress calls come out as they would from a single thread. A member whose place touches a
// file still on its way waits until everything before it is done, as if each member were done
// before the next.
#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <unordered_set>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "command.h"
#include "extract_files.h"
#include "ordered_pool.h"
#include "paths.h"
#include "progress.h"

namespace lzh::detail {
namespace {

// Members decided ahead of the report at most.
constexpr std::size_t kExtractAhead = 32768;
// A batch of replacing files is put in place once it holds this many files or bytes.
constexpr std::size_t kBatchFiles = 512;
constexpr std::uint64_t kBatchBytes = std::uint64_t{64} << 20;

// Folders held open at most by the members on their way (each file keeps its folder open
// until it has its name): 1024, and never more than a quarter of what the process may open.
std::size_t folder_limit() {
    struct rlimit rl {};
    std::size_t limit = 1024;
    if (::getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY)
        limit = std::min<std::size_t>(limit, static_cast<std::size_t>(rl.rlim_cur / 4));
    return std::max<std::size_t>(limit, 4);
}

std::string joined(const std::vector<std::string>& parts, std::size_t count) {
    std::string path;
    for (std::size_t i = 0; i < count; ++i) path += (i ? "/" : "") + parts[i];
    return path;
}

std::string aftermath(bool replacing) {
    return replacing ? " (the existing file is kept)" : " (the file was not extracted)";
}

// A line of the report, kept until the members before its member are done.
struct Note {
    enum class Kind { line, important, error, refused, skipped };
    Kind kind = Kind::line;
    std::string text;
    Status status = Status::ok;
    bool disk_full = false;  // an error because the disk is full
};

// One member on its way.
struct Step {
    Member m;
    std::vector<std::string> parts;  // its place below the destination
    std::string path;                // the same, joined
    std::size_t folder_len = 0;      // the length of its folder's part of `path`
    std::vector<Note> notes;
    bool announced = false;      // the progress callback has been told it is starting
    bool not_extracted = false;  // the disk was full before it was reached
    bool folder = false;         // a folder member, made
    // A file, written by a worker.
    bool is_file = false;
    std::shared_ptr<const Fd> dir;
    bool replacing = false;
    bool place_now = false;  // the worker gives it its name (it replaces nothing)
    // What the worker leaves.
    std::string temp;  // complete and checked under this name, unless placed or failed
    bool placed = false;
    bool name_taken = false;  // its name was taken while it was written
    bool failed = false;
    Note failure;
};

// Writes straight through: the decoders hand over large pieces already.
class DirectSink : public ByteSink {
  public:
    DirectSink(int fd, const std::string& name) : fd_(fd), name_(name) {}
    void write(const std::uint8_t* data, std::size_t n) override {
        write_full(fd_, data, n, name_);
    }

  private:
    int fd_;
    const std::string& name_;
};

// Gives a finished file that replaces nothing its name, unless a file or folder has taken the
// name meanwhile (it is never replaced here): sets `placed` or `name_taken`, or else removes
// the temporary file and sets `failed` with the reason.
void place_new(int dir, Step& s) {
    if (io_rename_new(dir, s.temp.c_str(), s.parts.back().c_str()) == 0) {
        s.placed = true;
        return;
    }
    if (errno == EEXIST) {
        s.name_taken = true;
        return;
    }
    const IoError e(errno, "cannot put the file in place");
    ::unlinkat(dir, s.temp.c_str(), 0);
    s.temp.clear();
    s.failed = true;
    s.failure = {Note::Kind::error, e.what() + aftermath(false), Status::io, e.disk_full()};
}

// Writes a file member's data under a temporary name and, when it replaces nothing, gives it
// its name; runs on a worker. Once any worker has found the disk full, nothing more is started.
void write_file(const ArchiveReader& r, Step& s, std::atomic<bool>& disk_full) {
    const int dir = s.dir->get();
    // Whether a failure leaves an existing file as it was (what the report says after it).
    const auto kept = [&] {
        struct stat st {};
        return s.replacing || ::fstatat(dir, s.parts.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    };
    if (disk_full.load()) {
        s.failed = true;
        s.failure = {Note::Kind::error, "the disk is full", Status::io, true};
        return;
    }
    try {
        TemporaryFile f(dir, s.parts.back());
        DirectSink sink(f.fd(), s.m.path);
        r.read_data(s.m, sink);
        ::fchmod(f.fd(), s.m.mode ? static_cast<mode_t>(s.m.mode & 0777) : 0644);
        set_times(f.fd(), s.m.mtime);
        s.temp = f.keep();
    } catch (const IoError& e) {
        s.failed = true;
        s.failure = {Note::Kind::error, e.what() + aftermath(kept()), Status::io, e.disk_full()};
        if (e.disk_full()) disk_full.store(true);
        return;
    } catch (const Failure& e) {
        s.failed = true;
        s.failure = {Note::Kind::error, e.what() + aftermath(kept()), e.status(), false};
        return;
    } catch (const std::bad_alloc&) {
        s.failed = true;
        s.failure = {Note::Kind::error, "out of memory" + aftermath(kept()), Status::no_memory,
                     false};
        return;
    }
    if (!s.place_now) return;
    place_new(dir, s);
    if (s.failed && s.failure.disk_full) disk_full.store(true);
}

// A complete, checked file that replaces another, waiting under its temporary name. Such files
// are put in place in batches: one flush of the file system first makes a batch safe on disk,
// so that after a crash the old file or the new one is there, never an empty one. (Flushing
// each file alone made restoring many small files many times slower.)
struct Waiting {
    std::shared_ptr<const Fd> dir;
    std::string temp, leaf, shown, path;
    std::uint64_t size = 0;
};

struct FolderTimes {
    std::vector<std::string> parts;
    std::uint32_t mode;
    std::int64_t mtime;
};

enum class Existing { none, replace, stop };

class Extractor {
  public:
    Extractor(const Options& o, Report& rep, ArchiveReader& r, int base)
        : o_(o),
          rep_(rep),
          r_(r),
          base_(base),
          strict_(o.progress->tells()),
          folder_limit_(folder_limit()),
          pool_(std::make_unique<OrderedPool>(o.threads)) {}
    ~Extractor() {
        discard_rest();
        waiting_.clear();
        last_dir_.reset();
    }

    Status run(const std::string& dest);

  private:
    // Deciding, in member order, ahead of the workers.
    bool read_ahead();
    std::unique_ptr<Step> next_step();
    bool must_wait(const Step& s);
    void plan(Step& s);
    bool place_below_destination(Step& s);
    std::shared_ptr<const Fd> folder_of(Step& s);
    Existing existing(Step& s, int dir, const std::string& leaf);
    void plan_folder(Step& s);
    void plan_link(Step& s, int dir, bool replacing);
    void plan_file(Step& s, std::shared_ptr<const Fd> folder, bool replacing);
    void folders_failed(Step& s, const Dirs& d);
    bool touches_busy(std::string_view path) const;
    // Finishing, in member order.
    bool finish_next();
    bool drain();
    void apply(const Note& n);
    void finish_file(Step& s);
    bool name_taken(Step& s);
    void extracted(const std::string& shown, std::uint64_t size);
    void place_waiting();
    void place(const Waiting& w, int flush_error);
    void discard_rest();
    void set_folder_times();
    Status summary(const std::string& dest);

    static void refuse(Step& s, const std::string& why) {
        s.notes.push_back({Note::Kind::refused, display_name(s.m) + ": " + why});
    }
    void fail(Step& s, const std::string& why, Status st, bool disk_full = false) {
        s.notes.push_back({Note::Kind::error, display_name(s.m) + ": " + why, st, disk_full});
        if (disk_full) disk_full_ahead_ = true;
    }

    const Options& o_;
    Report& rep_;
    ArchiveReader& r_;
    const int base_;
    // With a progress callback the caller may stop at any member: then nothing is made for a
    // member before it is announced (files only take their names in member order).
    const bool strict_;
    const std::size_t folder_limit_;
    Outcome out_;
    std::uint64_t files_ = 0, bytes_ = 0, refused_ = 0, skipped_ = 0, matched_ = 0;
    std::uint64_t not_extracted_ = 0;
    bool disk_full_ = false;                      // reported: members after it are not extracted
    bool disk_full_ahead_ = false;                // seen while deciding: nothing more is started
    std::atomic<bool> disk_full_workers_{false};  // seen by a worker
    bool headers_done_ = false;
    std::string header_damage_;
    Status header_status_ = Status::ok;
    std::unique_ptr<Step> held_;     // waits until every member before it is done
    bool held_for_folders_ = false;  // ... or only until fewer folders are open
    std::deque<std::unique_ptr<Step>> steps_;
    // Places of files on their way, looked up by views of the places of members.
    struct PathHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view p) const {
            return std::hash<std::string_view>{}(p);
        }
    };
    std::unordered_set<std::string, PathHash, std::equal_to<>> busy_;
    std::size_t folders_open_ = 0;        // folders held open by members on their way
    std::shared_ptr<const Fd> last_dir_;  // shared by the files of one folder
    std::string last_dir_path_;
    std::vector<Waiting> waiting_;
    std::uint64_t waiting_bytes_ = 0;
    std::vector<FolderTimes> folders_;
    // Last, so that the workers stop before anything they work on goes.
    std::unique_ptr<OrderedPool> pool_;
};

Status Extractor::run(const std::string& dest) {
    while (read_ahead()) {
        if (steps_.empty() && !held_) break;
        if (held_ && !steps_.empty() && held_for_folders_) {
            // Only as far as it takes to close folders: the workers need not run dry.
            if (folders_open_ < folder_limit_) {
                held_for_folders_ = false;
                std::unique_ptr<Step> s = std::move(held_);
                plan(*s);
                steps_.push_back(std::move(s));
                continue;
            }
        }
        if (steps_.empty()) {
            // Everything before the held member is done: now it may go ahead.
            place_waiting();
            held_for_folders_ = false;
            std::unique_ptr<Step> s = std::move(held_);
            if (strict_) {
                if (!o_.progress->starting(s->m)) break;
                s->announced = true;
            }
            plan(*s);
            steps_.push_back(std::move(s));
            continue;
        }
        if (!finish_next()) break;
    }
    discard_rest();
    return summary(dest);
}

// Decides members until the window is full, a member has to wait, or the headers end. False
// once the caller has asked to stop.
bool Extractor::read_ahead() {
    if (o_.progress->stopped()) return false;
    while (!held_ && !headers_done_ && steps_.size() < kExtractAhead) {
        std::unique_ptr<Step> s = next_step();
        if (!s) break;
        if (must_wait(*s)) {
            held_ = std::move(s);
            // The replacing files waiting hold folders of their own.
            if (held_for_folders_) place_waiting();
            break;
        }
        plan(*s);
        steps_.push_back(std::move(s));
    }
    return true;
}

// The next member the command line names, placed below the destination; null at the end.
std::unique_ptr<Step> Extractor::next_step() {
    for (;;) {
        auto s = std::make_unique<Step>();
        try {
            if (!r_.next(s->m)) {
                headers_done_ = true;
                return nullptr;
            }
        } catch (const Failure& f) {
            headers_done_ = true;
            header_damage_ = f.what();
            header_status_ = f.status();
            return nullptr;
        }
        if (!member_selected(o_.file_args, s->m)) continue;
        ++matched_;
        if (disk_full_ahead_ || disk_full_workers_.load())
            s->not_extracted = true;
        else if (!place_below_destination(*s))
            s->parts.clear();
        return s;
    }
}

// Whether a member has to wait until every member before it is done: its place touches a file
// on its way, or (with a callback) it makes something other than a file in the folder of the
// member before. One that needs a folder more when too many are open waits (with
// held_for_folders_ set) only until members before it have closed some.
bool Extractor::must_wait(const Step& s) {
    if (s.parts.empty()) return false;
    if (touches_busy(s.path)) return true;
    const bool same_folder =
        last_dir_ && std::string_view(s.path).substr(0, s.folder_len) == last_dir_path_;
    if (!same_folder && folders_open_ >= folder_limit_) {
        held_for_folders_ = true;
        return true;
    }
    if (!strict_) return false;
    return s.m.is_directory || s.m.is_symlink || !same_folder;
}

// Whether the place, or a folder on the way to it, is that of a file on its way.
bool Extractor::touches_busy(std::string_view path) const {
    if (busy_.empty()) return false;
    for (std::size_t at = path.find('/'); at != std::string_view::npos; at = path.find('/', at + 1))
        if (busy_.find(path.substr(0, at)) != busy_.end()) return true;
    return busy_.find(path) != busy_.end();
}

// The member's path below the destination, or false when it is refused or has no place there.
bool Extractor::place_below_destination(Step& s) {
    const Member& m = s.m;
    bool root_removed = false;
    const std::string path = without_root(m.path, root_removed);
    if (path.empty() && m.is_directory) return false;  // the destination itself
    if (std::string why = unsafe_member_reason(path); !why.empty()) {
        refuse(s, why);
        return false;
    }
    s.parts = split_path(path);
    if (o_.command == 'e') {
        if (m.is_directory) return false;
        s.parts.erase(s.parts.begin(), s.parts.end() - 1);
    }
    s.path = joined(s.parts, s.parts.size());
    s.folder_len = s.parts.size() > 1 ? s.path.size() - s.parts.back().size() - 1 : 0;
    if (o_.command != 'e' && root_removed) {
        s.notes.push_back({Note::Kind::important,
                           "Root removed: " + display_name(m) + " (extracted as " + path + ")"});
    }
    if (m.is_symlink && !link_allowed(o_.command == 'e' ? s.parts.back() : path, m.link_target)) {
        refuse(s, "the link leads outside the destination");
        return false;
    }
    return true;
}

// Makes what the member needs on this thread and hands a file's data to a worker.
void Extractor::plan(Step& s) {
    if (s.parts.empty()) return;
    if (s.m.method == Method::unknown) {
        fail(s, "method " + s.m.method_text + " is not supported", Status::unsupported);
        return;
    }
    if (s.m.is_directory) {
        plan_folder(s);
        return;
    }
    std::shared_ptr<const Fd> folder = folder_of(s);
    if (!folder) return;
    // What stands at a file's place is found by the worker's rename, which never replaces
    // (with a callback files take their names here, and are looked at here too).
    const Existing how =
        s.m.is_symlink || strict_ ? existing(s, folder->get(), s.parts.back()) : Existing::none;
    if (how == Existing::stop) return;
    if (s.m.is_symlink)
        plan_link(s, folder->get(), how == Existing::replace);
    else
        plan_file(s, std::move(folder), how == Existing::replace);
}

// The folder a member goes into, opened (and created) below the destination; null when that
// failed (noted). Members in the same folder as the one before share its descriptor.
std::shared_ptr<const Fd> Extractor::folder_of(Step& s) {
    std::string path = s.path.substr(0, s.folder_len);
    if (last_dir_ && path == last_dir_path_) return last_dir_;
    Dirs dir = open_dirs(base_, s.parts, s.parts.size() - 1, true);
    if (!dir.fd.valid()) {
        folders_failed(s, dir);
        return nullptr;
    }
    // Counted while any member or waiting file holds it.
    ++folders_open_;
    last_dir_ = std::shared_ptr<const Fd>(new Fd(std::move(dir.fd)), [this](const Fd* fd) {
        --folders_open_;
        delete fd;
    });
    last_dir_path_ = std::move(path);
    return last_dir_;
}

void Extractor::folders_failed(Step& s, const Dirs& d) {
    if (d.error == DirError::through_link)
        refuse(s, d.why);
    else
        fail(s, d.why, Status::io, d.error == DirError::disk_full);
}

// What stands at the member's place already: nothing, something to replace (with -c), or
// something that stops this member.
Existing Extractor::existing(Step& s, int dir, const std::string& leaf) {
    struct stat st {};
    if (::fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return Existing::none;
    if (S_ISDIR(st.st_mode)) {
        fail(s, "a folder of that name is in the way", Status::io);
        return Existing::stop;
    }
    if (!o_.overwrite) {
        s.notes.push_back(
            {Note::Kind::skipped, display_name(s.m) + ": the file exists (use -c to overwrite)"});
        return Existing::stop;
    }
    return Existing::replace;
}

void Extractor::plan_folder(Step& s) {
    Dirs d = open_dirs(base_, s.parts, s.parts.size(), true);
    if (!d.fd.valid()) {
        folders_failed(s, d);
        return;
    }
    s.folder = true;
    if (o_.detail >= 1) s.notes.push_back({Note::Kind::line, "Created   " + display_name(s.m)});
}

void Extractor::plan_link(Step& s, int dir, bool replacing) {
    try {
        make_link(dir, s.parts.back(), s.m.link_target, replacing);
    } catch (const IoError& e) {
        fail(s, e.what() + std::string(replacing ? " (the existing file is kept)" : ""), Status::io,
             e.disk_full());
        return;
    }
    ++files_;
    if (o_.detail >= 1) s.notes.push_back({Note::Kind::line, "Linked    " + display_name(s.m)});
}

void Extractor::plan_file(Step& s, std::shared_ptr<const Fd> folder, bool replacing) {
    s.is_file = true;
    s.dir = std::move(folder);
    s.replacing = replacing;
    s.place_now = !replacing && !strict_;
    busy_.insert(s.path);
    Step* job = &s;
    const ArchiveReader& r = r_;
    std::atomic<bool>& full = disk_full_workers_;
    pool_->add(s.m.original_size, [&r, job, &full] { write_file(r, *job, full); });
}

// Takes the oldest member back. False once the caller has asked to stop.
bool Extractor::finish_next() {
    Step& s = *steps_.front();
    if (s.is_file) pool_->finish_next();
    if (!s.announced && !o_.progress->starting(s.m)) return false;
    for (const Note& n : s.notes) apply(n);
    if (s.not_extracted) ++not_extracted_;
    if (s.folder) folders_.push_back({s.parts, s.m.mode, s.m.mtime});
    if (s.is_file) finish_file(s);
    const std::unique_ptr<Step> done = std::move(steps_.front());
    steps_.pop_front();
    return o_.progress->done(done->m);
}

void Extractor::apply(const Note& n) {
    switch (n.kind) {
        case Note::Kind::line:
            rep_.line(n.text);
            return;
        case Note::Kind::important:
            rep_.important(n.text);
            return;
        case Note::Kind::refused:
            rep_.important("Refused: " + n.text);
            out_.note(Status::unsafe_path);
            ++refused_;
            return;
        case Note::Kind::skipped:
            rep_.important("Skipped: " + n.text);
            out_.note(Status::skipped);
            ++skipped_;
            return;
        case Note::Kind::error:
            // After "no space left" the members that failed for it are only counted.
            if (n.disk_full && disk_full_) {
                ++not_extracted_;
                return;
            }
            out_.error(rep_, n.text, n.status);
            if (n.disk_full) disk_full_ = disk_full_ahead_ = true;
            return;
    }
}

void Extractor::finish_file(Step& s) {
    const std::string shown = display_name(s.m);
    // With a progress callback files take their names here, in member order, not on a worker.
    if (!s.failed && !s.placed && !s.replacing && !s.name_taken) place_new(s.dir->get(), s);
    if (s.failed) {
        busy_.erase(s.path);
        apply({Note::Kind::error, shown + ": " + s.failure.text, s.failure.status,
               s.failure.disk_full});
        return;
    }
    if (s.placed) {
        busy_.erase(s.path);
        extracted(shown, s.m.original_size);
        return;
    }
    if (!s.replacing && !name_taken(s)) return;
    waiting_bytes_ += s.m.original_size;
    waiting_.push_back({s.dir, s.temp, s.parts.back(), shown, s.path, s.m.original_size});
    s.temp.clear();
    if (waiting_.size() >= kBatchFiles || waiting_bytes_ >= kBatchBytes) place_waiting();
}

// The name of a finished file is taken: by a folder (which stays), by a file left alone
// without -c, or by one the new file is to replace (true: it goes into the next batch).
bool Extractor::name_taken(Step& s) {
    const int dir = s.dir->get();
    const std::string shown = display_name(s.m);
    struct stat st {};
    const bool folder = ::fstatat(dir, s.parts.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                        S_ISDIR(st.st_mode);
    if (!folder && o_.overwrite) {
        s.replacing = true;
        return true;
    }
    ::unlinkat(dir, s.temp.c_str(), 0);
    busy_.erase(s.path);
    if (folder)
        apply({Note::Kind::error, shown + ": a folder of that name is in the way", Status::io});
    else
        apply({Note::Kind::skipped, shown + ": the file exists (use -c to overwrite)"});
    return false;
}

void Extractor::extracted(const std::string& shown, std::uint64_t size) {
    ++files_;
    bytes_ += size;
    if (o_.detail >= 1) rep_.line("Extracted " + shown + "  " + thousands(size) + " bytes");
}

// Flushes the file systems under the waiting files, then renames each over its real name.
void Extractor::place_waiting() {
    std::map<dev_t, int> file_systems;  // one folder on each
    for (auto& w : waiting_) {
        struct stat st {};
        if (::fstat(w.dir->get(), &st) == 0) file_systems.emplace(st.st_dev, w.dir->get());
    }
    int flush_error = 0;
    for (auto& [dev, fd] : file_systems)
        if (io_syncfs(fd) != 0 && flush_error == 0) flush_error = errno;
    for (auto& w : waiting_) place(w, flush_error);
    waiting_.clear();
    waiting_bytes_ = 0;
}

void Extractor::place(const Waiting& w, int flush_error) {
    busy_.erase(w.path);
    const int dir = w.dir->get();
    int error = flush_error;
    std::string what = "cannot flush the file";
    if (error == 0 && io_renameat(dir, w.temp.c_str(), dir, w.leaf.c_str()) != 0) {
        error = errno;
        what = "cannot put the file in place";
    }
    if (error != 0) {
        ::unlinkat(dir, w.temp.c_str(), 0);
        const IoError e(error, what);
        apply({Note::Kind::error, w.shown + ": " + e.what() + aftermath(true), Status::io,
               e.disk_full()});
        return;
    }
    extracted(w.shown, w.size);
}

// After a stop: the workers finish what they are writing, and nothing of the members not
// taken back stays behind.
void Extractor::discard_rest() {
    pool_.reset();
    for (auto& s : steps_)
        if (s->is_file && !s->temp.empty() && !s->placed)
            ::unlinkat(s->dir->get(), s->temp.c_str(), 0);
    steps_.clear();
    held_.reset();
}

// Folder times last: creating files inside a folder changes its time.
void Extractor::set_folder_times() {
    FolderCursor cursor(base_);
    for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) {
        const int fd = cursor.open(it->parts);
        if (fd < 0) continue;
        if (it->mode) ::fchmod(fd, static_cast<mode_t>(it->mode & 0777) | S_IRWXU);
        set_times(fd, it->mtime);
    }
}

Status Extractor::summary(const std::string& dest) {
    if (!header_damage_.empty() && !o_.progress->stopped())
        out_.error(rep_, "extraction stopped: " + header_damage_, header_status_);
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
    const Status s = ex.run(dest);
    return o.progress->stopped() ? o.progress->cancelled(rep) : s;
}

}  // namespace lzh::detail
