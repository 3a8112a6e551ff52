// The codec alone on a real file tree: every file coded as its own member stream, in memory,
// on one thread, as an archive would store it (a file that does not shrink counts as stored).
// For tuning the encoder without the archive around it.
//
//   tree_codec_bench TREE [-o5|-o6|-o7] [--chain N] [--parse 0|1] [--block N] [--decode]
//                    [--list FILE]
//
// Prints the files, their bytes, the coded bytes and the processor time.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lzh/lzh.hpp"

namespace {

double cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::vector<std::uint8_t> slurp(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: %s TREE [-o5|-o6|-o7] [--chain N] [--parse 0|1] [--block N] "
                     "[--decode] [--list FILE]\n",
                     argv[0]);
        return 2;
    }
    lzh::Method method = lzh::Method::lh5;
    lzh::EncodeOptions opt;
    bool check = false;
    std::FILE* list = nullptr;  // one line per file: name, bytes, coded bytes
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-o5")
            method = lzh::Method::lh5;
        else if (a == "-o6")
            method = lzh::Method::lh6;
        else if (a == "-o7")
            method = lzh::Method::lh7;
        else if (a == "--chain" && i + 1 < argc)
            opt.max_chain = std::atoi(argv[++i]);
        else if (a == "--parse" && i + 1 < argc)
            opt.parse = std::atoi(argv[++i]);
        else if (a == "--decode")
            check = true;
        else if (a == "--block" && i + 1 < argc)
            opt.block_symbols = std::atoi(argv[++i]);
        else if (a == "--list" && i + 1 < argc)
            list = std::fopen(argv[++i], "w");
    }
    std::vector<std::filesystem::path> files;
    for (auto& e : std::filesystem::recursive_directory_iterator(argv[1]))
        if (e.is_regular_file() && !e.is_symlink()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    std::uint64_t in_bytes = 0, out_bytes = 0, stored = 0;
    double encode_s = 0, decode_s = 0;
    for (auto& p : files) {
        const auto data = slurp(p);
        in_bytes += data.size();
        if (data.empty()) continue;
        lzh::MemorySource src(data.data(), data.size());
        lzh::VectorSink sink;
        lzh::EncodeOptions o = opt;
        o.size_hint = data.size();
        const double t0 = cpu_seconds();
        const auto r = lzh::encode(method, src, sink, data.size(), o);
        encode_s += cpu_seconds() - t0;
        if (list)
            std::fprintf(list, "%s %zu %llu\n", std::filesystem::relative(p, argv[1]).c_str(),
                         data.size(),
                         static_cast<unsigned long long>(r.shrunk ? r.packed_size : data.size()));
        if (!r.shrunk) {
            out_bytes += data.size();
            ++stored;
            continue;
        }
        out_bytes += r.packed_size;
        if (check) {
            lzh::MemorySource in(sink.bytes.data(), sink.bytes.size());
            lzh::VectorSink back;
            const double t1 = cpu_seconds();
            try {
                lzh::decode(method, in, sink.bytes.size(), data.size(), back);
            } catch (const lzh::Failure& f) {
                std::fprintf(stderr, "%s: %s\n", p.c_str(), f.what());
                return 1;
            }
            decode_s += cpu_seconds() - t1;
            if (back.bytes != data) {
                std::fprintf(stderr, "round trip failed: %s\n", p.c_str());
                return 1;
            }
        }
    }
    std::printf("%zu files (%llu stored), %llu bytes -> %llu (%.3f %%), encode %.2f s (%.1f MB/s)",
                files.size(), static_cast<unsigned long long>(stored),
                static_cast<unsigned long long>(in_bytes),
                static_cast<unsigned long long>(out_bytes),
                100.0 * static_cast<double>(out_bytes) / static_cast<double>(in_bytes), encode_s,
                static_cast<double>(in_bytes) / encode_s / 1e6);
    if (check) std::printf(", decode %.2f s", decode_s);
    if (list) std::fclose(list);
    std::printf("\n");
    return 0;
}
