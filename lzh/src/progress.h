// Progress of one command, member by member, for a caller that shows it and may ask to stop.
// A command that is given a Progress tells it the totals first, then each member as it starts
// and as it is done. All of this happens on the thread that runs the command, between members,
// so the callback needs no lock of its own; nothing here is shared between commands.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "lzh/lzh.hpp"

namespace lzh::detail {

struct Options;
struct PlanItem;
struct StoredMember;

// What the callback is told.
struct ProgressStep {
    char command = 0;         // 'a', 'u', 't', 'x' or 'e'
    bool done = false;        // false: the member is about to be worked on; true: it has been
    std::string_view member;  // as listings show it; zero-terminated (it views a std::string)
    std::uint64_t files_done = 0, files_total = 0;
    std::uint64_t bytes_done = 0, bytes_total = 0;  // original sizes
    std::uint64_t packed_done = 0;                  // a, u: compressed bytes written so far
};

class Progress {
  public:
    // `callback` returns false to ask the command to stop. With `count_only` a command only
    // counts what it would work on and stops before touching anything. Without a callback
    // (and not counting) every call returns at once.
    explicit Progress(std::function<bool(const ProgressStep&)> callback = {},
                      bool count_only = false)
        : callback_(std::move(callback)), count_only_(count_only) {}

    // a, u: the totals are the members the plan makes from disk. True when only counting.
    bool begin_writing(const Options& o, const std::vector<PlanItem>& plan);
    // t, x, e: the totals are the members the command line names, from a walk over the
    // headers. True when only counting.
    bool begin_reading(const Options& o);

    // Reading commands, for every member read (those the command line does not name are passed
    // over). False once the caller has asked to stop.
    bool starting(const Member& m);
    bool done(const Member& m);
    // Writing commands, for every member made from disk. They throw Failure(cancelled) once
    // the caller has asked to stop, which leaves the old archive as it was.
    void storing(const PlanItem& item);
    void stored(const StoredMember& sm);

    bool count_only() const { return count_only_; }
    // Whether a caller is told (and may ask to stop).
    bool tells() const { return static_cast<bool>(callback_); }
    bool stopped() const { return stopped_; }
    std::uint64_t files_total() const { return step_.files_total; }
    std::uint64_t bytes_total() const { return step_.bytes_total; }
    // Reports where the command stopped ("Cancelled after 3 of 10 members" + aftermath) and
    // returns Status::cancelled.
    Status cancelled(Report& rep, const std::string& aftermath = "") const;

  private:
    bool selected(const Member& m) const;
    bool tell(std::string_view path);

    std::function<bool(const ProgressStep&)> callback_;
    bool count_only_;
    const Options* options_ = nullptr;  // set by begin_reading: the members it selects
    ProgressStep step_;
    std::string shown_;
    bool stopped_ = false;
};

// Runs one command line as run_command() does, telling `progress` (may be null) how it goes.
Status run_command(std::string_view command_line, Report& report, Progress* progress);

}  // namespace lzh::detail
