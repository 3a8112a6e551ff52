// Coding one large member on several threads: the member is cut into pieces, each coded as its
// own run of blocks with the preceding window as history, and the pieces' bit streams are
// joined in order. The result is one ordinary stream (blocks carry their own tables).
#pragma once

#include <cstdint>
#include <vector>

#include "bitio.h"
#include "lzh/lzh.hpp"

namespace lzh::detail {

struct CodedPiece {
    std::vector<std::uint8_t> bytes;  // whole bytes
    std::uint32_t tail = 0;           // and the last 0-7 bits
    int tail_bits = 0;
};

// Codes `data` (len > 0), allowing matches into `history` (which ends where data begins).
CodedPiece encode_piece(Method m, const std::uint8_t* history, std::size_t history_len,
                        const std::uint8_t* data, std::size_t len, const EncodeOptions& opt = {});

void append_piece(BitWriter& bw, const CodedPiece& piece);

}  // namespace lzh::detail
