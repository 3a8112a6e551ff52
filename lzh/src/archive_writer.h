// Writing archives: members are compressed by a small pool of workers (each member is an
// independent stream) and written strictly in order to a new file beside the archive, which
// replaces the archive only after it is complete and flushed to disk.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "disk_scan.h"
#include "lzh/lzh.hpp"

namespace lzh::detail {

// One member of the archive being written: either copied unchanged from the old archive or
// made from a disk entry. For a replacement, `old` is kept when the new file cannot be read.
struct PlanItem {
    bool from_disk = false;
    DiskEntry entry;
    bool has_old = false;
    Member old;
};

// What happened to a member made from disk.
struct StoredMember {
    const PlanItem* item = nullptr;
    Member member;  // as written (when ok)
    bool ok = false;
    std::string error;  // why it could not be stored (when !ok)
};

struct WriteOptions {
    Method method = Method::lh5;
    int threads = 0;  // 0: one per processor core
    // Members at least this large are cut into pieces of `piece_size` coded on several threads
    // at once, so that one big file does not leave the other cores idle.
    std::uint64_t piece_threshold = std::uint64_t{16} << 20;
    std::size_t piece_size = std::size_t{4} << 20;
    // What the compressed members in flight may hold in memory together; beyond it they spill
    // into unnamed temporary files.
    std::int64_t memory_budget = std::int64_t{32} << 20;
    // Called in plan order before the writer waits for a member made from disk.
    std::function<void(const PlanItem&)> before_member;
};

// Writes `plan` as the new content of `archive_path` (old members are read through `old`, which
// may be null when there is none). `on_member` is called in plan order for every member made
// from disk. Throws Failure on errors that stop the whole write; the old archive is then intact.
void write_archive(const std::string& archive_path, ArchiveReader* old,
                   const std::vector<PlanItem>& plan, const WriteOptions& opt,
                   const std::function<void(const StoredMember&)>& on_member);

}  // namespace lzh::detail
