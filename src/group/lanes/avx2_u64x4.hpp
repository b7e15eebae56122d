// Four 64-bit lanes in one ymm register, with AVX2.
//
// Only the translation units that instantiate the AVX2 lanes include this,
// inside a region compiled for AVX2; nothing here runs unless the processor
// and the operating system support it (checked once per process). Every
// operation matches PortableU64xN<4> lane for lane.
//
// A mask is a vector whose lanes are all ones or all zeros, as the compare
// instructions give it; selection is and/andnot/or, which AMD's cores run on
// more ports than vpblendvb.
#pragma once

#include <immintrin.h>

#include <cstdint>

namespace veltrane::group::lanes {

struct Avx2U64x4 {
  static constexpr int kLanes = 4;
  static constexpr bool kEmulated = false;
  struct Vec {
    __m256i v;
  };
  struct Mask {
    __m256i v;
  };

  static Vec set1(std::uint64_t x) { return {_mm256_set1_epi64x(static_cast<long long>(x))}; }
  static Vec load(const std::uint64_t* p) {
    return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))};
  }
  static void store(std::uint64_t* p, const Vec& a) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), a.v);
  }

  static Vec add(const Vec& a, const Vec& b) { return {_mm256_add_epi64(a.v, b.v)}; }
  static Vec sub(const Vec& a, const Vec& b) { return {_mm256_sub_epi64(a.v, b.v)}; }
  static Vec bit_and(const Vec& a, const Vec& b) { return {_mm256_and_si256(a.v, b.v)}; }
  static Vec bit_xor(const Vec& a, const Vec& b) { return {_mm256_xor_si256(a.v, b.v)}; }
  template <int n>
  static Vec shl(const Vec& a) {
    return {_mm256_slli_epi64(a.v, n)};
  }
  template <int n>
  static Vec shr(const Vec& a) {
    return {_mm256_srli_epi64(a.v, n)};
  }
  static Vec mul32(const Vec& a, const Vec& b) { return {_mm256_mul_epu32(a.v, b.v)}; }

  static Mask equal(const Vec& a, const Vec& b) { return {_mm256_cmpeq_epi64(a.v, b.v)}; }
  static Vec blend(Mask m, const Vec& a, const Vec& b) {
    return {_mm256_or_si256(_mm256_andnot_si256(m.v, a.v), _mm256_and_si256(m.v, b.v))};
  }

  static Mask mask_and(Mask a, Mask b) { return {_mm256_and_si256(a.v, b.v)}; }
  static Mask mask_or(Mask a, Mask b) { return {_mm256_or_si256(a.v, b.v)}; }
  static Mask mask_not(Mask a) { return {_mm256_xor_si256(a.v, _mm256_set1_epi64x(-1))}; }
  static Mask mask_from_bits(std::uint32_t bits) {
    const __m256i lane_bit = _mm256_set_epi64x(8, 4, 2, 1);
    const __m256i set = _mm256_and_si256(_mm256_set1_epi64x(bits), lane_bit);
    return {_mm256_cmpeq_epi64(set, lane_bit)};
  }
  static std::uint32_t mask_bits(Mask m) {
    return static_cast<std::uint32_t>(_mm256_movemask_pd(_mm256_castsi256_pd(m.v)));
  }
};

}  // namespace veltrane::group::lanes
