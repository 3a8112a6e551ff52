// Writes an archive holding one file in one of the older methods, coded by the test encoders
// (or stored, for -lz4- and -pm0-),
// so that bench/legacy.sh can time decoders on it:
//     lzh_legacy_archive -lh1- INPUT OUTPUT.lzh
#include <cstdio>
#include <fstream>
#include <string>

#include "crc16.h"
#include "header.h"
#include "legacy_encoders.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s METHOD INPUT OUTPUT.lzh\n", argv[0]);
        return 2;
    }
    const lzh::Method method = lzh::method_from_name(argv[1]);
    std::string data;
    if (std::FILE* f = std::fopen(argv[2], "rb")) {
        char buf[1 << 16];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) data.append(buf, n);
        std::fclose(f);
    }
    const bool stored = method == lzh::Method::lz4 || method == lzh::Method::pm0;
    const std::string packed = stored ? data : lzhtest::encode_legacy(method, data);
    lzh::Member m;
    m.path = "data";
    m.method = method;
    m.packed_size = packed.size();
    m.original_size = data.size();
    m.crc = lzh::detail::crc16(0, data.data(), data.size());
    const auto header = lzh::detail::build_level2_header(m);
    std::ofstream out(argv[3], std::ios::binary);
    out.write(reinterpret_cast<const char*>(header.data()),
              static_cast<std::streamsize>(header.size()));
    out << packed << '\0';
    std::printf("%s: %zu bytes -> %zu\n", argv[1], data.size(), packed.size());
    return out ? 0 : 1;
}
