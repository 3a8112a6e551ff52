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

// The folder part of a '/'-separated path: "." when there is none, "/" for the root.
std::string parent_folder(std::string_view path);

// Splits "a/b/c" into components (empty ones dropped).
std::vector<std::string> split_path(std::string_view path);

// Why a member path may not be extracted, or empty when it is safe: absolute paths, drive
// letters, ".." components and empty names are refused.
std::string unsafe_member_reason(std::string_view member_path);

// Whether a symbolic link stored at `link_path` (relative to the destination) with `target` may
// be created. An absolute target is restored as it was stored: creating a link writes nothing
// outside, and extraction never writes through a link. A relative target must not climb out of
// the destination (such a link is never part of a tree that was backed up below it).
bool link_allowed(std::string_view link_path, std::string_view target);

bool has_wildcard(std::string_view s);

// A name as a person may safely see it: control characters (C0, DEL, and C1 in well-formed
// UTF-8) become escapes such as \n, \r, \t, \x1b or \u009b, so a hostile name can neither
// start a new report line nor send a terminal an escape sequence. Other bytes stay as they are.
std::string escape_controls(std::string_view s);

// A member path with its root removed: leading '/' and a drive letter ("C:", "C:/") go, so the
// member lands below the destination. `removed` tells whether anything was taken off.
std::string without_root(std::string_view member_path, bool& removed);

// The archive name rule: a name whose last component has no '.' gets ".lzh".
std::string archive_file_name(std::string_view name);

}  // namespace lzh::detail
