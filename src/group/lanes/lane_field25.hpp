// Arithmetic modulo p = 2^255 - 19 on V::kLanes independent elements at once,
// one per 64-bit lane, for vector units whose only wide multiplier is
// 32 x 32 -> 64 bits (vpmuludq: AVX2, AVX-512F), over a vector policy V
// (PortableU64xN<N>, Avx2U64x4 or Avx512U64x8).
//
// Representation: ten limbs of radix 2^25.5. Limb i has weight 2^ceil(25.5 i)
// (0, 26, 51, 77, ... 230) and width w_i = 26 bits for even i, 25 for odd i.
// Every result this field returns is
//   tight  limb_i < 2^w_i + 2^16
// and every operation accepts any tight inputs; callers never carry by hand.
// Two limbs of this radix make one limb of the one-item field's radix 2^51,
// so constants and table entries convert by a shift and a mask.
//
// Multiplication: the product's column k (weight 2^ceil(25.5 k)) sums
// f_i g_j over i + j = k and i + j = k + 10; the latter wrap around times 19
// (2^255 = 19 mod p), and a pair of odd limbs counts twice (25.5 i + 25.5 j
// rounds up by one bit less than its two limbs do). The factors go into the
// operands before the multiply, never into a 64-bit column:
//   f_i     < 2^26 + 2^16          2 f_i   < 2^26 + 2^17   (odd i)
//   g_j     < 2^26 + 2^16          19 g_j  < 2^30.25       (below 2^32, as
//                                                           vpmuludq needs)
// so a product is below 2^26.01 * 2^30.25 < 2^56.3 and a column of ten below
// 2^59.7: no column sum reaches 2^64. Squaring folds its factors the same
// way: 2 f_i times 19 f_j for even limbs, at most 4 f_i times 19 f_j for odd
// ones (both below 2^32), products below 2^57.3, columns of at most six
// products below 2^60, under 2^64.
// Carries are unsigned throughout (AVX2 has no 64-bit arithmetic shift). The
// carry out of the top limb, which wraps around times 19, stays below 2^30:
// column 9 has no wrapped products (ten of at most 2^51.01, so below 2^54.4)
// and takes a carry below 2^35 from column 8; the multiplier takes it whole.
//
// Nothing here branches on or indexes by a lane's value.
#pragma once

#include <cstdint>

#include "group/field.hpp"
#include "group/lanes/lane_basics.hpp"

namespace veltrane::group::lanes {

template <class V>
struct LaneField25 : LaneBasics<LaneField25<V>, V, 10> {
  using Base = LaneBasics<LaneField25<V>, V, 10>;
  friend Base;
  using Base::kLanes;
  using typename Base::Element;
  using typename Base::Mask;
  using typename Base::Vec;

  // ---- constants ----
  // A tight one-item element (limbs below 2^51 + 2^13): its limb k splits
  // into limbs 2k (low 26 bits) and 2k + 1 (the rest, at most 2^25).
  VELTRANE_LANE_INLINE static Element constant(const FieldElement& c) {
    Element r;
    VELTRANE_UNROLL
    for (int k = 0; k < 5; ++k) {
      r.l[2 * k] = V::set1(c.limb[k] & kMask26);
      r.l[2 * k + 1] = V::set1(c.limb[k] >> 26);
    }
    return r;
  }
  VELTRANE_LANE_INLINE static Element zero() { return constant(kFieldZero); }
  VELTRANE_LANE_INLINE static Element one() { return constant(kFieldOne); }

