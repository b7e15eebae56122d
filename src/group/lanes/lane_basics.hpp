// What every lane field over a vector policy V shares, whatever its radix:
// the element as kLimbs vectors of 64-bit lanes, the arithmetic's calling
// convention, the predicates on canonical values, selection by lane masks,
// the mask algebra and the signed digits that scalar multiplication turns
// into masks. The field (Field, which derives from this) supplies
// add_inline, sub_inline, mul_inline, square_inline, zero, canonical and
// kMulOutOfLine. Nothing here branches on or indexes by a lane's value.
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

template <class Field, class V, int kLimbs>
struct LaneBasics {
  static constexpr int kLanes = V::kLanes;
  using Vec = typename V::Vec;
  using Mask = typename V::Mask;
  struct Element {
    Vec l[kLimbs];
  };

  // ---- arithmetic ----
  // The emulated policy calls every large operation out of line (see
  // portable_u64xn.hpp); a native one inlines them, but for the
  // multiplication where the field says so (kMulOutOfLine).
  VELTRANE_LANE_INLINE static Element add(const Element& a, const Element& b) {
    if constexpr (V::kEmulated) return add_outlined(a, b);
    else return Field::add_inline(a, b);
  }
  VELTRANE_LANE_INLINE static Element sub(const Element& a, const Element& b) {
    if constexpr (V::kEmulated) return sub_outlined(a, b);
    else return Field::sub_inline(a, b);
  }
  VELTRANE_LANE_INLINE static Element neg(const Element& a) { return sub(Field::zero(), a); }
  VELTRANE_LANE_INLINE static Element mul(const Element& a, const Element& b) {
    if constexpr (V::kEmulated || Field::kMulOutOfLine) return mul_outlined(a, b);
    else return Field::mul_inline(a, b);
  }
  VELTRANE_LANE_INLINE static Element square(const Element& a) {
    if constexpr (V::kEmulated) return square_outlined(a);
    else return Field::square_inline(a);
  }

  // ---- predicates (on the canonical value) ----
  VELTRANE_LANE_INLINE static Mask equal(const Element& a, const Element& b) {
    Vec x[kLimbs], y[kLimbs];
    Field::canonical(a, x);
    Field::canonical(b, y);
    Mask m = V::equal(x[0], y[0]);
    VELTRANE_UNROLL
    for (int i = 1; i < kLimbs; ++i) m = V::mask_and(m, V::equal(x[i], y[i]));
    return m;
  }
  VELTRANE_LANE_INLINE static Mask is_zero(const Element& a) {
    Vec x[kLimbs];
    Field::canonical(a, x);
    const Vec z = V::set1(0);
    Mask m = V::equal(x[0], z);
    VELTRANE_UNROLL
    for (int i = 1; i < kLimbs; ++i) m = V::mask_and(m, V::equal(x[i], z));
    return m;
  }
  VELTRANE_LANE_INLINE static Mask is_negative(const Element& a) {
    Vec x[kLimbs];
    Field::canonical(a, x);
    const Vec one_bit = V::set1(1);
    return V::equal(V::bit_and(x[0], one_bit), one_bit);
  }

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

  // The 32 little-endian bytes of a canonical value given as five 51-bit
  // limbs. A member, so that each policy's copy is compiled in its own region.
  VELTRANE_LANE_INLINE static void pack_radix51(const std::uint64_t h[5], std::uint8_t* out) {
    const std::uint64_t w[4] = {h[0] | (h[1] << 51), (h[1] >> 13) | (h[2] << 38),
                                (h[2] >> 26) | (h[3] << 25), (h[3] >> 39) | (h[4] << 12)};
    for (int b = 0; b < 32; ++b) out[b] = static_cast<std::uint8_t>(w[b / 8] >> (8 * (b % 8)));
  }

 private:
  __attribute__((noinline)) static Element add_outlined(const Element& a, const Element& b) {
    return Field::add_inline(a, b);
  }
  __attribute__((noinline)) static Element sub_outlined(const Element& a, const Element& b) {
    return Field::sub_inline(a, b);
  }
  __attribute__((noinline)) static Element mul_outlined(const Element& a, const Element& b) {
    return Field::mul_inline(a, b);
  }
  __attribute__((noinline)) static Element square_outlined(const Element& a) {
    return Field::square_inline(a);
  }
};

}  // namespace veltrane::group::lanes
