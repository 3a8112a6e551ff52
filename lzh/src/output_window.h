// Where decoders put their output: a buffer holding the window that matches copy from, then a
// working area. When the area fills, the new bytes are passed on (and added to the CRC) and the
// last window's worth moves to the front.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "crc16.h"
#include "lzh/lzh.hpp"

namespace lzh::detail {

class OutputWindow {
  public:
    // Room for one match past the point where full() turns true.
    static constexpr std::size_t kMaxCopy = 512;
    // Matches are copied in pieces of this many bytes where they do not overlap them.
    static constexpr std::size_t kChunk = 16;

    // A member smaller than the window needs only its own size: many small members are common,
    // and their set-up cost adds up. The buffer is not cleared: matches only reach bytes
    // already decoded.
    OutputWindow(std::size_t window, std::uint64_t original_size, ByteSink& sink) : sink_(sink) {
        window_ = static_cast<std::size_t>(std::min<std::uint64_t>(window, original_size));
        allocate(original_size);
    }

    // A window that starts out holding `preset` (exactly `window` bytes), as if they had been
    // decoded before the member began; they are never passed on. Older methods start so, and
    // their encoders may match against those bytes.
    OutputWindow(std::size_t window, const std::uint8_t* preset, std::uint64_t original_size,
                 ByteSink& sink)
        : sink_(sink), window_(window) {
        allocate(original_size);
        std::memcpy(buf_.get(), preset, window_);
        pos_ = flushed_ = window_;
    }

    OutputWindow(const OutputWindow&) = delete;
    OutputWindow& operator=(const OutputWindow&) = delete;

    // True when the working area is used up; call flush() before the next symbol.
    bool full() const { return pos_ >= window_ + work_; }
    // Bytes that may be copied from: the window before the write position.
    std::size_t history() const { return pos_; }

    void put(std::uint8_t c) { buf_[pos_++] = c; }
    // Copies `len` (at most kMaxCopy) bytes from `dist` bytes back, byte by byte where the
    // ranges overlap. The caller has checked dist <= history(); the check here only keeps a
    // broken caller inside the buffer.
    void copy(std::size_t dist, std::size_t len) {
        if (dist > pos_ || len > kMaxCopy)
            throw Failure(Status::damaged, "a copy outside the window");
        std::uint8_t* dst = buf_.get() + pos_;
        const std::uint8_t* src = dst - dist;
        if (dist >= kChunk) {
            // In whole chunks, up to kChunk - 1 bytes too far (the buffer has room): every
            // chunk reads only bytes written before it.
            for (std::size_t j = 0; j < len; j += kChunk) std::memcpy(dst + j, src + j, kChunk);
        } else if (dist == 1) {
            std::memset(dst, *src, len);
        } else {
            for (std::size_t j = 0; j < len; ++j) dst[j] = src[j];
        }
        pos_ += len;
    }
    std::uint8_t* data() { return buf_.get(); }
    std::size_t& pos() { return pos_; }

    void flush() {
        emit();
        if (pos_ > window_) {
            std::size_t keep_from = pos_ - window_;
            std::memmove(buf_.get(), buf_.get() + keep_from, window_);
            pos_ = flushed_ = window_;
        }
    }
    // Passes on everything decoded so far.
    void emit() {
        if (pos_ > flushed_) {
            crc_ = crc16(crc_, buf_.get() + flushed_, pos_ - flushed_);
            sink_.write(buf_.get() + flushed_, pos_ - flushed_);
            flushed_ = pos_;
        }
    }
    std::uint16_t crc() const { return crc_; }

  private:
    static constexpr std::size_t kWork = 1 << 18;
    void allocate(std::uint64_t original_size) {
        work_ = static_cast<std::size_t>(std::min<std::uint64_t>(kWork, original_size));
        buf_.reset(new std::uint8_t[window_ + work_ + kMaxCopy + kChunk]);
    }

    ByteSink& sink_;
    std::size_t window_ = 0, work_ = 0;
    std::unique_ptr<std::uint8_t[]> buf_;
    std::size_t pos_ = 0, flushed_ = 0;
    std::uint16_t crc_ = 0;
};

}  // namespace lzh::detail
