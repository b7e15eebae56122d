// Whether the AVX-512 IFMA lanes can run: the processor reports AVX-512F
// and AVX-512 IFMA (CPUID leaf 7), and the operating system saves the
// opmask and zmm registers across context switches (XGETBV).
#include <cpuid.h>

#include <cstdint>

#include "group/lanes/cpu_features.hpp"

namespace veltrane::group::lanes {

bool cpu_has_ifma() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  const bool osxsave = (ecx >> 27) & 1;
  if (!osxsave) return false;
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
  const bool avx512f = (ebx >> 16) & 1;
  const bool avx512ifma = (ebx >> 21) & 1;
  if (!avx512f || !avx512ifma) return false;
  std::uint32_t xcr0_low = 0, xcr0_high = 0;
  __asm__ volatile("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
  // SSE, AVX, opmask, upper halves of zmm0-15, zmm16-31.
  constexpr std::uint32_t kZmmState = 0x2 | 0x4 | 0x20 | 0x40 | 0x80;
  return (xcr0_low & kZmmState) == kZmmState;
}

}  // namespace veltrane::group::lanes
