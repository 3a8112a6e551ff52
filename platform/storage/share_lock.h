// Sharing modes between openers of one file, across threads and processes: an opener states
// what it will do (read, write) and what it denies others (nothing, writing, reading, all), and
// an open that clashes with an opener already there is refused with "access denied".
//
// The state lives in open-file-description locks on a small lock file, one byte for each of
// "someone reads", "someone writes", "someone denies reading", "someone denies writing". Such
// locks belong to the open file, not the process, so two openers in one process see each other,
// and the kernel drops them when a process dies: a crashed opener never blocks anyone.
#pragma once

#include <filesystem>

#include "platform/storage/storage_error.h"

namespace marlo {

class ShareLock {
 public:
  ShareLock() = default;
  ~ShareLock() { release(); }
  ShareLock(const ShareLock&) = delete;
  ShareLock& operator=(const ShareLock&) = delete;

  // `mode` is an open mode byte (see text_file.h). Returns storage_error::kNone,
  // kAccessDenied when the sharing clashes, or kDriverError when the lock file cannot be used.
  int acquire(const std::filesystem::path& lockFile, int mode);
  void release();
  [[nodiscard]] bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace marlo
