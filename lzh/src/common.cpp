// Small shared pieces of the public API: status texts, method names, memory sources.
#include <algorithm>
#include <cstring>
#include <iterator>

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
        case Status::cancelled:
            return "cancelled";
    }
    return "unknown error";
}

namespace {

// The five bytes each method is stored as, in the order of the Method enumeration.
constexpr const char* kMethodNames[] = {"-lh0-", "-lh4-", "-lh5-", "-lh6-", "-lh7-",
                                        "-lhd-", "-lh1-", "-lh2-", "-lh3-", "-lz4-",
                                        "-lz5-", "-lzs-", "-pm0-", "-pm2-", "-pm1-"};
static_assert(std::size(kMethodNames) == static_cast<std::size_t>(Method::unknown));

}  // namespace

const char* method_name(Method m) noexcept {
    const auto i = static_cast<std::size_t>(m);
    return i < std::size(kMethodNames) ? kMethodNames[i] : "?";
}

Method method_from_name(const char* five) noexcept {
    for (std::size_t i = 0; i < std::size(kMethodNames); ++i)
        if (std::memcmp(five, kMethodNames[i], 5) == 0) return static_cast<Method>(i);
    return Method::unknown;
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