  // ---- encodings ----
  // Lane i from in[i]: 32 bytes little-endian, bit 255 ignored.
  VELTRANE_LANE_INLINE static Element from_bytes(const std::uint8_t* const in[kLanes]) {
    FieldElement e[kLanes];
    const FieldElement* p[kLanes];
    for (int lane = 0; lane < kLanes; ++lane) {
      e[lane] = fe_from_bytes(in[lane]);
      p[lane] = &e[lane];
    }
    return from_lanes(p);
  }
  // The canonical 32 bytes of lane i into out[i] (bit 255 clear).
  VELTRANE_LANE_INLINE static void to_bytes(const Element& a, std::uint8_t* const out[kLanes]) {
    Vec x[10];
    canonical(a, x);
    alignas(64) std::uint64_t limbs[10][kLanes];
    VELTRANE_UNROLL
    for (int i = 0; i < 10; ++i) V::store(limbs[i], x[i]);
    for (int lane = 0; lane < kLanes; ++lane) {
      std::uint64_t h[5];
      VELTRANE_UNROLL
      for (int k = 0; k < 5; ++k) h[k] = limbs[2 * k][lane] | (limbs[2 * k + 1][lane] << 26);
      Base::pack_radix51(h, out[lane]);
    }
  }
  // Lane i of a as a one-item element (tight limbs, same value): limb k is
  // limbs 2k and 2k + 1 joined, below 2^51 + 2^43, then one carry round.
  VELTRANE_LANE_INLINE static FieldElement lane(const Element& a, int i) {
    alignas(64) std::uint64_t limbs[10][kLanes];
    VELTRANE_UNROLL
    for (int k = 0; k < 10; ++k) V::store(limbs[k], a.l[k]);
    std::uint64_t h[5];
    VELTRANE_UNROLL
    for (int k = 0; k < 5; ++k) h[k] = limbs[2 * k][i] + (limbs[2 * k + 1][i] << 26);
    constexpr std::uint64_t kMask51 = (std::uint64_t{1} << 51) - 1;
    FieldElement r;
    r.limb[0] = (h[0] & kMask51) + 19 * (h[4] >> 51);
    VELTRANE_UNROLL
    for (int k = 1; k < 5; ++k) r.limb[k] = (h[k] & kMask51) + (h[k - 1] >> 51);
    return r;
  }
  // Lane i from *lanes[i] (a tight one-item element).
  VELTRANE_LANE_INLINE static Element from_lanes(const FieldElement* const lanes[kLanes]) {
    alignas(64) std::uint64_t limbs[10][kLanes];
    for (int lane = 0; lane < kLanes; ++lane) {
      VELTRANE_UNROLL
      for (int k = 0; k < 5; ++k) {
        limbs[2 * k][lane] = lanes[lane]->limb[k] & kMask26;
        limbs[2 * k + 1][lane] = lanes[lane]->limb[k] >> 26;
      }
    }
    Element r;
    VELTRANE_UNROLL
    for (int k = 0; k < 10; ++k) r.l[k] = V::load(limbs[k]);
    return r;
  }

 private:
  static constexpr std::uint64_t kMask26 = (std::uint64_t{1} << 26) - 1;
  static constexpr std::uint64_t kMask25 = (std::uint64_t{1} << 25) - 1;
  static constexpr int width(int i) { return i % 2 ? 25 : 26; }
  VELTRANE_LANE_INLINE static Vec mask(int i) { return V::set1(i % 2 ? kMask25 : kMask26); }
  template <int i>
  VELTRANE_LANE_INLINE static Vec carry_of(const Vec& x) {
    return V::template shr<width(i)>(x);
  }
  // Called out of line even on the native policies: its twenty operand
  // vectors live in memory anyway, and inlined into every point formula it
  // made the scalar multiplication loop larger than the instruction cache
  // (mul_point 1.3x slower on AVX-512F and AVX2).
  static constexpr bool kMulOutOfLine = true;

