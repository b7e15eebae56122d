// Arithmetic modulo p = 2^255 - 19 on eight independent elements at once,
// one per lane, over a vector policy V (PortableU64x8 or IfmaU64x8).
//
// Representation: five limbs of radix 2^51, as in the one-item field, so a
// one-item element broadcasts into every lane unchanged (fixed-base tables
// and constants are shared that way). The multiply-adds read only the low 52
// bits of their inputs, so this field keeps every result it returns within
//   tight  every limb < 2^51 + 2^15
// and every operation accepts any tight inputs; callers never carry by hand.
//
// Products: each limb product a_i b_j < 2^104 is split by the instructions at
// bit 52, one bit above the radix, so the high halves count twice at the next
// limb position. Columns above 2^255 wrap around times 19.
//
// Nothing here branches on or indexes by a lane's value.
#pragma once

#include <array>
#include <cstdint>

#include "group/field.hpp"
#include "group/lanes/lane_basics.hpp"

namespace veltrane::group::lanes {

template <class V>
struct LaneField : LaneBasics<LaneField<V>, V, 5> {
  using Base = LaneBasics<LaneField<V>, V, 5>;
  friend Base;
  using Base::kLanes;
  using typename Base::Element;
  using typename Base::Mask;
  using typename Base::Vec;

  // ---- constants ----
  VELTRANE_LANE_INLINE static Element constant(const FieldElement& c) {
    Element r;
    for (int i = 0; i < 5; ++i) r.l[i] = V::set1(c.limb[i]);
    return r;
  }
  VELTRANE_LANE_INLINE static Element zero() { return constant(kFieldZero); }
  VELTRANE_LANE_INLINE static Element one() { return constant(kFieldOne); }

  // ---- encodings ----
  // Lane i from in[i]: 32 bytes little-endian, bit 255 ignored.
  VELTRANE_LANE_INLINE static Element from_bytes(const std::uint8_t* const in[kLanes]) {
    alignas(64) std::uint64_t limbs[5][kLanes];
    for (int lane = 0; lane < kLanes; ++lane) {
      const FieldElement e = fe_from_bytes(in[lane]);
      for (int i = 0; i < 5; ++i) limbs[i][lane] = e.limb[i];
    }
    Element r;
    for (int i = 0; i < 5; ++i) r.l[i] = V::load(limbs[i]);
    return r;
  }
  // The canonical 32 bytes of lane i into out[i] (bit 255 clear).
  VELTRANE_LANE_INLINE static void to_bytes(const Element& a, std::uint8_t* const out[kLanes]) {
    Vec x[5];
    canonical(a, x);
    alignas(64) std::uint64_t limbs[5][kLanes];
    for (int i = 0; i < 5; ++i) V::store(limbs[i], x[i]);
    for (int lane = 0; lane < kLanes; ++lane) {
      const std::uint64_t h[5] = {limbs[0][lane], limbs[1][lane], limbs[2][lane],
                                  limbs[3][lane], limbs[4][lane]};
      Base::pack_radix51(h, out[lane]);
    }
  }
  // Lane i of a as a one-item element (tight limbs, same value).
  VELTRANE_LANE_INLINE static FieldElement lane(const Element& a, int i) {
    alignas(64) std::uint64_t limbs[5][kLanes];
    for (int k = 0; k < 5; ++k) V::store(limbs[k], a.l[k]);
    return FieldElement{{limbs[0][i], limbs[1][i], limbs[2][i], limbs[3][i], limbs[4][i]}};
  }

  // Lane i from *lanes[i] (a tight one-item element).
  VELTRANE_LANE_INLINE static Element from_lanes(const FieldElement* const lanes[kLanes]) {
    alignas(64) std::uint64_t limbs[5][kLanes];
    for (int lane = 0; lane < kLanes; ++lane) {
      for (int k = 0; k < 5; ++k) limbs[k][lane] = lanes[lane]->limb[k];
    }
    Element r;
    for (int k = 0; k < 5; ++k) r.l[k] = V::load(limbs[k]);
    return r;
  }

 private:
  // Five limbs of a product fit in registers beside their operands: the
  // multiplication is inlined like everything else.
  static constexpr bool kMulOutOfLine = false;

  VELTRANE_LANE_INLINE static Element add_inline(const Element& a, const Element& b) {
    Vec h[5];
    for (int i = 0; i < 5; ++i) h[i] = V::add(a.l[i], b.l[i]);
    return carry(h);
  }
  VELTRANE_LANE_INLINE static Element sub_inline(const Element& a, const Element& b) {
    // a + 2p - b: 2p's limbs exceed every tight limb, so nothing goes negative.
    const Vec two_p0 = V::set1(2 * ((std::uint64_t{1} << 51) - 19));
    const Vec two_pi = V::set1(2 * ((std::uint64_t{1} << 51) - 1));
    Vec h[5];
    h[0] = V::sub(V::add(a.l[0], two_p0), b.l[0]);
    for (int i = 1; i < 5; ++i) h[i] = V::sub(V::add(a.l[i], two_pi), b.l[i]);
    return carry(h);
  }

