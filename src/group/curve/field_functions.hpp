// Exponentiations by fixed addition chains, and the square root of a ratio,
// over any field backend F (ScalarField or a LaneField). The chains depend
// only on the exponent; every choice is a masked select.
#pragma once

#include "group/curve/types.hpp"
#include "group/field.hpp"

namespace veltrane::group::curve {

template <class F>
Fe<F> square_n(Fe<F> a, int n) {
  for (int i = 0; i < n; ++i) a = F::square(a);
  return a;
}

// a^(2^250 - 1), and a^11 on the side (needed by the inversion chain).
template <class F>
Fe<F> pow_2_250_minus_1(const Fe<F>& a, Fe<F>& a11) {
  const Fe<F> a2 = F::square(a);                                 // 2
  const Fe<F> a9 = F::mul(square_n<F>(a2, 2), a);                // 9
  a11 = F::mul(a9, a2);                                          // 11
  const Fe<F> e5 = F::mul(F::square(a11), a9);                   // 2^5 - 1
  const Fe<F> e10 = F::mul(square_n<F>(e5, 5), e5);              // 2^10 - 1
  const Fe<F> e20 = F::mul(square_n<F>(e10, 10), e10);           // 2^20 - 1
  const Fe<F> e40 = F::mul(square_n<F>(e20, 20), e20);           // 2^40 - 1
  const Fe<F> e50 = F::mul(square_n<F>(e40, 10), e10);           // 2^50 - 1
  const Fe<F> e100 = F::mul(square_n<F>(e50, 50), e50);          // 2^100 - 1
  const Fe<F> e200 = F::mul(square_n<F>(e100, 100), e100);       // 2^200 - 1
  return F::mul(square_n<F>(e200, 50), e50);                     // 2^250 - 1
}

// a^(p-2): the inverse of a, and 0 for 0.
template <class F>
Fe<F> invert(const Fe<F>& a) {
  Fe<F> a11;
  const Fe<F> e250 = pow_2_250_minus_1<F>(a, a11);
  return F::mul(square_n<F>(e250, 5), a11);  // 2^255 - 32 + 11
}

// a^((p-5)/8) = a^(2^252 - 3)
template <class F>
Fe<F> pow22523(const Fe<F>& a) {
  Fe<F> a11;
  const Fe<F> e250 = pow_2_250_minus_1<F>(a, a11);
  return F::mul(square_n<F>(e250, 2), a);
}

template <class F>
Fe<F> conditional_negate(const Fe<F>& a, typename F::Mask m) {
  return F::select(a, F::neg(a), m);
}

// |a|: whichever of a and -a is non-negative.
template <class F>
Fe<F> absolute(const Fe<F>& a) {
  return conditional_negate<F>(a, F::is_negative(a));
}

template <class F>
struct SqrtRatioResult {
  typename F::Mask is_square;
  Fe<F> root;
};

// (1, |sqrt(u/v)|) when u/v is a square (u = 0 included, root 0);
// (0, 0) when v = 0 and u != 0; (0, |sqrt(i*u/v)|) when u/v is not a square.
template <class F>
SqrtRatioResult<F> sqrt_ratio(const Fe<F>& u, const Fe<F>& v) {
  const Fe<F> v3 = F::mul(F::square(v), v);
  const Fe<F> v7 = F::mul(F::square(v3), v);
  // r = u v^3 (u v^7)^((p-5)/8): a square root of u/v up to a factor of i.
  Fe<F> r = F::mul(F::mul(u, v3), pow22523<F>(F::mul(u, v7)));
  const Fe<F> check = F::mul(v, F::square(r));

  const Fe<F> i = F::constant(kSqrtMinusOne);
  const Fe<F> minus_u = F::neg(u);
  const auto correct_sign = F::equal(check, u);
  const auto flipped_sign = F::equal(check, minus_u);
  const auto flipped_sign_i = F::equal(check, F::mul(minus_u, i));

  r = F::select(r, F::mul(r, i), F::mask_or(flipped_sign, flipped_sign_i));
  return {F::mask_or(correct_sign, flipped_sign), absolute<F>(r)};
}

// Whether a is a square (0 counts as one): the first result of sqrt_ratio(a, 1).
template <class F>
typename F::Mask is_square(const Fe<F>& a) {
  return sqrt_ratio<F>(a, F::one()).is_square;
}

}  // namespace veltrane::group::curve
