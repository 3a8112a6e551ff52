#include "app/archive_snapshot.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <string_view>
#include <system_error>

namespace app {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kCopyMark = ".before-backup-";

bool processIsGone(long pid) {
  return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// Copies that runs which were killed left beside the archive.
void removeDeadCopies(const fs::path& archive) {
  std::error_code error;
  const fs::path folder = archive.has_parent_path() ? archive.parent_path() : fs::path(".");
  const std::string prefix = "." + archive.filename().string() + std::string(kCopyMark);
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (!name.starts_with(prefix)) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
      continue;
    std::error_code ignored;
    if (processIsGone(std::stol(digits))) fs::remove(it->path(), ignored);
  }
}

// Holds the lock an archive's updates take (an exclusive lock on the archive file) while it
// lives; without one (no archive, or a file system that cannot lock) it holds nothing.
class UpdateLockHold {
 public:
  explicit UpdateLockHold(const fs::path& archive)
      : fd_(::open(archive.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  UpdateLockHold(const UpdateLockHold&) = delete;
  UpdateLockHold& operator=(const UpdateLockHold&) = delete;
  ~UpdateLockHold() {
    if (fd_ >= 0) ::close(fd_);
  }

 private:
  int fd_;
};

}  // namespace

ArchiveSnapshot::FileIdentity ArchiveSnapshot::archiveIdentity() const {
  struct stat st {};
  if (::stat(archive_.c_str(), &st) != 0) return {};
  return {true, static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

void ArchiveSnapshot::noteOwnUpdate() {
  if (taken_) own_ = archiveIdentity();
}

fs::path ArchiveSnapshot::copyName(const fs::path& archive, long pid) {
  fs::path name = archive;
  name.replace_filename("." + archive.filename().string() + std::string(kCopyMark) +
                        std::to_string(pid));
  return name;
}

bool ArchiveSnapshot::take(const fs::path& archive) {
  drop();
  std::error_code error;
  // Whole: the Restore window may move the current directory while the backup runs.
  archive_ = fs::absolute(archive, error);
  if (error) return false;
  removeDeadCopies(archive_);
  own_ = {};
  if (!fs::exists(archive_, error)) {
    taken_ = !error;
    return taken_;
  }
  const fs::path copy = copyName(archive_, static_cast<long>(::getpid()));
  fs::remove(copy, error);  // an earlier run of this same process that did not finish
  fs::create_hard_link(archive_, copy, error);
  if (error) {
    error.clear();
    fs::copy_file(archive_, copy, fs::copy_options::overwrite_existing, error);
  }
  if (error) {
    std::error_code ignored;
    fs::remove(copy, ignored);
    return false;
  }
  copy_ = copy;
  taken_ = true;
  own_ = archiveIdentity();
  return true;
}

bool ArchiveSnapshot::putBack() {
  replacedByAnother_ = false;
  if (!taken_) return false;
  const UpdateLockHold lock(archive_);
  if (archiveIdentity() != own_) {
    replacedByAnother_ = true;
    return false;
  }
  std::error_code error;
  if (copy_.empty()) {
    fs::remove(archive_, error);
  } else if (fs::equivalent(copy_, archive_, error)) {
    // Nothing replaced the archive. Renaming a link over another link of the same file does
    // nothing at all, and would leave the copy behind.
    fs::remove(copy_, error);
  } else {
    error.clear();
    fs::rename(copy_, archive_, error);
  }
  if (error) return false;
  copy_.clear();
  taken_ = false;
  return true;
}

void ArchiveSnapshot::drop() {
  if (!copy_.empty()) {
    std::error_code ignored;
    fs::remove(copy_, ignored);
    copy_.clear();
  }
  taken_ = false;
}

}  // namespace app
