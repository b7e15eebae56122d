// The process-wide worker pool and its order-preserving parallel loops.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

namespace veltrane::pool {

// Runs body(begin, end) over contiguous pieces covering 0..n on the pool's
// workers, each piece in ascending order, and waits for all of them. The
// calling thread runs no item. If pieces throw, the exception of the piece
// with the lowest begin is rethrown here (that is the lowest failing index,
// since a piece stops at its first failure); the others are dropped.
void parallel_for(std::size_t n, const std::function<void(std::size_t, std::size_t)>& body);

// parallel_for over blocks of `block` consecutive items: body(begin, end)
// gets item ranges that start on a block boundary, so batch kernels see
// whole blocks (only the last may be short).
inline void parallel_for_blocks(std::size_t n, std::size_t block,
                                const std::function<void(std::size_t, std::size_t)>& body) {
  const std::size_t blocks = (n + block - 1) / block;
  parallel_for(blocks, [&](std::size_t first, std::size_t last) {
    const std::size_t end = last * block < n ? last * block : n;
    body(first * block, end);
  });
}

// results[i] = f(i), in index order.
template <class T, class F>
std::vector<T> parallel_map(std::size_t n, F&& f) {
  std::vector<T> results(n);
  parallel_for(n, [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) results[i] = f(i);
  });
  return results;
}

// Number of worker threads (creates the pool if needed).
std::size_t pool_size();

}  // namespace veltrane::pool
