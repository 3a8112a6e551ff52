// Small shared pieces of the public API: status texts, method names, memory sources.
#include <algorithm>
#include <cstring>

#include "lzh/lzh.hpp"

namespace lzh {

const char* status_text(Status s) noexcept {
    switch (s) {
        case Status::ok:
            return "success";
        case Status::usage:
            return "the command line is not understood";
        case Status::no_archive:
            return "the archive cannot be opened";
        case Status::not_archive:
            return "the file is not an LZH archive";
        case Status::damaged:
            return "the archive is damaged";
        case Status::io:
            return "a file could not be read or written";
        case Status::unsafe_path:
            return "members were refused because they lead outside the destination";
        case Status::no_files:
            return "no files matched";
        case Status::skipped:
            return "existing files were not overwritten";
        case Status::unsupported:
            return "a member uses a method this library does not support";
        case Status::no_memory:
            return "out of memory";
    }
    return "unknown error";
}

const char* method_name(Method m) noexcept {
    switch (m) {
        case Method::stored:
            return "-lh0-";
        case Method::lh4:
            return "-lh4-";
        case Method::lh5:
            return "-lh5-";
        case Method::lh6:
            return "-lh6-";
        case Method::lh7:
            return "-lh7-";
        case Method::directory:
            return "-lhd-";
        case Method::unknown:
            break;
    }
    return "?";
}

Method method_from_name(const char* five) noexcept {
    if (std::memcmp(five, "-lh", 3) != 0 || five[4] != '-') return Method::unknown;
    switch (five[3]) {
        case '0':
            return Method::stored;
        case '4':
            return Method::lh4;
        case '5':
            return Method::lh5;
        case '6':
            return Method::lh6;
        case '7':
            return Method::lh7;
        case 'd':
            return Method::directory;
        default:
            return Method::unknown;
    }
}

int dictionary_bits(Method m) noexcept {
    switch (m) {
        case Method::lh4:
            return 12;
        case Method::lh5:
            return 13;
        case Method::lh6:
            return 15;
        case Method::lh7:
            return 16;
        default:
            return 0;
    }
}

std::size_t MemorySource::read(std::uint8_t* buf, std::size_t n) {
    std::size_t k = std::min(n, n_);
    if (k) std::memcpy(buf, p_, k);
    p_ += k;
    n_ -= k;
    return k;
}

}  // namespace lzh
