// Codec throughput on generated data (no disk, one thread): encode and decode per method.
// The corpus comparison with peer tools is bench/run.sh.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "lzh/lzh.hpp"

namespace {

// Source-code-like text with some binary runs, 8 MB.
const std::string& sample() {
    static const std::string s = [] {
        static const char* words[] = {
            "template ", "typename ", "std::", "vector<", "> ",      "return ", "const ", "int ",
            "(",         ");\n",      "{\n",   "}\n",     "boost::", "detail ", "  ",     "value"};
        std::mt19937 rng(7);
        std::string t;
        while (t.size() < (8u << 20)) {
            if (rng() % 50 == 0) {
                for (int i = 0; i < 200; ++i) t += static_cast<char>(rng());
            } else {
                t += words[rng() % 16];
            }
        }
        return t;
    }();
    return s;
}

void encode_bench(benchmark::State& st, lzh::Method m) {
    const auto& s = sample();
    for (auto _ : st) {
        lzh::MemorySource src(s.data(), s.size());
        lzh::NullSink sink;
        auto r = lzh::encode(m, src, sink);
        st.counters["ratio %"] =
            100.0 * static_cast<double>(r.packed_size) / static_cast<double>(s.size());
    }
    st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations() * s.size()));
}

void decode_bench(benchmark::State& st, lzh::Method m) {
    const auto& s = sample();
    lzh::MemorySource src(s.data(), s.size());
    lzh::VectorSink packed;
    lzh::encode(m, src, packed);
    for (auto _ : st) {
        lzh::MemorySource in(packed.bytes.data(), packed.bytes.size());
        lzh::NullSink sink;
        benchmark::DoNotOptimize(lzh::decode(m, in, packed.bytes.size(), s.size(), sink));
    }
    st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations() * s.size()));
}

}  // namespace

BENCHMARK_CAPTURE(encode_bench, lh5, lzh::Method::lh5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encode_bench, lh7, lzh::Method::lh7)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode_bench, lh5, lzh::Method::lh5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode_bench, lh7, lzh::Method::lh7)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
