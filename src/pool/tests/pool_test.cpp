#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/fatal_error.hpp"
#include "pool/parallel.hpp"
#include "pool/worker_pool.hpp"

namespace veltrane::pool {
namespace {

using namespace std::chrono_literals;

// Runs one item per worker, each waiting until all have arrived: succeeds only
// if `workers` distinct threads serve the loop at the same time.
bool all_workers_meet(WorkerPool& pool) {
  const std::size_t k = pool.size();
  std::mutex m;
  std::condition_variable cv;
  std::size_t arrived = 0;
  std::atomic<bool> met{true};
  pool.run(k, [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
      std::unique_lock lock(m);
      ++arrived;
      cv.notify_all();
      if (!cv.wait_for(lock, 5s, [&] { return arrived >= k; })) met = false;
    }
  });
  return met;
}

// Waits for a child process, killing it if it takes longer than `limit`.
int wait_for_child(pid_t child, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(10ms);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(WorkerPool, PiecesAreContiguousAndCoverTheRangeOnce) {
  for (const std::size_t workers : {1, 3, 8}) {
    WorkerPool pool(workers);
    EXPECT_EQ(pool.size(), workers);
    for (const std::size_t n : {1, 2, 7, 100, 10007}) {
      std::mutex m;
      std::vector<std::pair<std::size_t, std::size_t>> pieces;
      pool.run(n, [&](std::size_t begin, std::size_t end) {
        std::lock_guard lock(m);
        pieces.emplace_back(begin, end);
      });
      std::sort(pieces.begin(), pieces.end());
      std::size_t next = 0;
      for (const auto& [begin, end] : pieces) {
        ASSERT_EQ(begin, next);
        ASSERT_LT(begin, end);
        next = end;
      }
      EXPECT_EQ(next, n);
      if (n >= 100 && workers > 1) {
        EXPECT_GT(pieces.size(), workers);
      }
    }
  }
}

TEST(ParallelLoops, ResultsAreInIndexOrder) {
  const auto squares =
      parallel_map<std::uint64_t>(5000, [](std::size_t i) { return std::uint64_t{i} * i; });
  ASSERT_EQ(squares.size(), 5000u);
  for (std::size_t i = 0; i < squares.size(); ++i) ASSERT_EQ(squares[i], i * i);
}

TEST(ParallelLoops, EmptyLoopRunsNothingButCreatesThePool) {
  bool called = false;
  parallel_for(0, [&](std::size_t, std::size_t) { called = true; });
  EXPECT_FALSE(called);
  EXPECT_TRUE(parallel_map<int>(0, [](std::size_t) { return 1; }).empty());
  EXPECT_GE(pool_size(), 1u);
}

// Items 3 and 7 fail; the reported failure is always item 3's, even when
// item 7 fails first in time, and only after every piece has stopped.
TEST(ParallelLoops, LowestFailingIndexIsReported) {
  for (const std::size_t workers : {1, 2, 4, 8}) {
    WorkerPool pool(workers);
    for (const std::size_t n : {8, 9, 64, 1000}) {
      for (int round = 0; round < 10; ++round) {
        std::atomic<int> running{0};
        const bool bad_alloc_first = round % 2 == 1;
        try {
          pool.run(n, [&](std::size_t begin, std::size_t end) {
            ++running;
            for (std::size_t i = begin; i < end; ++i) {
              if (i == 3) {
                std::this_thread::sleep_for(1ms);
                --running;
                if (bad_alloc_first) throw std::bad_alloc();
                fatal("item 3");
              }
              if (i == 7) {
                --running;
                fatal("item 7");
              }
            }
            --running;
          });
          FAIL() << "the loop must fail";
        } catch (const FatalError& e) {
          EXPECT_FALSE(bad_alloc_first);
          EXPECT_EQ(e.message(), "item 3") << workers << " workers, n " << n;
        } catch (const std::bad_alloc&) {
          EXPECT_TRUE(bad_alloc_first);
        }
        EXPECT_EQ(running.load(), 0);
      }
    }
  }
  // The same through the global pool and parallel_map.
  try {
    parallel_map<int>(100, [](std::size_t i) -> int {
      if (i == 3 || i == 7) throw std::out_of_range(std::to_string(i));
      return 0;
    });
    ADD_FAILURE() << "the loop must fail";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "3");
  }
}

TEST(ParallelLoops, PoolSurvivesFailingItems) {
  WorkerPool pool(4);
  for (int round = 0; round < 50; ++round) {
    EXPECT_THROW(pool.run(64, [](std::size_t, std::size_t) { throw std::runtime_error("x"); }),
                 std::runtime_error);
  }
  EXPECT_TRUE(all_workers_meet(pool));
}

TEST(ParallelLoops, ConcurrentCallersEachGetTheirOwnResults) {
  std::vector<std::thread> callers;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    callers.emplace_back([t, &wrong] {
      for (int round = 0; round < 25; ++round) {
        const std::size_t n = 100 + 37 * t + round;
        const auto out = parallel_map<std::size_t>(n, [&](std::size_t i) { return i * 10 + t; });
        for (std::size_t i = 0; i < n; ++i) wrong += out[i] != i * 10 + t;
      }
    });
  }
  for (auto& c : callers) c.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(ParallelLoops, LoopInsideAnItemRunsInline) {
  const auto sums = parallel_map<std::size_t>(8, [](std::size_t i) {
    const auto inner = parallel_map<std::size_t>(i, [](std::size_t j) { return j; });
    std::size_t sum = 0;
    for (const auto v : inner) sum += v;
    return sum;
  });
  for (std::size_t i = 0; i < sums.size(); ++i) EXPECT_EQ(sums[i], i * (i - 1) / 2);
}

// A child inherits the pool's memory but not its threads.
TEST(ParallelLoops, ForkedChildGetsAFreshPool) {
  const std::size_t parent_size = pool_size();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setenv("RAYON_NUM_THREADS", "3", 1);
    int code = 0;
    const auto out = parallel_map<std::size_t>(1000, [](std::size_t i) { return i + 1; });
    for (std::size_t i = 0; i < out.size(); ++i) code |= out[i] != i + 1;
    if (pool_size() != 3) code |= 2;  // sized afresh from the child's environment
    _exit(code);
  }
  EXPECT_EQ(wait_for_child(child, 20s), 0);
  EXPECT_EQ(pool_size(), parent_size);
  EXPECT_EQ(parallel_map<int>(10, [](std::size_t) { return 7; }), std::vector<int>(10, 7));
}

TEST(ParallelLoops, WorkerThatCannotStartIsAFatalError) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // An address-space limit of one byte leaves no room for a new worker's
    // stack. (The stacks of the parent's threads are recycled in the child,
    // so ask for more workers than the parent ever had.)
    setenv("RAYON_NUM_THREADS", "500", 1);
    rlimit limit{};
    getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = 1;
    int code = 3;
    try {
      setrlimit(RLIMIT_AS, &limit);
      parallel_for(1, [](std::size_t, std::size_t) {});
      code = 4;
    } catch (const FatalError& e) {
      const std::string prefix = "The global thread pool has not been initialized.";
      code = e.message().compare(0, prefix.size(), prefix) == 0 ? 0 : 5;
    } catch (...) {
      code = 6;
    }
    _exit(code);
  }
  EXPECT_EQ(wait_for_child(child, 20s), 0);
}

}  // namespace
}  // namespace veltrane::pool
