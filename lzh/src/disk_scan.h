// Finding the files to store (a, u): file patterns expanded into files, folders and links on disk.
// Folders (and files, when they are read) are opened by their full path, or, when that path is
// too long to give the system, one folder at a time below the pattern's folder, and the walk
// keeps its own stack, so neither the length of a path nor the depth of a tree is limited.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include <sys/stat.h>

#include "command.h"
#include "file_io.h"

namespace lzh::detail {

// A file, folder or link on disk to be stored under `name`.
struct DiskEntry {
    std::string disk_path;
    // Length of the leading part of disk_path that can be opened as a folder by its path; the
    // rest is opened one folder at a time below it. 0: disk_path is opened as it stands.
    std::size_t anchor_len = 0;
    std::string name;
    struct stat st {};
    std::string link_target;
};

// Opens a file to store for reading. It never waits (a FIFO put in a file's place must not
// hang the update), never follows a link at the end, and the caller checks what was opened.
Fd open_for_reading(const DiskEntry& e);

// Expands file patterns into entries, reporting what cannot be read. The folders of a pattern are
// read on several threads at once (one per core, or -jpN); the entries and the report come out
// in the order a single walk would give them.
class DiskScan {
  public:
    DiskScan(const Options& o, Report& rep, Outcome& out);
    ~DiskScan();
    // Leaves out the archive itself (`archive_path` is its absolute path), its temporary files
    // (`<archive>.tmp-...`) and the hidden files named after it beside it (`.<name>.<...>`):
    // a caller that keeps the archive as it was before a run of updates, to put it back should
    // the run be stopped, keeps it there, and it must not end up inside the new archive.
    void exclude_archive(const struct stat* archive, const std::string& archive_path);
    void file_arg(const std::string& raw, const std::string& cwd);
    std::vector<DiskEntry>& entries() { return entries_; }

    struct Folder;

  private:
    void add(DiskEntry e);
    void add_named(const std::string& path, const std::string& last, const struct stat& st);
    void walk(const std::string& top, const std::string& rel, const std::string& pattern);
    void take(Folder& top);

    const Options& o_;
    Report& rep_;
    Outcome& out_;
    std::vector<DiskEntry> entries_;
    std::unordered_set<std::string> names_;  // from the second file pattern on
    int patterns_ = 0;
    bool have_archive_ = false;
    dev_t archive_dev_ = 0;
    ino_t archive_ino_ = 0;
    std::string temp_prefix_;
    std::string companion_prefix_;
};

}  // namespace lzh::detail
