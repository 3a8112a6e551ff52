// -pm1- and -pm2-: PMarc's methods.
#include "legacy_decoders.h"

namespace lzh::detail {

std::uint16_t decode_pm1(ByteSource&, std::uint64_t, std::uint64_t, ByteSink&) {
    throw Failure(Status::unsupported, "method -pm1- is not supported yet");
}

std::uint16_t decode_pm2(ByteSource&, std::uint64_t, std::uint64_t, ByteSink&) {
    throw Failure(Status::unsupported, "method -pm2- is not supported yet");
}

}  // namespace lzh::detail
