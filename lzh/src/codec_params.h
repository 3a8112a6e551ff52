// Parameters shared by the -lh4- ... -lh7- encoder and decoder.
#pragma once

#include "lzh/lzh.hpp"

namespace lzh::detail {

constexpr int kNC = 510;   // literal/length alphabet: 256 bytes + lengths 3..256
constexpr int kNT = 19;    // alphabet of the table that codes the C code lengths
constexpr int kTBits = 5;  // width of the T table's count field
constexpr int kCBits = 9;  // width of the C table's count field
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 256;
constexpr int kMaxBlockSymbols = 65535;

struct StreamParams {
    int dicbit;  // window = 1 << dicbit
    int np;      // offset alphabet size
    int pbit;    // width of the P table's count field
};

inline bool stream_params(Method m, StreamParams& p) {
    switch (m) {
        case Method::lh4:
            p = {12, 14, 4};
            return true;  // -lh4- uses -lh5-'s offset tables
        case Method::lh5:
            p = {13, 14, 4};
            return true;
        case Method::lh6:
            p = {15, 16, 5};
            return true;
        case Method::lh7:
            p = {16, 17, 5};
            return true;
        default:
            return false;
    }
}

}  // namespace lzh::detail
