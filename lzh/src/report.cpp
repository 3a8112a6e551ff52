// The report text and its fitting into a caller's fixed buffer.
#include <algorithm>
#include <cstring>

#include "lzh/lzh.hpp"
#include "paths.h"

namespace lzh {

void Report::line(std::string text) { lines_.push_back({detail::escape_controls(text), false}); }

void Report::important(std::string text) {
    lines_.push_back({detail::escape_controls(text), true});
}

void Report::append(const Report& other) {
    lines_.insert(lines_.end(), other.lines_.begin(), other.lines_.end());
}

std::string Report::text() const {
    std::string s;
    for (auto& l : lines_) {
        s += l.text;
        s += '\n';
    }
    return s;
}

void Report::render(char* buf, std::size_t capacity) const {
    if (capacity == 0 || buf == nullptr) return;
    const std::size_t room = capacity - 1;
    std::string full = text();
    if (full.size() <= room) {
        std::memcpy(buf, full.data(), full.size());
        buf[full.size()] = '\0';
        return;
    }
    // Too long: keep errors and the summary, then as many ordinary lines from the top as fit,
    // and say how many were left out.
    std::size_t important = 0;
    for (auto& l : lines_)
        if (l.important) important += l.text.size() + 1;
    std::string note_text = "... (lines left out: the report is longer than its buffer)\n";
    std::vector<bool> keep(lines_.size(), false);
    std::size_t used = important + note_text.size();
    bool no_room = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].important) {
            keep[i] = true;
        } else if (!no_room && used + lines_[i].text.size() + 1 <= room) {
            keep[i] = true;
            used += lines_[i].text.size() + 1;
        } else {
            no_room = true;
        }
    }
    std::string out;
    bool noted = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (keep[i]) {
            out += lines_[i].text;
            out += '\n';
        } else if (!noted) {
            out += note_text;
            noted = true;
        }
    }
    if (out.size() > room) out.resize(room);  // even the important lines do not fit
    std::memcpy(buf, out.data(), out.size());
    buf[out.size()] = '\0';
}

std::vector<std::string> tokenize(std::string_view line) {
    std::vector<std::string> tokens;
    std::string cur;
    bool in_token = false, quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            in_token = true;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
            if (in_token) tokens.push_back(cur);
            cur.clear();
            in_token = false;
        } else {
            cur += c;
            in_token = true;
        }
    }
    if (in_token) tokens.push_back(cur);
    return tokens;
}

}  // namespace lzh