  VELTRANE_LANE_INLINE static Element add_inline(const Element& a, const Element& b) {
    Vec h[10];
    VELTRANE_UNROLL
    for (int i = 0; i < 10; ++i) h[i] = V::add(a.l[i], b.l[i]);
    return carry(h);
  }
  VELTRANE_LANE_INLINE static Element sub_inline(const Element& a, const Element& b) {
    // a + 2p - b: 2p's limbs (2^27 - 38, then 2^(w_i + 1) - 2) exceed every
    // tight limb, so no lane goes negative.
    Vec h[10];
    VELTRANE_UNROLL
    for (int i = 0; i < 10; ++i) {
      const std::uint64_t two_p = i == 0 ? (kMask26 - 18) * 2 : (i % 2 ? kMask25 : kMask26) * 2;
      h[i] = V::sub(V::add(a.l[i], V::set1(two_p)), b.l[i]);
    }
    return carry(h);
  }

  VELTRANE_LANE_INLINE static Element mul_inline(const Element& a, const Element& b) {
    Vec f2[10], g19[10];
    VELTRANE_UNROLL
    for (int i = 0; i < 10; ++i) {
      f2[i] = V::add(a.l[i], a.l[i]);
      g19[i] = V::mul32(b.l[i], V::set1(19));
    }
    // Row by row: each limb of a meets every limb of b once.
    Vec h[10];
    VELTRANE_UNROLL
    for (int k = 0; k < 10; ++k) h[k] = V::mul32(a.l[0], b.l[k]);
    VELTRANE_UNROLL
    for (int i = 1; i < 10; ++i) {
      VELTRANE_UNROLL
      for (int j = 0; j < 10; ++j) {
        const int k = (i + j) % 10;
        const Vec& x = (i % 2 && j % 2) ? f2[i] : a.l[i];
        const Vec& y = i + j >= 10 ? g19[j] : b.l[j];
        h[k] = V::add(h[k], V::mul32(x, y));
      }
    }
    return carry_wide(h);
  }

  VELTRANE_LANE_INLINE static Element square_inline(const Element& a) {
    // Pair (i, j), i <= j: times 2 when i < j (it occurs twice), times 2
    // when both are odd, times 19 when it wraps. The first two factors go
    // into f_i (at most 4 f_i), the last into f_j.
    Vec f2[10], f4[10], f19[10];
    VELTRANE_UNROLL
    for (int i = 0; i < 10; ++i) {
      f2[i] = V::add(a.l[i], a.l[i]);
      f4[i] = V::add(f2[i], f2[i]);
      f19[i] = V::mul32(a.l[i], V::set1(19));
    }
    Vec h[10];
    bool started[10] = {};
    VELTRANE_UNROLL
    for (int i = 0; i < 10; ++i) {
      VELTRANE_UNROLL
      for (int j = i; j < 10; ++j) {
        const int k = (i + j) % 10;
        const int factor = (i < j ? 2 : 1) * (i % 2 && j % 2 ? 2 : 1);
        const Vec& x = factor == 4 ? f4[i] : factor == 2 ? f2[i] : a.l[i];
        const Vec& y = i + j >= 10 ? f19[j] : a.l[j];
        const Vec p = V::mul32(x, y);
        h[k] = started[k] ? V::add(h[k], p) : p;
        started[k] = true;
      }
    }
    return carry_wide(h);
  }

  // One parallel carry round: limbs below 2^(w_i + 2) in, tight out (every
  // carry is at most 3).
  VELTRANE_LANE_INLINE static Element carry(const Vec h[10]) {
    Vec c[10];
    c[0] = carry_of<0>(h[0]);
    c[1] = carry_of<1>(h[1]);
    c[2] = carry_of<2>(h[2]);
    c[3] = carry_of<3>(h[3]);
    c[4] = carry_of<4>(h[4]);
    c[5] = carry_of<5>(h[5]);
    c[6] = carry_of<6>(h[6]);
    c[7] = carry_of<7>(h[7]);
    c[8] = carry_of<8>(h[8]);
    c[9] = carry_of<9>(h[9]);
    Element r;
    r.l[0] = V::add(V::bit_and(h[0], mask(0)), V::mul32(c[9], V::set1(19)));
    VELTRANE_UNROLL
    for (int i = 1; i < 10; ++i) r.l[i] = V::add(V::bit_and(h[i], mask(i)), c[i - 1]);
    return r;
  }

