// Path helpers for the command interpreter: command-line paths, member names, wildcard
// matching, and the checks that keep extraction inside its destination.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lzh::detail {

// '\' and '/' both separate folders on command lines; returns the path with '/' only.
std::string to_forward_slashes(std::string_view s);

// Removes "." components and repeated slashes, resolves ".." lexically (never above the
// start of an absolute path). Keeps a leading '/'.
std::string normalize(std::string_view path);

// Splits "a/b/c" into components (empty ones dropped).
std::vector<std::string> split_path(std::string_view path);

// Why a member path may not be extracted, or empty when it is safe: absolute paths, drive
// letters, ".." components and empty names are refused.
std::string unsafe_member_reason(std::string_view member_path);

// Whether a symbolic link stored at `link_path` (relative to the destination) with `target`
// stays inside the destination.
bool link_stays_inside(std::string_view link_path, std::string_view target);

bool has_wildcard(std::string_view s);

// The archive name rule: a name whose last component has no '.' gets ".lzh".
std::string archive_file_name(std::string_view name);

}  // namespace lzh::detail
