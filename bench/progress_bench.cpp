// What the progress callback costs a backup: the backup run's own command line for one tree
// (u "<archive>" "<tree>"\*.* -x1 -r) into a fresh archive, through the C functions, with no
// callback and with one that does what a progress window's feed does (keeps the member's name,
// the counts and the time). The two alternate, which one goes first changing each round, so
// that a busy moment of the shared machine does not fall on one side only.
//
// Usage: progress_bench TREE [--runs N] [--work DIR]
#include <unlha32.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// What a progress window is fed: the member, the counts, when it was last heard of.
struct Feed {
    char member[1024] = {};
    std::uint64_t files = 0, bytes = 0;
    Clock::time_point last;
    std::uint64_t calls = 0;
};

int WINAPI feed(const UNLHA_PROGRESS* p, void* context) {
    auto* f = static_cast<Feed*>(context);
    std::snprintf(f->member, sizeof f->member, "%s", p->szMember);
    f->files = p->ullFilesDone;
    f->bytes = p->ullBytesDone;
    f->last = Clock::now();
    ++f->calls;
    return UNLHA_PROGRESS_CONTINUE;
}

// Processor seconds of the whole process (every worker thread) so far: steadier than the wall
// clock on a machine that others share.
double cpu_seconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The mean of the rounds' differences (on - off) as a share of the mean time off, with its
// standard error: each round's pair ran back to back, so the pairs share the machine's mood.
void paired(const char* what, const std::vector<double>& off, const std::vector<double>& on) {
    const double n = static_cast<double>(off.size());
    double mean_off = 0, mean_diff = 0;
    for (std::size_t i = 0; i < off.size(); ++i) {
        mean_off += off[i] / n;
        mean_diff += (on[i] - off[i]) / n;
    }
    double var = 0;
    for (std::size_t i = 0; i < off.size(); ++i)
        var += (on[i] - off[i] - mean_diff) * (on[i] - off[i] - mean_diff);
    const double se = off.size() > 1 ? std::sqrt(var / (n - 1) / n) : 0;
    std::printf("%-16s off %.2f s, on %+.3f s: %+.2f %% +- %.2f %% (one standard error)\n", what,
                mean_off, mean_diff, 100 * mean_diff / mean_off, 100 * se / mean_off);
}

std::uint64_t tree_bytes(const fs::path& tree) {
    std::uint64_t total = 0;
    for (auto& e : fs::recursive_directory_iterator(tree))
        if (e.is_regular_file() && !e.is_symlink()) total += e.file_size();
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    std::string tree, work = "/tmp/marlo-progress-bench";
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--runs") && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--work") && i + 1 < argc)
            work = argv[++i];
        else
            tree = argv[i];
    }
    if (tree.empty() || !fs::is_directory(tree)) {
        std::fprintf(stderr, "usage: progress_bench TREE [--runs N] [--work DIR]\n");
        return 2;
    }
    fs::create_directories(work);
    const std::string archive = (fs::path(work) / "progress.lzh").string();
    const std::string line =
        "u \"" + archive + "\" \"" + fs::absolute(tree).string() + "\"\\*.* -x1 -r -l0";
    const double mb = static_cast<double>(tree_bytes(tree)) / 1e6;
    std::uint64_t files = 0, bytes = 0;
    UnlhaCountFiles(line.c_str(), &files, &bytes);
    std::printf("tree: %s (%llu members, %.1f MB)\n", tree.c_str(),
                static_cast<unsigned long long>(files), mb);

    std::vector<char> out(999999);
    std::vector<double> off, on, cpu_off, cpu_on;
    std::uint64_t calls = 0;
    for (int round = 0; round < runs; ++round) {
        for (int side = 0; side < 2; ++side) {
            const bool with_callback = (side + round) % 2 == 1;
            fs::remove(archive);
            Feed f;
            const auto start = Clock::now();
            const double cpu_start = cpu_seconds();
            const int rc =
                UnlhaWithProgress(nullptr, line.c_str(), out.data(), static_cast<DWORD>(out.size()),
                                  with_callback ? &feed : nullptr, &f);
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            const double cpu = cpu_seconds() - cpu_start;
            if (rc != UNLHA_OK) {
                std::fprintf(stderr, "the backup failed (%d):\n%s\n", rc, out.data());
                return 1;
            }
            (with_callback ? on : off).push_back(seconds);
            (with_callback ? cpu_on : cpu_off).push_back(cpu);
            if (with_callback) calls = f.calls;
            std::printf("round %d %-13s %7.2f s %7.1f MB/s  processor %7.2f s\n", round + 1,
                        with_callback ? "callback on" : "callback off", seconds, mb / seconds, cpu);
        }
    }
    fs::remove(archive);
    const double t_off = median(off), t_on = median(on);
    std::printf("\nmedian of %d: off %.2f s (%.1f MB/s), on %.2f s (%.1f MB/s), %llu calls\n", runs,
                t_off, mb / t_off, t_on, mb / t_on, static_cast<unsigned long long>(calls));
    std::printf("cost of the callback, mean of the rounds (target under 2 %%):\n");
    paired("wall time", off, on);
    paired("processor time", cpu_off, cpu_on);
    return 0;
}
