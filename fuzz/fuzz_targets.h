// The fuzz targets' bodies, shared by the libFuzzer entry points (built by clang) and the
// replay test that runs the saved inputs in ordinary CI. Each returns normally for every input;
// a crash, hang, sanitizer report or failed check is a finding.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "crc16.h"
#include "header.h"
#include "lzh/lzh.hpp"

namespace lzhfuzz {

// Stops a hostile stream from making the decoder produce unbounded output.
class CappedSink : public lzh::ByteSink {
  public:
    void write(const std::uint8_t*, std::size_t n) override { total += n; }
    std::uint64_t total = 0;
};

// The bytes as an archive: walk every header, decode every member's data.
inline void header(const std::uint8_t* data, std::size_t size) {
    auto read_at = [&](std::uint64_t off, std::uint8_t* buf, std::size_t n) -> std::size_t {
        if (off >= size) return 0;
        std::size_t k = std::min<std::size_t>(n, size - static_cast<std::size_t>(off));
        std::memcpy(buf, data + off, k);
        return k;
    };
    std::uint64_t off = 0;
    for (int guard = 0; guard < 10000; ++guard) {
        lzh::Member m;
        try {
            if (lzh::detail::read_header(read_at, off, size, m) == lzh::detail::HeaderResult::end)
                return;
        } catch (const lzh::Failure&) {
            return;
        }
        // read_header promised the data lies inside the input.
        if (m.data_offset + m.packed_size > size) std::abort();
        if (m.original_size <= (1u << 20) && m.method != lzh::Method::unknown &&
            m.method != lzh::Method::directory && m.method != lzh::Method::stored) {
            lzh::MemorySource src(data + m.data_offset, static_cast<std::size_t>(m.packed_size));
            CappedSink sink;
            try {
                lzh::decode(m.method, src, m.packed_size, m.original_size, sink);
                if (sink.total != m.original_size) std::abort();
            } catch (const lzh::Failure&) {
            }
        }
        off = m.data_offset + m.packed_size;
    }
}

// First four bytes: the claimed original size (up to 4 MiB); the rest: a compressed stream.
inline void decode(lzh::Method method, const std::uint8_t* data, std::size_t size) {
    if (size < 4) return;
    std::uint32_t original =
        (static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
         static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24) &
        0x3FFFFF;
    lzh::MemorySource src(data + 4, size - 4);
    CappedSink sink;
    try {
        lzh::decode(method, src, size - 4, original, sink);
        if (sink.total != original) std::abort();  // success means exactly the promised bytes
    } catch (const lzh::Failure&) {
    }
}

// First byte picks the method; the rest is data that must come back unchanged.
inline void roundtrip(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return;
    static const lzh::Method methods[] = {lzh::Method::lh4, lzh::Method::lh5, lzh::Method::lh6,
                                          lzh::Method::lh7};
    const lzh::Method m = methods[data[0] & 3];
    lzh::EncodeOptions opt;
    opt.block_symbols =
        (data[0] >> 2) ? (data[0] >> 2) * 64 : 0;  // small blocks reach more block boundaries
    lzh::MemorySource src(data + 1, size - 1);
    lzh::VectorSink packed;
    lzh::EncodeResult r = lzh::encode(m, src, packed, UINT64_MAX, opt);
    if (r.original_size != size - 1 || r.packed_size != packed.bytes.size()) std::abort();
    if (size == 1) return;
    lzh::MemorySource in(packed.bytes.data(), packed.bytes.size());
    lzh::VectorSink back;
    std::uint16_t crc = lzh::decode(m, in, packed.bytes.size(), size - 1, back);
    if (crc != r.crc || back.bytes.size() != size - 1 ||
        std::memcmp(back.bytes.data(), data + 1, size - 1) != 0)
        std::abort();
}

}  // namespace lzhfuzz
