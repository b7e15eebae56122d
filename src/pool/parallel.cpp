// The process-wide pool: created by the first parallel loop, never resized.
//
// fork() leaves the child with the pool's memory but none of its threads, and
// possibly with its mutex held by a thread that no longer exists. The child
// therefore forgets the inherited pool without destroying it (destroying it
// would join dead threads) and builds a fresh one on its first loop.
#include "pool/parallel.hpp"

#include <pthread.h>

#include <memory>
#include <mutex>
#include <string>

#include "common/fatal_error.hpp"
#include "pool/thread_count.hpp"
#include "pool/worker_pool.hpp"

namespace veltrane::pool {
namespace {

std::mutex pool_mutex;  // guards `pool`; held across fork() so the child's copy is consistent
std::unique_ptr<WorkerPool> pool;

void before_fork() noexcept { pool_mutex.lock(); }
void after_fork_in_parent() noexcept { pool_mutex.unlock(); }
void after_fork_in_child() noexcept {
  // Intentionally leaked: its threads are gone and its state may be torn.
  [[maybe_unused]] WorkerPool* inherited = pool.release();
  pool_mutex.unlock();
}

WorkerPool& global_pool() {
  [[maybe_unused]] static const int registered =
      ::pthread_atfork(&before_fork, &after_fork_in_parent, &after_fork_in_child);
  std::lock_guard lock(pool_mutex);
  if (!pool) {
    try {
      pool = std::make_unique<WorkerPool>(pool_size_from_environment());
    } catch (const std::exception& e) {
      fatal(std::string("The global thread pool has not been initialized.: ") + e.what());
    }
  }
  return *pool;
}

}  // namespace

void parallel_for(std::size_t n, const std::function<void(std::size_t, std::size_t)>& body) {
  global_pool().run(n, body);
}

std::size_t pool_size() { return global_pool().size(); }

}  // namespace veltrane::pool
