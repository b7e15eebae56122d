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

namespace veltrane::group::lanes {

// Every operation is inlined into its caller: called out of line, each would
// pass its operands through memory and end with vzeroupper.
#define VELTRANE_LANE_INLINE __attribute__((always_inline)) inline

template <class V>
struct LaneField {
  static constexpr int kLanes = V::kLanes;
  using Vec = typename V::Vec;
  using Mask = typename V::Mask;
  struct Element {
    Vec l[5];
  };

  // ---- constants ----
  VELTRANE_LANE_INLINE static Element constant(const FieldElement& c) {
    Element r;
    for (int i = 0; i < 5; ++i) r.l[i] = V::set1(c.limb[i]);
    return r;
  }
  VELTRANE_LANE_INLINE static Element zero() { return constant(kFieldZero); }
  VELTRANE_LANE_INLINE static Element one() { return constant(kFieldOne); }

  // ---- arithmetic ----
  VELTRANE_LANE_INLINE static Element add(const Element& a, const Element& b) {
    Vec h[5];
    for (int i = 0; i < 5; ++i) h[i] = V::add(a.l[i], b.l[i]);
    return carry(h);
  }
  VELTRANE_LANE_INLINE static Element sub(const Element& a, const Element& b) {
    // a + 2p - b: 2p's limbs exceed every tight limb, so nothing goes negative.
    const Vec two_p0 = V::set1(2 * ((std::uint64_t{1} << 51) - 19));
    const Vec two_pi = V::set1(2 * ((std::uint64_t{1} << 51) - 1));
    Vec h[5];
    h[0] = V::sub(V::add(a.l[0], two_p0), b.l[0]);
    for (int i = 1; i < 5; ++i) h[i] = V::sub(V::add(a.l[i], two_pi), b.l[i]);
    return carry(h);
  }
  VELTRANE_LANE_INLINE static Element neg(const Element& a) { return sub(zero(), a); }

  VELTRANE_LANE_INLINE static Element mul(const Element& a, const Element& b) {
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

  VELTRANE_LANE_INLINE static Element square(const Element& a) {
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

  // ---- selection ----
  // b in the lanes where m is set, a elsewhere.
  VELTRANE_LANE_INLINE static Element select(const Element& a, const Element& b, Mask m) {
    Element r;
    for (int i = 0; i < 5; ++i) r.l[i] = V::blend(m, a.l[i], b.l[i]);
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

  // ---- predicates (on the canonical value) ----
  VELTRANE_LANE_INLINE static Mask equal(const Element& a, const Element& b) {
    Vec x[5], y[5];
    canonical(a, x);
    canonical(b, y);
    Mask m = V::equal(x[0], y[0]);
    for (int i = 1; i < 5; ++i) m = V::mask_and(m, V::equal(x[i], y[i]));
    return m;
  }
  VELTRANE_LANE_INLINE static Mask is_zero(const Element& a) {
    Vec x[5];
    canonical(a, x);
    const Vec z = V::set1(0);
    Mask m = V::equal(x[0], z);
    for (int i = 1; i < 5; ++i) m = V::mask_and(m, V::equal(x[i], z));
    return m;
  }
  VELTRANE_LANE_INLINE static Mask is_negative(const Element& a) {
    Vec x[5];
    canonical(a, x);
    const Vec one_bit = V::set1(1);
    return V::equal(V::bit_and(x[0], one_bit), one_bit);
  }

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
      const std::uint64_t h0 = limbs[0][lane], h1 = limbs[1][lane], h2 = limbs[2][lane],
                          h3 = limbs[3][lane], h4 = limbs[4][lane];
      const std::uint64_t w[4] = {h0 | (h1 << 51), (h1 >> 13) | (h2 << 38),
                                  (h2 >> 26) | (h3 << 25), (h3 >> 39) | (h4 << 12)};
      for (int b = 0; b < 32; ++b) out[lane][b] = static_cast<std::uint8_t>(w[b / 8] >> (8 * (b % 8)));
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
