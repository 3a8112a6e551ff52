#include "paths.h"

#include <cstdio>

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

std::string parent_folder(std::string_view p) {
    std::size_t s = p.rfind('/');
    if (s == std::string_view::npos) return ".";
    return s == 0 ? "/" : std::string(p.substr(0, s));
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

bool link_allowed(std::string_view link_path, std::string_view target) {
    if (target.empty()) return false;
    if (target[0] == '/') return true;
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

namespace {

bool is_c0_or_del(unsigned char c) { return c < 0x20 || c == 0x7F; }
bool is_c1_in_utf8(std::string_view s, std::size_t i) {
    return static_cast<unsigned char>(s[i]) == 0xC2 && i + 1 < s.size() &&
           static_cast<unsigned char>(s[i + 1]) >= 0x80 &&
           static_cast<unsigned char>(s[i + 1]) <= 0x9F;
}

// Length of the well-formed UTF-8 sequence starting at s[i], or 0.
std::size_t utf8_sequence(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) return 1;
    std::size_t len = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0) low = 0xA0;   // no overlong forms
        if (c == 0xED) high = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
    }
    if (len == 0 || i + len > s.size()) return 0;
    const auto second = static_cast<unsigned char>(s[i + 1]);
    if (second < low || second > high) return 0;
    for (std::size_t k = 2; k < len; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
    return len;
}

bool valid_utf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        std::size_t len = utf8_sequence(s, i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

}  // namespace

std::string escape_controls(std::string_view s) {
    bool plain = true;
    for (std::size_t i = 0; i < s.size() && plain; ++i)
        plain = !is_c0_or_del(static_cast<unsigned char>(s[i])) && !is_c1_in_utf8(s, i);
    if (plain) return std::string(s);
    // Bytes 0xC2 0x80-0x9F are a C1 control only in UTF-8 text; in a name in another code page
    // (Shift_JIS, say) they are ordinary characters and stay.
    const bool utf8 = valid_utf8(s);
    std::string out;
    out.reserve(s.size() + 8);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        char esc[8];
        if (c == '\n' || c == '\r' || c == '\t') {
            out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
        } else if (is_c0_or_del(c)) {
            std::snprintf(esc, sizeof esc, "\\x%02x", c);
            out += esc;
        } else if (utf8 && is_c1_in_utf8(s, i)) {
            std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned char>(s[++i]));
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string without_root(std::string_view p, bool& removed) {
    const std::size_t before = p.size();
    if (p.size() >= 2 && p[1] == ':' &&
        ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z')))
        p.remove_prefix(2);
    while (!p.empty() && p[0] == '/') p.remove_prefix(1);
    removed = p.size() != before;
    return std::string(p);
}

std::string archive_file_name(std::string_view name) {
    std::string n = to_forward_slashes(name);
    std::size_t slash = n.rfind('/');
    std::string_view last = std::string_view(n).substr(slash == std::string::npos ? 0 : slash + 1);
    if (!last.empty() && last.find('.') == std::string_view::npos) n += ".lzh";
    return n;
}

}  // namespace lzh::detail
