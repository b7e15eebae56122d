// What the dudect test's units share: the operation timed, serialised
// time-stamp reads, and one measure() per native lane field, each compiled
// in its own unit for its instruction set.
#pragma once

#include <cstddef>
#include <cstdint>

#include "group/scalar.hpp"

namespace veltrane::bench {

// leaky_control: mul_fixed plus one field square exactly when the scalar is
// odd, a deliberate secret-dependent branch of a few dozen cycles, to show
// the test sees a leak of that size.
enum class Target { mul_point, mul_fixed, leaky_control };

// Serialised time-stamp reads: nothing before the first read starts late,
// nothing after the second starts early.
inline std::uint64_t cycles_begin() {
  std::uint32_t lo, hi;
  asm volatile("lfence\n\trdtsc" : "=a"(lo), "=d"(hi) : : "memory");
  return (static_cast<std::uint64_t>(hi) << 32) | lo;
}
inline std::uint64_t cycles_end() {
  std::uint32_t lo, hi;
  asm volatile("rdtscp\n\tlfence" : "=a"(lo), "=d"(hi) : : "rcx", "memory");
  return (static_cast<std::uint64_t>(hi) << 32) | lo;
}

// cycles[i] for one call with scalars[i] in every lane; call only where the
// processor runs those lanes. The namespaces are named so that
// scripts/vector_scan.py recognises their code.
#define VELTRANE_DUDECT_MEASURE                                                            \
  void measure(Target target, const group::Scalar* scalars, std::size_t n,                 \
               const std::uint8_t point[32], std::uint64_t* cycles)
namespace ifma_bench { VELTRANE_DUDECT_MEASURE; }
namespace avx512f_bench { VELTRANE_DUDECT_MEASURE; }
namespace avx2_bench { VELTRANE_DUDECT_MEASURE; }

}  // namespace veltrane::bench
