// Bit streams for the -lh4- ... -lh7- codec: fields are packed most-significant bit first.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "lzh/lzh.hpp"

namespace lzh::detail {

// Collects bits in a 64-bit accumulator and hands whole bytes to a sink in large pieces.
class BitWriter {
  public:
    explicit BitWriter(ByteSink& sink) : sink_(sink) { buf_.reserve(kChunk + 16); }

    // Appends the low `n` bits of v (n <= 32).
    void put(std::uint32_t v, int n) {
        acc_ = (acc_ << n) | (v & ((std::uint64_t{1} << n) - 1));
        bits_ += n;
        if (bits_ >= 32) {
            bits_ -= 32;
            auto w = static_cast<std::uint32_t>(acc_ >> bits_);
            std::uint8_t b[4] = {static_cast<std::uint8_t>(w >> 24),
                                 static_cast<std::uint8_t>(w >> 16),
                                 static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w)};
            buf_.insert(buf_.end(), b, b + 4);
            if (buf_.size() >= kChunk) drain();
        }
    }

    // Pads with zero bits to a byte boundary and passes everything on.
    void finish() {
        while (bits_ >= 8) {
            bits_ -= 8;
            buf_.push_back(static_cast<std::uint8_t>(acc_ >> bits_));
        }
        if (bits_ > 0) {
            buf_.push_back(static_cast<std::uint8_t>(acc_ << (8 - bits_)));
            bits_ = 0;
        }
        drain();
    }

    // Passes on every whole byte and hands back the last 0-7 bits (for joining streams that
    // were coded separately).
    void finish_partial(std::uint32_t& tail, int& tail_bits) {
        while (bits_ >= 8) {
            bits_ -= 8;
            buf_.push_back(static_cast<std::uint8_t>(acc_ >> bits_));
        }
        tail = static_cast<std::uint32_t>(acc_ & ((1u << bits_) - 1));
        tail_bits = bits_;
        bits_ = 0;
        drain();
    }

    // Appends a stream produced by finish_partial: whole bytes, then the tail bits.
    void append(const std::uint8_t* bytes, std::size_t n, std::uint32_t tail, int tail_bits) {
        if (bits_ == 0) {
            buf_.insert(buf_.end(), bytes, bytes + n);
            if (buf_.size() >= kChunk) drain();
        } else {
            for (std::size_t i = 0; i < n; ++i) put(bytes[i], 8);
        }
        put(tail, tail_bits);
    }

    // Bytes produced so far, counting bits still in the accumulator as whole bytes.
    std::uint64_t size() const {
        return written_ + buf_.size() + static_cast<unsigned>(bits_ + 7) / 8;
    }

  private:
    static constexpr std::size_t kChunk = 1 << 16;
    void drain() {
        if (!buf_.empty()) sink_.write(buf_.data(), buf_.size());
        written_ += buf_.size();
        buf_.clear();
    }

    ByteSink& sink_;
    std::vector<std::uint8_t> buf_;
    std::uint64_t acc_ = 0;
    int bits_ = 0;
    std::uint64_t written_ = 0;
};

// Reads bits from a source that holds exactly `limit` bytes. Past the end it supplies zero bits
// and counts them, so a decoder can finish its step and then report the overrun; it never asks
// the source for more than `limit` bytes.
class BitReader {
  public:
    BitReader(ByteSource& src, std::uint64_t limit)
        : src_(src),
          left_(limit),
          cap_(static_cast<std::size_t>(std::min<std::uint64_t>(limit, kChunk))) {
        buf_.reset(new std::uint8_t[cap_ > 0 ? cap_ : 1]);
    }

    // Makes at least 33 bits available (57 while the stream lasts).
    void refill() {
        if (end_ - p_ >= 8) {
            // Eight bytes at once. The bits taken in beyond the count are the stream's next
            // bits, so taking them in again later changes nothing.
            std::uint64_t v;
            std::memcpy(&v, p_, 8);
            acc_ |= __builtin_bswap64(v) >> count_;
            p_ += (63 - count_) >> 3;
            count_ |= 56;
            return;
        }
        while (count_ <= 56) {
            if (p_ == end_ && !load()) {
                // Zero bits past the end. More than the look-ahead means the decoder really
                // consumed them: the stream is shorter than its contents claim.
                count_ += 8;
                overrun_ += 8;
                if (overrun_ > 128)
                    throw Failure(Status::damaged, "the compressed data ends too early");
                continue;
            }
            acc_ |= static_cast<std::uint64_t>(*p_++) << (56 - count_);
            count_ += 8;
        }
    }
    std::uint32_t peek(int n) const { return static_cast<std::uint32_t>(acc_ >> (64 - n)); }
    void skip(int n) {
        acc_ <<= n;
        count_ -= n;
    }
    std::uint32_t get(int n) {
        if (n == 0) return 0;
        if (count_ < n) refill();
        std::uint32_t v = peek(n);
        skip(n);
        return v;
    }
    int available() const { return count_; }

    // True when the decoder used bits that lie beyond the stream's last byte.
    bool overran() const { return overrun_ > count_; }
    // After decoding: the bits left in the current byte must be zero padding and no whole
    // byte may remain unread.
    bool ends_cleanly() {
        if (overran()) return false;
        int pad = (count_ - overrun_) % 8;
        if (pad > 0 && peek(pad) != 0) return false;
        return count_ - overrun_ - pad == 0 && p_ == end_ && left_ == 0;
    }

  private:
    static constexpr std::size_t kChunk = 1 << 16;
    bool load() {
        if (left_ == 0) return false;
        std::size_t want = left_ < cap_ ? static_cast<std::size_t>(left_) : cap_;
        std::size_t got = src_.read(buf_.get(), want);
        if (got == 0) {
            left_ = 0;  // a source shorter than promised: the rest reads as overrun
            return false;
        }
        left_ -= got;
        p_ = buf_.get();
        end_ = p_ + got;
        return true;
    }

    ByteSource& src_;
    std::uint64_t left_;
    std::size_t cap_;
    std::unique_ptr<std::uint8_t[]> buf_;
    const std::uint8_t* p_ = nullptr;
    const std::uint8_t* end_ = nullptr;
    std::uint64_t acc_ = 0;
    int count_ = 0;
    int overrun_ = 0;
};

}  // namespace lzh::detail