  VELTRANE_LANE_INLINE static Element mul_inline(const Element& a, const Element& b) {
    // High halves first: doubled, they start the column sums that the low
    // halves are then added into, so no column needs a zeroed accumulator
    // or a separate addition.
    Vec hi[9];
    for (int k = 0; k < 9; ++k) hi[k] = V::set1(0);
    for (int i = 0; i < 5; ++i) {
      for (int j = 0; j < 5; ++j) hi[i + j] = V::madd52hi(hi[i + j], a.l[i], b.l[j]);
    }
    // t_k = lo_k + 2 hi_(k-1): the column sums at 2^(51k), each below 2^55.
    Vec t[10];
    t[0] = V::set1(0);
    for (int k = 1; k < 10; ++k) t[k] = V::template shl<1>(hi[k - 1]);
    for (int i = 0; i < 5; ++i) {
      for (int j = 0; j < 5; ++j) t[i + j] = V::madd52lo(t[i + j], a.l[i], b.l[j]);
    }
    return fold(t);
  }

  VELTRANE_LANE_INLINE static Element square_inline(const Element& a) {
    // twice[k] counts at 2^(51k + 1): a square's high half lands in
    // twice[k + 1]; a cross product counts two times, so its low half lands
    // in twice[k] and its high half twice in twice[k + 1]. The squares' low
    // halves are then added to the doubled columns, which gives the same
    // column sums as mul(a, a) with no doubling pass.
    Vec twice[10];
    for (int k = 0; k < 10; ++k) twice[k] = V::set1(0);
    for (int i = 0; i < 5; ++i) {
      twice[2 * i + 1] = V::madd52hi(twice[2 * i + 1], a.l[i], a.l[i]);
      for (int j = i + 1; j < 5; ++j) {
        twice[i + j] = V::madd52lo(twice[i + j], a.l[i], a.l[j]);
        twice[i + j + 1] = V::madd52hi(twice[i + j + 1], a.l[i], a.l[j]);
        twice[i + j + 1] = V::madd52hi(twice[i + j + 1], a.l[i], a.l[j]);
      }
    }
    Vec t[10];
    for (int k = 0; k < 10; ++k) t[k] = V::template shl<1>(twice[k]);
    for (int i = 0; i < 5; ++i) t[2 * i] = V::madd52lo(t[2 * i], a.l[i], a.l[i]);
    return fold(t);
  }

  VELTRANE_LANE_INLINE static Vec mask51() { return V::set1((std::uint64_t{1} << 51) - 1); }

  // 19 x by shifts and adds, for any 64-bit lane value below 2^59.
  VELTRANE_LANE_INLINE static Vec times19(const Vec& x) {
    return V::add(V::add(V::template shl<4>(x), V::template shl<1>(x)), x);
  }

  // One parallel carry round: every limb below 2^60 in, tight out.
  VELTRANE_LANE_INLINE static Element carry(const Vec h[5]) {
    const Vec m = mask51();
    Vec c[5];
    for (int i = 0; i < 5; ++i) c[i] = V::template shr<51>(h[i]);
    Element r;
    // c[4] < 2^9, so one multiply-add gives 19 c[4] exactly.
    r.l[0] = V::madd52lo(V::bit_and(h[0], m), c[4], V::set1(19));
    for (int i = 1; i < 5; ++i) r.l[i] = V::add(V::bit_and(h[i], m), c[i - 1]);
    return r;
  }

  // Column sums t_k at 2^(51k), each below 2^55: the top five wrap around
  // times 19, then one carry round.
  VELTRANE_LANE_INLINE static Element fold(const Vec t[10]) {
    Vec h[5];
    for (int k = 0; k < 5; ++k) h[k] = V::add(t[k], times19(t[k + 5]));
    return carry(h);
  }

  // The value in 0..p-1, limbs below 2^51.
  VELTRANE_LANE_INLINE static void canonical(const Element& a, Vec out[5]) {
    const Vec m = mask51();
    Vec h[5];
    for (int i = 0; i < 5; ++i) h[i] = a.l[i];
    // Sequential carry: limbs below 2^51, limb 0 plus 19 times a small carry,
    // so the value is below 2p.
    for (int i = 0; i < 4; ++i) {
      h[i + 1] = V::add(h[i + 1], V::template shr<51>(h[i]));
      h[i] = V::bit_and(h[i], m);
    }
    h[0] = V::add(h[0], times19(V::template shr<51>(h[4])));
    h[4] = V::bit_and(h[4], m);
    for (int i = 0; i < 4; ++i) {
      h[i + 1] = V::add(h[i + 1], V::template shr<51>(h[i]));
      h[i] = V::bit_and(h[i], m);
    }
    // q = 1 exactly when the value is p or more: the carry out of value + 19.
    Vec q = V::template shr<51>(V::add(h[0], V::set1(19)));
    for (int i = 1; i < 5; ++i) q = V::template shr<51>(V::add(h[i], q));
    h[0] = V::add(h[0], times19(q));
    for (int i = 0; i < 4; ++i) {
      h[i + 1] = V::add(h[i + 1], V::template shr<51>(h[i]));
      h[i] = V::bit_and(h[i], m);
    }
    h[4] = V::bit_and(h[4], m);
    for (int i = 0; i < 5; ++i) out[i] = h[i];
  }
};

}  // namespace veltrane::group::lanes
