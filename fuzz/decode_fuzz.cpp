// Built once per method; FUZZ_METHOD names it (lh1 ... lh7, lz5, lzs, pm1, pm2).
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    lzhfuzz::decode(lzh::Method::FUZZ_METHOD, data, size);
    return 0;
}
