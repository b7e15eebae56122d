// Eight 64-bit lanes in one zmm register, with AVX-512F alone (no IFMA):
// the policy of the radix-2^25.5 lane field on Skylake-SP and Cascade Lake
// Xeons and on any processor with AVX-512F, and the base of the IFMA policy.
//
// Only the translation units that instantiate these lanes include this,
// inside a region compiled for AVX-512F; nothing here runs unless the
// processor and the operating system support it (checked once per process).
// Every operation matches PortableU64xN<8> lane for lane.
#pragma once

#include <immintrin.h>

#include <cstdint>

namespace veltrane::group::lanes {

struct Avx512U64x8 {
  static constexpr int kLanes = 8;
  static constexpr bool kEmulated = false;
  struct Vec {
    __m512i v;
  };
  struct Mask {
    __mmask8 bits;
  };

  static Vec set1(std::uint64_t x) { return {_mm512_set1_epi64(static_cast<long long>(x))}; }
  static Vec load(const std::uint64_t* p) { return {_mm512_loadu_si512(p)}; }
  static void store(std::uint64_t* p, const Vec& a) { _mm512_storeu_si512(p, a.v); }

  static Vec add(const Vec& a, const Vec& b) { return {_mm512_add_epi64(a.v, b.v)}; }
  static Vec sub(const Vec& a, const Vec& b) { return {_mm512_sub_epi64(a.v, b.v)}; }
  static Vec bit_and(const Vec& a, const Vec& b) { return {_mm512_and_si512(a.v, b.v)}; }
  static Vec bit_xor(const Vec& a, const Vec& b) { return {_mm512_xor_si512(a.v, b.v)}; }
  template <int n>
  static Vec shl(const Vec& a) {
    return {_mm512_slli_epi64(a.v, n)};
  }
  template <int n>
  static Vec shr(const Vec& a) {
    return {_mm512_srli_epi64(a.v, n)};
  }
  static Vec mul32(const Vec& a, const Vec& b) { return {_mm512_mul_epu32(a.v, b.v)}; }

  static Mask equal(const Vec& a, const Vec& b) { return {_mm512_cmpeq_epi64_mask(a.v, b.v)}; }
  static Vec blend(Mask m, const Vec& a, const Vec& b) {
    return {_mm512_mask_blend_epi64(m.bits, a.v, b.v)};
  }

  static Mask mask_and(Mask a, Mask b) { return {static_cast<__mmask8>(a.bits & b.bits)}; }
  static Mask mask_or(Mask a, Mask b) { return {static_cast<__mmask8>(a.bits | b.bits)}; }
  static Mask mask_not(Mask a) { return {static_cast<__mmask8>(~a.bits)}; }
  static Mask mask_from_bits(std::uint32_t bits) { return {static_cast<__mmask8>(bits)}; }
  static std::uint32_t mask_bits(Mask m) { return m.bits; }
};

}  // namespace veltrane::group::lanes
