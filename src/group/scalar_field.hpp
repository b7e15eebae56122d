// The one-item field (radix 2^51, field.hpp) in the shape the curve
// templates use: a "lane" count of one, a Choice as its mask, and the
// bound keeping done here rather than by callers. Results of add and sub are
// carried (one parallel round, cheap) so every element is a valid input to
// every operation, as in the lane field.
#pragma once

#include <cstdint>

#include "group/field.hpp"

namespace veltrane::group {

struct ScalarField {
  static constexpr int kLanes = 1;
  using Element = FieldElement;
  using Mask = Choice;  // 0 or 1

  static Element constant(const FieldElement& c) { return c; }
  static Element zero() { return kFieldZero; }
  static Element one() { return kFieldOne; }

  static Element add(const Element& a, const Element& b) { return parallel_carry(fe_add(a, b)); }
  static Element sub(const Element& a, const Element& b) { return fe_sub(a, b); }
  static Element neg(const Element& a) { return fe_neg(a); }
  static Element mul(const Element& a, const Element& b) { return fe_mul(a, b); }
  static Element square(const Element& a) { return fe_square(a); }

  static Element select(const Element& a, const Element& b, Mask m) {
    Element r = a;
    fe_cmov(r, b, m);
    return r;
  }
  static void cswap(Element& a, Element& b, Mask m) { fe_cswap(a, b, m); }

  static Mask mask_and(Mask a, Mask b) { return a & b; }
  static Mask mask_or(Mask a, Mask b) { return a | b; }
  static Mask mask_not(Mask a) { return a ^ 1; }
  static Mask mask_from_bits(std::uint32_t bits) { return bits & 1; }
  static std::uint32_t mask_bits(Mask m) { return static_cast<std::uint32_t>(m); }
  static constexpr std::uint32_t kAllLanes = 1;

  static Mask equal(const Element& a, const Element& b) { return fe_equal(a, b); }
  static Mask is_zero(const Element& a) { return fe_is_zero(a); }
  static Mask is_negative(const Element& a) { return fe_is_negative(a); }

  // A signed digit -8..8 per lane, as the masks the table selects need.
  struct Index {
    std::uint32_t magnitude;
    Choice negative;
  };
  static Index index(const std::int8_t digit[1]) {
    const auto value = static_cast<std::uint32_t>(static_cast<std::int32_t>(digit[0]));
    const std::uint32_t negative = value >> 31;
    return {(value ^ (0u - negative)) + negative, negative};
  }
  static Mask index_negative(const Index& index) { return index.negative; }
  // 1 when the digit's magnitude is j, without a comparison (both below 2^31).
  static Mask index_is(const Index& index, std::uint32_t j) {
    return static_cast<Choice>(((index.magnitude ^ j) - 1) >> 31);
  }

  static Element from_bytes(const std::uint8_t* const in[1]) { return fe_from_bytes(in[0]); }
  static void to_bytes(const Element& a, std::uint8_t* const out[1]) {
    const auto bytes = fe_to_bytes(a);
    for (int i = 0; i < 32; ++i) out[0][i] = bytes[i];
  }
  static FieldElement lane(const Element& a, int) { return a; }
  static Element from_lanes(const FieldElement* const lanes[1]) { return *lanes[0]; }

 private:
  // Limbs below 2^53 in, tight out: every carry taken at once.
  static Element parallel_carry(const Element& h) {
    using field_detail::kMask51;
    const std::uint64_t c0 = h.limb[0] >> 51, c1 = h.limb[1] >> 51, c2 = h.limb[2] >> 51,
                        c3 = h.limb[3] >> 51, c4 = h.limb[4] >> 51;
    return Element{{(h.limb[0] & kMask51) + 19 * c4, (h.limb[1] & kMask51) + c0,
                    (h.limb[2] & kMask51) + c1, (h.limb[3] & kMask51) + c2,
                    (h.limb[4] & kMask51) + c3}};
  }
};

}  // namespace veltrane::group
