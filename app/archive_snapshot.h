// The archive as it was when a backup began, kept so that a cancelled backup can put it back
// byte for byte. A run stores one folder per library call, and each call replaces the archive
// with a new file renamed over it; a stopped call throws away only its own folder, so without
// this copy a cancel would keep the folders stored before it.
//
// The copy is a hard link beside the archive, which costs nothing: the library never writes
// into the old file, so the link keeps its bytes while the archive's name moves on. Where the
// file system has no hard links it is a real copy. It is named `.<archive>.before-backup-<pid>`;
// one whose process has died (a run that was killed) is removed by the next run. The library
// never stores hidden files named after the archive beside it, so backing up the folder that
// holds the archive does not take the copy in.
#pragma once

#include <cstdint>
#include <filesystem>

namespace app {

class ArchiveSnapshot {
 public:
  ArchiveSnapshot() = default;
  ArchiveSnapshot(const ArchiveSnapshot&) = delete;
  ArchiveSnapshot& operator=(const ArchiveSnapshot&) = delete;
  ~ArchiveSnapshot() { drop(); }

  // Keeps `archive` as it is now (nothing to keep when it does not exist); false when no copy
  // could be made.
  bool take(const std::filesystem::path& archive);
  // The run's own update has just replaced the archive (or left it as it was): the file the
  // archive's name now leads to is the run's, and a put-back may replace it.
  void noteOwnUpdate();
  // Makes the archive what it was at take(): the copy takes its name, or the archive is removed
  // when there was none. It waits for an update that is running (it takes the lock updates take)
  // and leaves the archive alone when an update other than the run's own has replaced it since:
  // putting the copy back then would silently undo that update. False when the archive was not
  // put back.
  bool putBack();
  // Whether the last putBack() left the archive alone because another update had replaced it.
  [[nodiscard]] bool replacedByAnother() const { return replacedByAnother_; }
  // The copy is not needed any more.
  void drop();

  // What a copy of `archive` made by process `pid` is called.
  [[nodiscard]] static std::filesystem::path copyName(const std::filesystem::path& archive,
                                                      long pid);

 private:
  // Which file a name leads to.
  struct FileIdentity {
    bool exists = false;
    std::uint64_t device = 0, inode = 0;
    bool operator==(const FileIdentity&) const = default;
  };
  [[nodiscard]] FileIdentity archiveIdentity() const;

  std::filesystem::path archive_;
  std::filesystem::path copy_;  // empty: the archive did not exist
  FileIdentity own_;            // the archive as take() or the run's last update left it
  bool taken_ = false;
  bool replacedByAnother_ = false;
};

}  // namespace app
