// Plain text files of records, one record per line, lines ended by CR LF: the backing of the
// program's log-file declaration. Every user (the backup run, the Restore window, the disc
// writer) has its own TextFile object, so two threads writing logs never share a handle.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/storage/share_lock.h"
#include "platform/storage/storage_error.h"

namespace marlo {

// Access and sharing as an open mode byte: low bits access (0 read, 1 write, 2 read/write),
// high bits sharing (0x10 deny all, 0x20 deny write, 0x30 deny read, 0x40 deny none).
inline constexpr int kAccessRead = 0x0;
inline constexpr int kAccessWrite = 0x1;
inline constexpr int kAccessReadWrite = 0x2;
inline constexpr int kDenyAll = 0x10;
inline constexpr int kDenyWrite = 0x20;
inline constexpr int kDenyRead = 0x30;
inline constexpr int kDenyNone = 0x40;

class TextFile {
 public:
  // `driverOptions` is the declaration's option string (e.g. "/FILEBUFFERS=20"); it is accepted
  // and only tunes buffering. `recordCapacity` is the record field's size: longer lines are cut.
  TextFile(std::string driverOptions, std::size_t recordCapacity);
  ~TextFile();
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  // The name is taken at create/open time (relative names against the current directory).
  int create(std::string_view name);  // makes an empty file (truncating one that exists)
  int open(std::string_view name, int mode);
  // Appends one record: the text up to its first zero byte, cut to the record capacity, with
  // trailing blanks removed, then CR LF.
  int append(std::string_view record);
  // Reads the next record (without CR LF) into `record`; storage_error::kNoRecord at the end.
  int next(std::string& record);
  void close();
  static int remove(std::string_view name);

  [[nodiscard]] bool isOpen() const { return file_ != nullptr; }
  [[nodiscard]] int lastError() const { return lastError_; }

 private:
  int fail(int code);

  std::string options_;
  std::size_t recordCapacity_;
  std::size_t bufferBytes_;
  std::FILE* file_ = nullptr;
  ShareLock share_;
  int lastError_ = 0;
};

}  // namespace marlo
