// What the commands share: the parsed command line, the running outcome, and the way members
// and numbers are written in a report.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lzh/lzh.hpp"

namespace lzh::detail {

class Progress;

struct Options {
    char command = 'l';
    bool recurse = false;
    bool full_path = false;
    bool overwrite = false;
    int detail = 1;  // 0: summary and errors, 1: a line per member, 2: also unchanged members
    Method method = Method::lh5;
    int threads = 0;
    std::string archive;
    std::vector<std::string> file_args;
    std::string dest;
    Progress* progress = nullptr;  // never null while a command runs
};

// What a command has come to. The first failure decides the result (that is the one the caller
// most needs to know about); every error line is counted, so the summary never says "0 errors"
// above an error.
struct Outcome {
    Status status = Status::ok;
    std::uint64_t errors = 0;
    void note(Status s) {
        if (status == Status::ok) status = s;
    }
    // An "Error: ..." line, counted.
    void error(Report& rep, const std::string& text, Status s) {
        rep.important("Error: " + text);
        note(s);
        ++errors;
    }
};

// 1234567 -> "1,234,567".
std::string thousands(std::uint64_t v);
// "1 member", "3 members": the counts in the report's summary lines.
std::string counted(std::uint64_t n, const std::string& noun);
// A member as the report shows it: folders end in '/', links show their target.
std::string display_name(const Member& m);

// Whether the member is one of those the file patterns name (all when there are none). A pattern
// matches a member's path as stored, or as a listing shows it (control characters escaped,
// '\' read as a separator), so whatever a listing showed can be named back.
bool member_selected(const std::vector<std::string>& file_args, const Member& m);

// Opens an archive for reading, or reports why it cannot be read.
Status open_archive(const std::string& path, std::unique_ptr<ArchiveReader>& r, Report& rep,
                    const std::string& aftermath = "");

// What the reader let pass but a person should hear of (bytes after the end marker).
void report_notes(const ArchiveReader& r, Report& rep);

Status cmd_test(const Options& o, Report& rep);
Status cmd_extract(const Options& o, Report& rep);

}  // namespace lzh::detail
