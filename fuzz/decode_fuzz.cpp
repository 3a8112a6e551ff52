// Built once per method; FUZZ_METHOD names it (lh4, lh5, lh6, lh7).
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    lzhfuzz::decode(lzh::Method::FUZZ_METHOD, data, size);
    return 0;
}
