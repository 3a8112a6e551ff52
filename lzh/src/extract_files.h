// The file system side of extraction: folders opened one level at a time without following
// links, files made under hidden temporary names, links, times.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "file_io.h"

namespace lzh::detail {

// Why the folders on the way to a member could not be opened.
enum class DirError { none, through_link, disk_full, other };

struct Dirs {
    Fd fd;
    DirError error = DirError::none;
    std::string why;
};

// Opens the first `count` folders of `parts` below `base` (creating missing ones when
// `create`), refusing to pass through a symbolic link so that nothing can be written outside
// the destination.
Dirs open_dirs(int base, const std::vector<std::string>& parts, std::size_t count, bool create);

// Opens folders below `base` one after another (never through a link), keeping the folders of
// the last one open, so that each opens only the part of its path it does not share with the
// one before.
class FolderCursor {
  public:
    explicit FolderCursor(int base) : base_(base) {}
    // The folder at `parts`, or -1 when it cannot be opened; valid until the next call.
    int open(const std::vector<std::string>& parts);

  private:
    int base_;
    std::vector<std::string> names_;
    std::vector<Fd> fds_;
};

// A file being extracted, under a temporary name in its folder. It takes its real name only
// once complete and checked, so no cut file ever takes a real name and a failed replacement
// leaves the old file as it was.
class TemporaryFile {
  public:
    TemporaryFile(int dir, const std::string& leaf);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    int fd() const { return fd_.get(); }

    // Closes the complete file and hands its name on; from here on the caller removes it.
    std::string keep();

  private:
    int dir_;
    std::string name_;
    Fd fd_;
    bool kept_ = false;
};

// Makes a symbolic link; one that replaces something is made beside it and renamed over it.
void make_link(int dir, const std::string& leaf, const std::string& target, bool replacing);

void set_times(int fd, std::int64_t mtime);

}  // namespace lzh::detail
