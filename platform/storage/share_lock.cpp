#include "platform/storage/share_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace marlo {

namespace {

namespace se = storage_error;

enum Byte : off_t { kReads = 0, kWrites = 1, kDeniesRead = 2, kDeniesWrite = 3, kMutex = 4 };

bool wantsRead(int mode) {
  return (mode & 0x3) != 0x1;
}
bool wantsWrite(int mode) {
  return (mode & 0x3) != 0x0;
}
bool deniesRead(int mode) {
  return (mode & 0xF0) == 0x10 || (mode & 0xF0) == 0x30;
}
bool deniesWrite(int mode) {
  return (mode & 0xF0) == 0x10 || (mode & 0xF0) == 0x20;
}

struct flock lockOf(short type, off_t byte) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  return lock;
}

// Whether another opener holds a lock on `byte`.
bool someoneHolds(int fd, off_t byte) {
  struct flock probe = lockOf(F_WRLCK, byte);
  if (fcntl(fd, F_OFD_GETLK, &probe) != 0) return true;  // cannot tell: treat as a clash
  return probe.l_type != F_UNLCK;
}

bool take(int fd, short type, off_t byte, bool wait) {
  struct flock lock = lockOf(type, byte);
  while (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace

int ShareLock::acquire(const std::filesystem::path& lockFile, int mode) {
  release();
  const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return errno == EACCES || errno == EROFS ? se::kAccessDenied : se::kDriverError;

  // Checking and taking must not interleave with another opener doing the same.
  if (!take(fd, F_WRLCK, kMutex, true)) {
    ::close(fd);
    return se::kDriverError;
  }
  const bool clash = (wantsRead(mode) && someoneHolds(fd, kDeniesRead)) ||
                     (wantsWrite(mode) && someoneHolds(fd, kDeniesWrite)) ||
                     (deniesRead(mode) && someoneHolds(fd, kReads)) ||
                     (deniesWrite(mode) && someoneHolds(fd, kWrites));
  bool taken = !clash;
  if (taken && wantsRead(mode)) taken = take(fd, F_RDLCK, kReads, false);
  if (taken && wantsWrite(mode)) taken = take(fd, F_RDLCK, kWrites, false);
  if (taken && deniesRead(mode)) taken = take(fd, F_RDLCK, kDeniesRead, false);
  if (taken && deniesWrite(mode)) taken = take(fd, F_RDLCK, kDeniesWrite, false);
  take(fd, F_UNLCK, kMutex, false);
  if (!taken) {
    ::close(fd);
    return se::kAccessDenied;
  }
  fd_ = fd;
  return se::kNone;
}

void ShareLock::release() {
  if (fd_ >= 0) ::close(fd_);  // closing the description drops its locks
  fd_ = -1;
}

}  // namespace marlo
