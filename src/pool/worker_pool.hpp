// A fixed set of worker threads serving loops from a FIFO queue. Any number
// of threads may submit loops at once; each waits for its own loop.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace veltrane::pool {

using LoopBody = std::function<void(std::size_t, std::size_t)>;

class WorkerPool {
 public:
  // Starts all workers; throws std::system_error (with no thread left
  // running) when one cannot be started.
  explicit WorkerPool(std::size_t workers);
  // Stops the idle workers and joins them.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Runs body over contiguous pieces covering 0..n on the workers and waits
  // until every piece has finished; then rethrows the exception of the
  // failed piece with the lowest begin, if any. Called from one of this
  // pool's own workers it runs body(0, n) inline rather than deadlock.
  void run(std::size_t n, const LoopBody& body);

  std::size_t size() const noexcept { return workers_.size(); }

 private:
  struct Loop;
  void work();
  void stop_and_join() noexcept;
  std::size_t piece_length(std::size_t remaining) const noexcept;

  std::mutex mutex_;
  std::condition_variable work_available_;
  std::deque<Loop*> pending_;  // loops with items not yet handed out
  bool stopping_ = false;
  std::size_t worker_count_;
  std::vector<std::thread> workers_;
};

}  // namespace veltrane::pool
