// The Elligator 2 map (non-square 2) to the Montgomery curve
// v^2 = u^3 + A u^2 + u and the birational map back to Edwards form, in
// projective form over any field backend F: two exponentiations per point
// (one square test, one square root) instead of two inversions and two roots.
#pragma once

#include "group/curve/encoding.hpp"

namespace veltrane::group::curve {

// A^2 = 486662^2, below 2^51: one limb.
inline constexpr FieldElement kMontgomeryASquared{{486662ull * 486662ull, 0, 0, 0, 0}};

// montgomery_to_edwards(elligator2_map(r), sign) per lane, with validity
// clear in the lanes where that is none (u = -1, or a y without a point).
template <class F>
Decoded<F> elligator2_point(const Fe<F>& r, typename F::Mask sign) {
  // With w = 1 + 2r^2 (never 0: -1/2 is not a square) and t = -A/w, the
  // map's square test on e = t(t^2 + A t + 1) = -A (A^2 - A^2 w + w^2) / w^3
  // is the test on e w^4 = -A w (A^2 - A^2 w + w^2), and u = U/W with W = w
  // and U = -A (square) or A - A w (otherwise): no inversion needed.
  const Fe<F> a = F::constant(kMontgomeryA);
  const Fe<F> rr = F::square(r);
  const Fe<F> w = F::add(F::add(rr, rr), F::one());
  const Fe<F> a_w = F::mul(a, w);
  const Fe<F> inner =
      F::add(F::sub(F::constant(kMontgomeryASquared), F::mul(a, a_w)), F::square(w));
  const Fe<F> e_w4 = F::neg(F::mul(a_w, inner));
  const auto square = is_square<F>(e_w4);
  const Fe<F> u_num = F::select(F::sub(a, a_w), F::neg(a), square);

  // y = (u - 1)/(u + 1) = Yn/Zn, and decompression's x^2 = (y^2 - 1)/(d y^2 + 1)
  // = (Yn^2 - Zn^2)/(d Yn^2 + Zn^2): the same ratio, so the same root.
  const Fe<F> yn = F::sub(u_num, w);
  const Fe<F> zn = F::add(u_num, w);
  const auto u_is_minus_one = F::is_zero(zn);
  const Fe<F> yy = F::square(yn);
  const Fe<F> zz = F::square(zn);
  const SqrtRatioResult<F> x =
      sqrt_ratio<F>(F::sub(yy, zz), F::add(F::mul(F::constant(kEdwardsD), yy), zz));
  const Fe<F> root = conditional_negate<F>(x.root, sign);
  return {{F::mul(root, zn), yn, zn, F::mul(root, yn)},
          F::mask_and(x.is_square, F::mask_not(u_is_minus_one))};
}

// The same map with one exponentiation instead of two, leaving the sign of
// x to be set once 1/Z is known (so callers can share that inversion):
// the Montgomery point (u, v) comes from one square root, since g(u) for the
// second candidate u is 2 r^2 times g of the first, and then
//   x = sqrt(-(A + 2)) u / v,  y = (u - 1) / (u + 1)
// is the Edwards point of that y with one of its two x. For r = 0 (u = v = 0)
// the point is (0, -1) whatever the sign; its Z is kept non-zero.
inline constexpr FieldElement kSqrtMinusAPlus2{
    {0x604aaff457e06, 0x2296fa350598d, 0x7f13dfb16874f, 0x35de93d846e01, 0xf26edf460a00}};
// sqrt(-2 i): turns sqrt_ratio's root of i e into a root of 2 e.
inline constexpr FieldElement kSqrtMinusTwoI{
    {0x1e4d8b5f15f3e, 0x72a5a0370e762, 0x10a16342f39f, 0x7a6a597fb361, 0x547cdb7fb03e2}};

template <class F>
Decoded<F> elligator2_point_unsigned(const Fe<F>& r) {
  const Fe<F> a = F::constant(kMontgomeryA);
  const Fe<F> rr = F::square(r);
  const Fe<F> w = F::add(F::add(rr, rr), F::one());
  const Fe<F> a_w = F::mul(a, w);
  const Fe<F> inner =
      F::add(F::sub(F::constant(kMontgomeryASquared), F::mul(a, a_w)), F::square(w));
  // e w^4 = -A w (A^2 - A^2 w + w^2), e = g(t) for t = -A/w.
  const Fe<F> e_w4 = F::neg(F::mul(a_w, inner));
  const SqrtRatioResult<F> root = sqrt_ratio<F>(e_w4, F::one());
  // u = U/w, v = V/w^2: U = -A and V = sqrt(e w^4) when e is a square,
  // otherwise U = A - A w and V = r sqrt(2 e w^4) = r sqrt(-2i) sqrt(i e w^4).
  const Fe<F> u_num = F::select(F::sub(a, a_w), F::neg(a), root.is_square);
  const Fe<F> v_num = F::select(F::mul(F::mul(r, F::constant(kSqrtMinusTwoI)), root.root),
                                root.root, root.is_square);
  // x = c U w / V and y = (U - w)/(U + w): over the common denominator V (U + w).
  const Fe<F> cuw = F::mul(F::mul(F::constant(kSqrtMinusAPlus2), u_num), w);
  const Fe<F> u_plus_w = F::add(u_num, w);
  const Fe<F> u_minus_w = F::sub(u_num, w);
  PointT<F> p{F::mul(cuw, u_plus_w), F::mul(u_minus_w, v_num), F::mul(v_num, u_plus_w),
              F::mul(cuw, u_minus_w)};
  const auto at_zero = F::is_zero(r);
  const PointT<F> order_two{F::zero(), F::neg(F::one()), F::one(), F::zero()};
  p = select<F>(p, order_two, at_zero);
  // u = -1 (U + w = 0) has no point; the map never gives it.
  return {p, F::mask_not(F::is_zero(u_plus_w))};
}

// Sets the sign of x (non-negative, negated in the lanes of `negative`)
// given 1/Z.
template <class F>
PointT<F> with_x_sign(const PointT<F>& p, const Fe<F>& z_inverse, typename F::Mask negative) {
  const auto is_negative = F::is_negative(F::mul(p.X, z_inverse));
  const auto flip = F::mask_or(F::mask_and(is_negative, F::mask_not(negative)),
                               F::mask_and(F::mask_not(is_negative), negative));
  return {conditional_negate<F>(p.X, flip), p.Y, p.Z, conditional_negate<F>(p.T, flip)};
}

}  // namespace veltrane::group::curve
