// How many worker threads a command runs with.
#pragma once

#include <algorithm>
#include <thread>

namespace lzh::detail {

// `requested` workers; 0 (or less) asks for one per core.
inline int worker_count(int requested) {
    if (requested > 0) return requested;
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace lzh::detail
