#include "pool/worker_pool.hpp"

#include <algorithm>
#include <exception>
#include <limits>

namespace veltrane::pool {
namespace {

thread_local const WorkerPool* current_pool = nullptr;  // the pool a worker serves

}  // namespace

struct WorkerPool::Loop {
  Loop(const LoopBody& loop_body, std::size_t items) : body(&loop_body), n(items), unfinished(items) {}

  const LoopBody* body;
  std::size_t n;
  std::size_t next = 0;         // first item not yet handed out
  std::size_t unfinished;       // items handed out or pending, not yet done
  std::size_t failure_begin = std::numeric_limits<std::size_t>::max();
  std::exception_ptr failure;   // of the failed piece with the lowest begin
  std::condition_variable done;
};

WorkerPool::WorkerPool(std::size_t workers) : worker_count_(std::max<std::size_t>(workers, 1)) {
  workers_.reserve(worker_count_);
  try {
    for (std::size_t i = 0; i < worker_count_; ++i) workers_.emplace_back([this] { work(); });
  } catch (...) {
    stop_and_join();
    throw;
  }
}

WorkerPool::~WorkerPool() { stop_and_join(); }

void WorkerPool::stop_and_join() noexcept {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_available_.notify_all();
  for (auto& worker : workers_) worker.join();
  workers_.clear();
}

// Guided splitting: each piece takes a share of what is left, so pieces are
// large while every worker has plenty to do and shrink towards single items
// at the end, where an uneven split would leave workers idle.
std::size_t WorkerPool::piece_length(std::size_t remaining) const noexcept {
  const std::size_t share = 2 * worker_count_;
  return std::max<std::size_t>(1, (remaining + share - 1) / share);
}

void WorkerPool::run(std::size_t n, const LoopBody& body) {
  if (n == 0) return;
  if (current_pool == this) {
    body(0, n);
    return;
  }
  Loop loop(body, n);
  std::unique_lock lock(mutex_);
  pending_.push_back(&loop);
  work_available_.notify_all();
  loop.done.wait(lock, [&] { return loop.unfinished == 0; });
  std::exception_ptr failure = std::move(loop.failure);
  lock.unlock();
  if (failure) std::rethrow_exception(failure);
}

void WorkerPool::work() {
  current_pool = this;
  std::unique_lock lock(mutex_);
  for (;;) {
    work_available_.wait(lock, [&] { return stopping_ || !pending_.empty(); });
    if (stopping_) return;
    Loop& loop = *pending_.front();
    const std::size_t begin = loop.next;
    const std::size_t end = begin + piece_length(loop.n - begin);
    loop.next = end;
    if (end == loop.n) pending_.pop_front();
    lock.unlock();

    std::exception_ptr failure;
    try {
      (*loop.body)(begin, end);
    } catch (...) {
      failure = std::current_exception();
    }

    lock.lock();
    // A failed piece stopped at its first failing item, and every item of a
    // piece with a lower begin comes before it; so the lowest begin holds
    // the failure a sequential loop would have met first.
    if (failure && begin < loop.failure_begin) {
      loop.failure_begin = begin;
      loop.failure = std::move(failure);
    }
    loop.unfinished -= end - begin;
    if (loop.unfinished == 0) loop.done.notify_one();
    // A dropped failure is destroyed here, still under the lock, but it is
    // only an exception object; nothing of the loop is touched after this.
    failure = nullptr;
  }
}

}  // namespace veltrane::pool
