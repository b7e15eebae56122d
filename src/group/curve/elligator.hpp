// The Elligator 2 map (non-square 2) to the Montgomery curve
// v^2 = u^3 + A u^2 + u and the birational map back to Edwards form, in
// projective form over any field backend F: two exponentiations per point
// (one square test, one square root) instead of two inversions and two roots.
#pragma once

#include "group/curve/encoding.hpp"

namespace veltrane::group::curve {

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
  const Fe<F> a_squared = F::mul(a, a);
  const Fe<F> inner = F::add(F::sub(a_squared, F::mul(a, a_w)), F::square(w));
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

}  // namespace veltrane::group::curve
