// Eight 64-bit lanes in one zmm register, with AVX-512F and AVX-512 IFMA:
// the AVX-512F policy and the two 52-bit multiply-adds.
//
// Only the translation unit that instantiates the IFMA backend includes this,
// inside a region compiled for those instruction sets; nothing here runs
// unless the processor and the operating system support them (checked once
// per process). Every operation matches PortableU64x8 lane for lane.
#pragma once

#include <immintrin.h>

#include "group/lanes/avx512_u64x8.hpp"

namespace veltrane::group::lanes {

struct IfmaU64x8 : Avx512U64x8 {
  static Vec madd52lo(const Vec& acc, const Vec& a, const Vec& b) {
    return {_mm512_madd52lo_epu64(acc.v, a.v, b.v)};
  }
  static Vec madd52hi(const Vec& acc, const Vec& a, const Vec& b) {
    return {_mm512_madd52hi_epu64(acc.v, a.v, b.v)};
  }
};

}  // namespace veltrane::group::lanes
