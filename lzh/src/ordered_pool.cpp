#include "ordered_pool.h"

#include <algorithm>

#include "workers.h"

namespace lzh::detail {
namespace {

// A member this large is started ahead of the smaller ones before it.
constexpr std::uint64_t kLarge = std::uint64_t{1} << 20;
// A worker takes up to this many small members, or bytes of them, at a time.
constexpr std::size_t kRunJobs = 64;
constexpr std::uint64_t kRunBytes = std::uint64_t{1} << 20;

}  // namespace

OrderedPool::OrderedPool(int workers) {
    workers = worker_count(workers);
    // One worker is the consumer's own thread: each job runs when it is taken back.
    if (workers == 1) return;
    for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { run_worker(); });
}

OrderedPool::~OrderedPool() {
    {
        std::lock_guard<std::mutex> lk(mu_);
        stop_ = true;
    }
    work_cv_.notify_all();
    for (auto& t : threads_) t.join();
}

void OrderedPool::add(std::uint64_t size, std::function<void()> work) {
    auto job = std::make_unique<Job>();
    job->size = size;
    job->work = std::move(work);
    Job* j = job.get();
    jobs_.push_back(std::move(job));
    if (threads_.empty()) return;
    {
        std::lock_guard<std::mutex> lk(mu_);
        if (size >= kLarge)
            large_.push(j);
        else
            small_.push_back(j);
    }
    // Idle workers are woken for a run of jobs, or for a large one, not for every small job:
    // waking a thread costs more than a small member.
    if (size >= kLarge || ++unannounced_ >= kRunJobs) start();
}

void OrderedPool::start() {
    unannounced_ = 0;
    work_cv_.notify_all();
}

std::vector<OrderedPool::Job*> OrderedPool::take(std::unique_lock<std::mutex>& lk) {
    for (;;) {
        if (stop_) return {};
        if (!large_.empty()) {
            Job* j = large_.top();
            large_.pop();
            return {j};
        }
        if (!small_.empty()) {
            std::vector<Job*> run;
            std::uint64_t bytes = 0;
            while (!small_.empty() && run.size() < kRunJobs && bytes < kRunBytes) {
                bytes += small_.front()->size;
                run.push_back(small_.front());
                small_.pop_front();
            }
            return run;
        }
        work_cv_.wait(lk);
    }
}

void OrderedPool::run_worker() {
    std::unique_lock<std::mutex> lk(mu_);
    for (;;) {
        const std::vector<Job*> run = take(lk);
        if (run.empty()) return;
        lk.unlock();
        for (Job* j : run) {
            j->work();
            j->done.store(true);
        }
        // A consumer waiting for one of these is woken once the run is done, and then finds
        // the whole run ready (waking it for each job would cost more than the jobs).
        lk.lock();
        if (waiting_.load()) done_cv_.notify_all();
    }
}

void OrderedPool::finish_next() {
    Job& j = *jobs_.front();
    if (threads_.empty()) {
        j.work();
        j.done.store(true);
    }
    if (!j.done.load()) {
        if (unannounced_ > 0) start();
        std::unique_lock<std::mutex> lk(mu_);
        waiting_.store(true);
        done_cv_.wait(lk, [&] { return j.done.load(); });
        waiting_.store(false);
    }
    jobs_.pop_front();
    ++base_;
}

}  // namespace lzh::detail
