// What every lane field over a vector policy V shares, whatever its radix:
// the element as kLimbs vectors of 64-bit lanes, selection by lane masks,
// the mask algebra and the signed digits that scalar multiplication turns
// into masks. Nothing here branches on or indexes by a lane's value.
#pragma once

#include <cstdint>

namespace veltrane::group::lanes {

// Every lane operation is inlined into its caller: called out of line, each
// would pass its operands through memory and end with vzeroupper.
#define VELTRANE_LANE_INLINE __attribute__((always_inline)) inline
// Loops over limbs are unrolled whole, so that every limb lives in a register
// and every index is a constant; left to itself the compiler keeps the larger
// ones (ten limbs, ten by ten products) as loops over arrays in memory. Not
// in the sanitizer builds: there speed does not matter, unrolled they took
// minutes per unit to compile, and the loops keep every access checked.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VELTRANE_UNROLL
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VELTRANE_UNROLL
#endif
#endif
#ifndef VELTRANE_UNROLL
#define VELTRANE_UNROLL _Pragma("GCC unroll 16")
#endif

template <class V, int kLimbs>
struct LaneBasics {
  static constexpr int kLanes = V::kLanes;
  using Vec = typename V::Vec;
  using Mask = typename V::Mask;
  struct Element {
    Vec l[kLimbs];
  };

  // ---- selection ----
  // b in the lanes where m is set, a elsewhere.
  VELTRANE_LANE_INLINE static Element select(const Element& a, const Element& b, Mask m) {
    Element r;
    VELTRANE_UNROLL
    for (int i = 0; i < kLimbs; ++i) r.l[i] = V::blend(m, a.l[i], b.l[i]);
    return r;
  }
  VELTRANE_LANE_INLINE static void cswap(Element& a, Element& b, Mask m) {
    const Element a0 = a;
    a = select(a, b, m);
    b = select(b, a0, m);
  }

  // ---- masks ----
  VELTRANE_LANE_INLINE static Mask mask_and(Mask a, Mask b) { return V::mask_and(a, b); }
  VELTRANE_LANE_INLINE static Mask mask_or(Mask a, Mask b) { return V::mask_or(a, b); }
  VELTRANE_LANE_INLINE static Mask mask_not(Mask a) { return V::mask_not(a); }
  VELTRANE_LANE_INLINE static Mask mask_from_bits(std::uint32_t bits) { return V::mask_from_bits(bits); }
  // Only for values that are public (validity of public inputs).
  VELTRANE_LANE_INLINE static std::uint32_t mask_bits(Mask m) { return V::mask_bits(m); }
  static constexpr std::uint32_t kAllLanes = (1u << kLanes) - 1;

  // ---- signed digits -8..8, one per lane, as selection masks ----
  struct Index {
    Vec magnitude;
    Mask negative;
  };
  VELTRANE_LANE_INLINE static Index index(const std::int8_t digit[kLanes]) {
    alignas(64) std::uint64_t magnitude[kLanes];
    std::uint32_t negative_bits = 0;
    for (int lane = 0; lane < kLanes; ++lane) {
      const auto value = static_cast<std::uint32_t>(static_cast<std::int32_t>(digit[lane]));
      const std::uint32_t negative = value >> 31;
      magnitude[lane] = (value ^ (0u - negative)) + negative;
      negative_bits |= negative << lane;
    }
    return {V::load(magnitude), V::mask_from_bits(negative_bits)};
  }
  VELTRANE_LANE_INLINE static Mask index_negative(const Index& index) { return index.negative; }
  VELTRANE_LANE_INLINE static Mask index_is(const Index& index, std::uint32_t j) {
    return V::equal(index.magnitude, V::set1(j));
  }

  // ---- predicates on canonical limbs (every limb below its radix) ----
  VELTRANE_LANE_INLINE static Mask limbs_equal(const Vec x[kLimbs], const Vec y[kLimbs]) {
    Mask m = V::equal(x[0], y[0]);
    VELTRANE_UNROLL
    for (int i = 1; i < kLimbs; ++i) m = V::mask_and(m, V::equal(x[i], y[i]));
    return m;
  }
  VELTRANE_LANE_INLINE static Mask limbs_zero(const Vec x[kLimbs]) {
    Vec z[kLimbs];
    VELTRANE_UNROLL
    for (int i = 0; i < kLimbs; ++i) z[i] = V::set1(0);
    return limbs_equal(x, z);
  }
  VELTRANE_LANE_INLINE static Mask limb_odd(const Vec& x0) {
    const Vec one_bit = V::set1(1);
    return V::equal(V::bit_and(x0, one_bit), one_bit);
  }

  // The 32 little-endian bytes of a canonical value given as five 51-bit
  // limbs. A member, so that each policy's copy is compiled in its own region.
  VELTRANE_LANE_INLINE static void pack_radix51(const std::uint64_t h[5], std::uint8_t* out) {
    const std::uint64_t w[4] = {h[0] | (h[1] << 51), (h[1] >> 13) | (h[2] << 38),
                                (h[2] >> 26) | (h[3] << 25), (h[3] >> 39) | (h[4] << 12)};
    for (int b = 0; b < 32; ++b) out[b] = static_cast<std::uint8_t>(w[b / 8] >> (8 * (b % 8)));
  }
};

}  // namespace veltrane::group::lanes