  // Column sums below 2^61 in, tight out. Two carry chains run side by side
  // (from limb 0 and from limb 4) so their latencies overlap:
  //   0->1  4->5  1->2  5->6  2->3  6->7  3->4  7->8  4->5  8->9  9->0  0->1
  // Every carry is below 2^36.1, the one out of limb 9 below 2^30 (see the
  // top of this file). After the chain every limb is below 2^w_i except
  // limb 5 (below 2^w_5 + 2^11: limb 4 was below 2^26 + 2^36.1 when it
  // carried the second time) and limb 1 (below 2^w_1 + 2^8: limb 0 took 19
  // times the top carry, below 2^34.3, before its last carry).
  VELTRANE_LANE_INLINE static Element carry_wide(Vec h[10]) {
    step<0>(h);
    step<4>(h);
    step<1>(h);
    step<5>(h);
    step<2>(h);
    step<6>(h);
    step<3>(h);
    step<7>(h);
    step<4>(h);
    step<8>(h);
    const Vec c9 = carry_of<9>(h[9]);
    h[9] = V::bit_and(h[9], mask(9));
    h[0] = V::add(h[0], V::mul32(c9, V::set1(19)));
    step<0>(h);
    Element r;
    VELTRANE_UNROLL
    for (int i = 0; i < 10; ++i) r.l[i] = h[i];
    return r;
  }
  template <int i>
  VELTRANE_LANE_INLINE static void step(Vec h[10]) {
    h[i + 1] = V::add(h[i + 1], carry_of<i>(h[i]));
    h[i] = V::bit_and(h[i], mask(i));
  }

  // The value in 0..p-1, every limb below 2^w_i.
  VELTRANE_LANE_INLINE static void canonical(const Element& a, Vec out[10]) {
    Vec h[10];
    VELTRANE_UNROLL
    for (int i = 0; i < 10; ++i) h[i] = a.l[i];
    // Sequential carry with the top carry (at most 2) folded back: limbs
    // below 2^w_i and limb 0 below 2^26 + 38; a second pass leaves every
    // limb below 2^w_i but the top one (at most 2^25), so the value is
    // below 2p.
    carry_through(h);
    const Vec top = carry_of<9>(h[9]);
    h[9] = V::bit_and(h[9], mask(9));
    h[0] = V::add(h[0], V::mul32(top, V::set1(19)));
    carry_through(h);
    // q = 1 exactly when the value is p or more: the carry out of value + 19.
    Vec q = carry_of<0>(V::add(h[0], V::set1(19)));
    q = carry_of<1>(V::add(h[1], q));
    q = carry_of<2>(V::add(h[2], q));
    q = carry_of<3>(V::add(h[3], q));
    q = carry_of<4>(V::add(h[4], q));
    q = carry_of<5>(V::add(h[5], q));
    q = carry_of<6>(V::add(h[6], q));
    q = carry_of<7>(V::add(h[7], q));
    q = carry_of<8>(V::add(h[8], q));
    q = carry_of<9>(V::add(h[9], q));
    h[0] = V::add(h[0], V::mul32(q, V::set1(19)));
    carry_through(h);
    h[9] = V::bit_and(h[9], mask(9));
    VELTRANE_UNROLL
    for (int i = 0; i < 10; ++i) out[i] = h[i];
  }
  // Carries limb 0 into 1, 1 into 2, ... 8 into 9, in order.
  VELTRANE_LANE_INLINE static void carry_through(Vec h[10]) {
    step<0>(h);
    step<1>(h);
    step<2>(h);
    step<3>(h);
    step<4>(h);
    step<5>(h);
    step<6>(h);
    step<7>(h);
    step<8>(h);
  }
};

}  // namespace veltrane::group::lanes
