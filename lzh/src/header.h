// Member headers: reading levels 0-3 and writing level 2.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "lzh/lzh.hpp"

namespace lzh::detail {

// Reads `n` bytes at `off` into buf and returns how many were available.
using ReadAt = std::function<std::size_t(std::uint64_t off, std::uint8_t* buf, std::size_t n)>;

enum class HeaderResult { member, end };

// Parses the header at `off`. Returns `end` at the end marker (what follows it is the caller's
// to judge). Throws Failure(damaged) with a message in words when the header is inconsistent or
// runs past `file_size`.
HeaderResult read_header(const ReadAt& read_at, std::uint64_t off, std::uint64_t file_size,
                         Member& m);

// True when the bytes at `p` (at least 22 available) look like the start of a member header;
// used to skip a self-extracting stub in front of the first member.
bool looks_like_header(const std::uint8_t* p, std::size_t n);

// Builds a level-2 header for `m` (path, method, sizes, crc, mtime, mode, symlink target).
// The header size never has a zero low byte (some readers would take it for the end marker).
std::vector<std::uint8_t> build_level2_header(const Member& m);

// DOS date/time (local time) to Unix seconds and back.
std::int64_t dos_to_unix(std::uint32_t dos);
std::uint32_t unix_to_dos(std::int64_t t);

}  // namespace lzh::detail
