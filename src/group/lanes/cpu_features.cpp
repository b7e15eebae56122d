// Which lane backends can run: the instruction sets the processor reports
// (CPUID leaf 7), and the register state the operating system saves across
// context switches (XGETBV).
#include <cpuid.h>

#include <cstdint>

#include "group/lanes/cpu_features.hpp"

namespace veltrane::group::lanes {

namespace {

struct Features {
  bool avx2 = false;
  bool avx512f = false;
  bool avx512ifma = false;
};

Features read_features() {
  Features f;
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return f;
  const bool osxsave = (ecx >> 27) & 1;
  if (!osxsave) return f;
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return f;
  std::uint32_t xcr0_low = 0, xcr0_high = 0;
  __asm__ volatile("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
  // SSE and AVX (the ymm upper halves); then opmask, the upper halves of
  // zmm0-15 and zmm16-31.
  constexpr std::uint32_t kYmmState = 0x2 | 0x4;
  constexpr std::uint32_t kZmmState = kYmmState | 0x20 | 0x40 | 0x80;
  const bool ymm = (xcr0_low & kYmmState) == kYmmState;
  const bool zmm = (xcr0_low & kZmmState) == kZmmState;
  f.avx2 = ymm && ((ebx >> 5) & 1);
  f.avx512f = zmm && ((ebx >> 16) & 1);
  f.avx512ifma = f.avx512f && ((ebx >> 21) & 1);
  return f;
}

const Features& features() {
  static const Features f = read_features();
  return f;
}

}  // namespace

bool cpu_has_avx2() { return features().avx2; }
bool cpu_has_avx512f() { return features().avx512f; }
bool cpu_has_ifma() { return features().avx512ifma; }

}  // namespace veltrane::group::lanes
