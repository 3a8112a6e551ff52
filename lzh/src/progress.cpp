#include "progress.h"

#include <sys/stat.h>

#include "archive_writer.h"
#include "command.h"
#include "paths.h"

namespace lzh::detail {

namespace {

std::uint64_t disk_bytes(const DiskEntry& e) {
    return S_ISREG(e.st.st_mode) ? static_cast<std::uint64_t>(e.st.st_size) : 0;
}

}  // namespace

bool Progress::begin_writing(const Options& o, const std::vector<PlanItem>& plan) {
    step_.command = o.command;
    for (const PlanItem& item : plan) {
        if (!item.from_disk) continue;
        ++step_.files_total;
        step_.bytes_total += disk_bytes(item.entry);
    }
    return count_only_;
}

bool Progress::begin_reading(const Options& o) {
    step_.command = o.command;
    options_ = &o;
    // Nobody to tell: the headers are not walked twice for nothing.
    if (!callback_ && !count_only_) return false;
    try {
        ArchiveReader r(o.archive);
        Member m;
        while (r.next(m)) {
            if (!member_selected(o.file_args, m)) continue;
            ++step_.files_total;
            step_.bytes_total += m.original_size;
        }
    } catch (const Failure&) {
        // The command itself reports the damage; the members before it are the total.
    }
    return count_only_;
}

bool Progress::selected(const Member& m) const {
    return options_ == nullptr || member_selected(options_->file_args, m);
}

bool Progress::tell(std::string_view path) {
    if (stopped_) return false;
    shown_ = escape_controls(path);
    step_.member = shown_;
    stopped_ = !callback_(step_);
    return !stopped_;
}

bool Progress::starting(const Member& m) {
    if (!callback_ || !selected(m)) return !stopped_;
    step_.done = false;
    return tell(m.path);
}

bool Progress::done(const Member& m) {
    if (!callback_ || !selected(m)) return !stopped_;
    step_.done = true;
    ++step_.files_done;
    step_.bytes_done += m.original_size;
    return tell(m.path);
}

void Progress::storing(const PlanItem& item) {
    if (!callback_) return;
    step_.done = false;
    if (!tell(item.entry.name)) throw Failure(Status::cancelled, "cancelled");
}

void Progress::stored(const StoredMember& sm) {
    if (!callback_) return;
    step_.done = true;
    ++step_.files_done;
    step_.bytes_done += disk_bytes(sm.item->entry);
    if (sm.ok) step_.packed_done += sm.member.packed_size;
    if (!tell(sm.item->entry.name)) throw Failure(Status::cancelled, "cancelled");
}

Status Progress::cancelled(Report& rep, const std::string& aftermath) const {
    rep.important("Cancelled after " + std::to_string(step_.files_done) + " of " +
                  counted(step_.files_total, "member") + aftermath + ".");
    return Status::cancelled;
}

}  // namespace lzh::detail
