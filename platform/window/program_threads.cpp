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
  ProgramThread* self = thread.get();
  auto args = std::make_unique<StartArgs>();
  args->thread = thread;
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
  // Registered, created and marked joinable under one lock, so that joinAll on another thread
  // either sees the thread joinable or does not see it at all. The new thread needs the lock
  // only when its body ends (or when it asks about threads), and then simply waits for it.
  std::lock_guard lock(mutex_);
  if (closed_) {
    pthread_attr_destroy(&attr);
    return 0;
  }
  thread->id = next_++;
  threads_[thread->id] = thread;
  ++running_;
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
  // The handles are taken under the lock (a program thread may be starting another one), and
  // joined outside it: a thread that ends takes the lock to count itself out.
  std::vector<pthread_t> handles;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [id, thread] : threads_) {
      if (thread->joinable) {
        handles.push_back(thread->handle);
        thread->joinable = false;
      }
    }
  }
  wakeAll();
  for (const pthread_t handle : handles) pthread_join(handle, nullptr);
}

}  // namespace marlo::win
