#include "paths.h"

#include "lzh/lzh.hpp"

namespace lzh {

bool wildcard_match(std::string_view pat, std::string_view name) noexcept {
    // "X.*" also matches "X" (DOS habit: "*.*" means every file, with or without a dot).
    if (pat.size() >= 2 && pat.substr(pat.size() - 2) == ".*" &&
        name.find('.') == std::string_view::npos &&
        wildcard_match(pat.substr(0, pat.size() - 2), name))
        return true;
    // Iterative matcher with one backtrack point for the last '*'.
    std::size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
    while (n < name.size()) {
        if (p < pat.size() && (pat[p] == '?' || pat[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pat.size() && pat[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pat.size() && pat[p] == '*') ++p;
    return p == pat.size();
}

}  // namespace lzh

namespace lzh::detail {

std::string to_forward_slashes(std::string_view s) {
    std::string r(s);
    for (auto& c : r)
        if (c == '\\') c = '/';
    return r;
}

std::vector<std::string> split_path(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i <= path.size()) {
        std::size_t j = path.find('/', i);
        if (j == std::string_view::npos) j = path.size();
        if (j > i) parts.emplace_back(path.substr(i, j - i));
        i = j + 1;
    }
    return parts;
}

std::string normalize(std::string_view path) {
    const bool absolute = !path.empty() && path[0] == '/';
    std::vector<std::string> out;
    for (auto& part : split_path(path)) {
        if (part == ".") continue;
        if (part == "..") {
            if (!out.empty() && out.back() != "..")
                out.pop_back();
            else if (!absolute)
                out.push_back(part);
            continue;
        }
        out.push_back(part);
    }
    std::string r = absolute ? "/" : "";
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (i) r += '/';
        r += out[i];
    }
    return r.empty() ? std::string(".") : r;
}

std::string unsafe_member_reason(std::string_view p) {
    if (p.empty()) return "the member has no name";
    if (p[0] == '/') return "the path is absolute";
    if (p.size() >= 2 && p[1] == ':' &&
        ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z')))
        return "the path starts with a drive letter";
    for (auto& part : split_path(p))
        if (part == "..") return "the path contains \"..\"";
    if (p.find('\0') != std::string_view::npos) return "the path contains a zero byte";
    return {};
}

bool link_stays_inside(std::string_view link_path, std::string_view target) {
    if (target.empty() || target[0] == '/') return false;
    auto parts = split_path(link_path);
    if (!parts.empty()) parts.pop_back();  // the link's own name
    int depth = static_cast<int>(parts.size());
    // ".." is allowed only at the start of the target: those steps climb real folders that
    // extraction created. After a named component that component might itself be a link, and
    // "name/.." could then climb out of the destination.
    bool descended = false;
    for (auto& part : split_path(target)) {
        if (part == ".") continue;
        if (part == "..") {
            if (descended || --depth < 0) return false;
        } else {
            descended = true;
        }
    }
    return true;
}

bool has_wildcard(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

std::string archive_file_name(std::string_view name) {
    std::string n = to_forward_slashes(name);
    std::size_t slash = n.rfind('/');
    std::string_view last = std::string_view(n).substr(slash == std::string::npos ? 0 : slash + 1);
    if (!last.empty() && last.find('.') == std::string_view::npos) n += ".lzh";
    return n;
}

}  // namespace lzh::detail
