// Workers for the reading commands (t, x, e): members are decoded on every core while one
// thread, the one that runs the command, walks the headers ahead of them and takes the results
// strictly in member order, so the report and the progress calls come out as they would from a
// single thread.
//
// Jobs are handed out so that the cores stay busy to the end: a large member is started as
// soon as it is added (a worker left alone with it at the end would leave the other cores
// idle), and small ones go to a worker in runs, so that many tiny members do not cost a
// hand-over each.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

namespace lzh::detail {

class OrderedPool {
  public:
    // `workers` threads (0: one per core). A single worker is the consumer's own thread: each
    // job then runs when finish_next() takes it.
    explicit OrderedPool(int workers);
    ~OrderedPool();
    OrderedPool(const OrderedPool&) = delete;
    OrderedPool& operator=(const OrderedPool&) = delete;

    // Adds the next job; `size` (bytes) decides how it is handed out.
    void add(std::uint64_t size, std::function<void()> work);
    // Wakes idle workers for the jobs added since they were last woken (they are woken for
    // each run of jobs anyway, and before the consumer waits).
    void start();
    // Waits until the oldest job not yet released has run, then releases it.
    void finish_next();

  private:
    struct Job {
        std::uint64_t size;
        std::function<void()> work;
        std::atomic<bool> done{false};
    };
    void run_worker();
    // Takes the next jobs for a worker (under the lock); empty when stopping.
    std::vector<Job*> take(std::unique_lock<std::mutex>& lk);

    std::mutex mu_;
    std::condition_variable work_cv_, done_cv_;
    std::deque<std::unique_ptr<Job>> jobs_;  // from job base_ on
    std::uint64_t base_ = 0;
    std::deque<Job*> small_;  // small jobs not yet taken, in order
    // Large jobs not yet taken, largest first.
    struct Larger {
        bool operator()(const Job* a, const Job* b) const { return a->size < b->size; }
    };
    std::priority_queue<Job*, std::vector<Job*>, Larger> large_;
    bool stop_ = false;
    std::atomic<bool> waiting_{false};  // the consumer waits for a job
    std::size_t unannounced_ = 0;       // small jobs added since idle workers were woken
    std::vector<std::thread> threads_;
};

}  // namespace lzh::detail
