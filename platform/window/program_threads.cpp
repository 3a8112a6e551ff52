#include "platform/window/program_threads.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace marlo::win {

namespace {

thread_local ProgramThread* tlsThread = nullptr;

// A thread's stack: glibc's default for a new thread is what the program's own code is tested
// with, so a smaller hint never lowers it.
constexpr std::size_t kMinimumStack = 8u * 1024u * 1024u;

std::size_t stackSize(std::size_t hint) {
  const long page = ::sysconf(_SC_PAGESIZE);
  std::size_t stack = std::max(hint, kMinimumStack);
  if (page > 0) {
    const auto p = static_cast<std::size_t>(page);
    stack = (stack + p - 1) / p * p;
  }
  return stack;
}

struct StartArgs {
  std::shared_ptr<ProgramThread> thread;  // kept alive while the thread runs
  std::function<void()> run;
};

void* threadEntry(void* raw) {
  std::unique_ptr<StartArgs> args(static_cast<StartArgs*>(raw));
  args->run();
  return nullptr;
}

}  // namespace

ThreadId ProgramThreads::start(std::function<void()> body, std::size_t stackHint,
                               std::function<void(bool last)> ended) {
  auto thread = std::make_shared<ProgramThread>(activity_);
  {
    std::lock_guard lock(mutex_);
    if (closed_) return 0;
    thread->id = next_++;
    threads_[thread->id] = thread;
    ++running_;
  }
  auto args = std::make_unique<StartArgs>();
  args->thread = thread;
  ProgramThread* self = thread.get();
  args->run = [this, self, body = std::move(body), ended = std::move(ended)] {
    tlsThread = self;
    body();
    self->queue.markEnded();
    bool last = false;
    {
      std::lock_guard lock(mutex_);
      last = --running_ == 0;
      endedCv_.notify_all();
    }
    ended(last);
  };

  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, stackSize(stackHint));
  StartArgs* raw = args.release();
  const int rc = pthread_create(&self->handle, &attr, &threadEntry, raw);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete raw;
    std::fputs("marlo: cannot start a program thread\n", stderr);
    std::abort();
  }
  self->joinable = true;
  return self->id;
}

ProgramThread* ProgramThreads::current() {
  return tlsThread;
}

std::shared_ptr<ProgramThread> ProgramThreads::find(ThreadId thread) const {
  std::lock_guard lock(mutex_);
  const auto it = threads_.find(thread);
  return it == threads_.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<ProgramThread>> ProgramThreads::all() const {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<ProgramThread>> out;
  out.reserve(threads_.size());
  for (const auto& [id, thread] : threads_) out.push_back(thread);
  return out;
}

std::vector<ThreadId> ProgramThreads::running() const {
  std::vector<ThreadId> out;
  for (const auto& thread : all()) {
    if (thread->queue.status() != ThreadStatus::Ended) out.push_back(thread->id);
  }
  return out;
}

ThreadStatus ProgramThreads::status(ThreadId thread) const {
  const auto t = find(thread);
  return t ? t->queue.status() : ThreadStatus::Ended;
}

ThreadStatus ProgramThreads::waitIdle(ThreadId thread) const {
  const auto t = find(thread);
  return t ? t->queue.waitSettled(kGuard) : ThreadStatus::Ended;
}

bool ProgramThreads::waitAllIdle() const {
  for (int round = 0; round < 10000; ++round) {
    const std::uint64_t before = activity_.load();
    for (const ThreadId t : running()) {
      if (waitIdle(t) == ThreadStatus::Busy) return false;
    }
    bool quiet = true;
    for (const ThreadId t : running()) {
      if (status(t) == ThreadStatus::Busy) quiet = false;
    }
    if (quiet && activity_.load() == before) return true;
  }
  return false;
}

bool ProgramThreads::waitAllEnded() {
  std::unique_lock lock(mutex_);
  return endedCv_.wait_for(lock, kGuard, [&] { return running_ == 0; });
}

void ProgramThreads::wakeAll() const {
  for (const auto& thread : all()) thread->queue.wake();
}

bool ProgramThreads::close() {
  std::lock_guard lock(mutex_);
  if (closed_) return false;
  closed_ = true;
  return true;
}

void ProgramThreads::joinAll() {
  for (const auto& thread : all()) {
    thread->queue.wake();
    if (thread->joinable) {
      pthread_join(thread->handle, nullptr);
      thread->joinable = false;
    }
  }
}

}  // namespace marlo::win
