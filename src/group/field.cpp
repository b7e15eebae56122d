// Exponentiations modulo p by fixed addition chains, and the square root of
// a ratio built on them. The chains depend only on the exponent, so they run
// in constant time.
#include "group/field.hpp"

namespace veltrane::group {

namespace {

// a^(2^250 - 1), and a^11 on the side (needed by the inversion chain).
FieldElement pow_2_250_minus_1(const FieldElement& a, FieldElement& a11) {
  const FieldElement a2 = fe_square(a);                    // 2
  const FieldElement a9 = fe_mul(fe_square_n(a2, 2), a);   // 9
  a11 = fe_mul(a9, a2);                                    // 11
  const FieldElement e5 = fe_mul(fe_square(a11), a9);      // 2^5 - 1
  const FieldElement e10 = fe_mul(fe_square_n(e5, 5), e5);        // 2^10 - 1
  const FieldElement e20 = fe_mul(fe_square_n(e10, 10), e10);     // 2^20 - 1
  const FieldElement e40 = fe_mul(fe_square_n(e20, 20), e20);     // 2^40 - 1
  const FieldElement e50 = fe_mul(fe_square_n(e40, 10), e10);     // 2^50 - 1
  const FieldElement e100 = fe_mul(fe_square_n(e50, 50), e50);    // 2^100 - 1
  const FieldElement e200 = fe_mul(fe_square_n(e100, 100), e100); // 2^200 - 1
  return fe_mul(fe_square_n(e200, 50), e50);                      // 2^250 - 1
}

}  // namespace

FieldElement fe_invert(const FieldElement& a) {
  FieldElement a11;
  const FieldElement e250 = pow_2_250_minus_1(a, a11);
  return fe_mul(fe_square_n(e250, 5), a11);  // 2^255 - 32 + 11 = p - 2
}

FieldElement fe_pow22523(const FieldElement& a) {
  FieldElement a11;
  const FieldElement e250 = pow_2_250_minus_1(a, a11);
  return fe_mul(fe_square_n(e250, 2), a);  // 2^252 - 4 + 1
}

SqrtRatio fe_sqrt_ratio(const FieldElement& u, const FieldElement& v) {
  const FieldElement v3 = fe_mul(fe_square(v), v);
  const FieldElement v7 = fe_mul(fe_square(v3), v);
  // r = u v^3 (u v^7)^((p-5)/8): a square root of u/v up to a factor of i.
  FieldElement r = fe_mul(fe_mul(u, v3), fe_pow22523(fe_mul(u, v7)));
  const FieldElement check = fe_mul(v, fe_square(r));

  const FieldElement minus_u = fe_neg(u);
  const Choice correct_sign = fe_equal(check, u);
  const Choice flipped_sign = fe_equal(check, minus_u);
  const Choice flipped_sign_i = fe_equal(check, fe_mul(minus_u, kSqrtMinusOne));

  fe_cmov(r, fe_mul(r, kSqrtMinusOne), flipped_sign | flipped_sign_i);
  return SqrtRatio{correct_sign | flipped_sign, fe_abs(r)};
}

}  // namespace veltrane::group
