// The Elligator 2 map (non-square 2) to the Montgomery curve
// v^2 = u^3 + A u^2 + u, and the birational map back to Edwards form.
#include "group/edwards.hpp"

namespace veltrane::group {

std::array<std::uint8_t, 32> elligator2_map(const FieldElement& r) {
  // w = 1 + 2r^2 is never 0: -1/2 is not a square.
  const FieldElement rr = fe_square(r);
  const FieldElement w = fe_add(fe_add(rr, rr), kFieldOne);
  const FieldElement t = fe_neg(fe_mul(kMontgomeryA, fe_invert(w)));
  // e = t (t^2 + A t + 1) is the right-hand side of the curve at u = t.
  const FieldElement e = fe_mul(t, fe_add(fe_add(fe_square(t), fe_mul(kMontgomeryA, t)), kFieldOne));
  const Choice square = fe_sqrt_ratio(e, kFieldOne).is_square;
  FieldElement u = fe_sub(fe_neg(t), kMontgomeryA);
  fe_cmov(u, t, square);
  return fe_to_bytes(u);
}

std::optional<Point> montgomery_to_edwards(const std::uint8_t u_bytes[32], bool sign) {
  const FieldElement u = fe_from_bytes(u_bytes);
  const FieldElement u_plus_1 = fe_add(u, kFieldOne);
  if (fe_is_zero(u_plus_1) != 0) return std::nullopt;
  const FieldElement y = fe_mul(fe_sub(u, kFieldOne), fe_invert(u_plus_1));
  std::array<std::uint8_t, 32> s = fe_to_bytes(y);
  s[31] |= static_cast<std::uint8_t>(sign ? 0x80 : 0);
  return decompress(s.data());
}

std::optional<Point> elligator2_point(const FieldElement& r, bool sign) {
  // With w = 1 + 2r^2 and t = -A/w, the map's square test on
  // e = t(t^2 + A t + 1) = -A (A^2 - A^2 w + w^2) / w^3 is the test on
  // e w^4 = -A w (A^2 - A^2 w + w^2), and u = U/W with W = w and U = -A
  // (square) or A - A w (otherwise): no inversion needed.
  const FieldElement rr = fe_square(r);
  const FieldElement w = fe_carry(fe_add(fe_add(rr, rr), kFieldOne));
  const FieldElement a_w = fe_mul(kMontgomeryA, w);
  const FieldElement a_squared = fe_mul(kMontgomeryA, kMontgomeryA);
  const FieldElement inner = fe_add(fe_sub(a_squared, fe_mul(kMontgomeryA, a_w)), fe_square(w));
  const FieldElement e_w4 = fe_neg(fe_mul(a_w, inner));
  const Choice square = fe_sqrt_ratio(e_w4, kFieldOne).is_square;
  FieldElement u_num = fe_sub(kMontgomeryA, a_w);
  fe_cmov(u_num, fe_neg(kMontgomeryA), square);

  // y = (u - 1)/(u + 1) = Yn/Zn, and decompression's x^2 = (y^2 - 1)/(d y^2 + 1)
  // = (Yn^2 - Zn^2)/(d Yn^2 + Zn^2): the same ratio, so the same root.
  const FieldElement yn = fe_sub(u_num, w);
  const FieldElement zn = fe_carry(fe_add(u_num, w));
  if (fe_is_zero(zn) != 0) return std::nullopt;  // u = -1
  const FieldElement yy = fe_square(yn);
  const FieldElement zz = fe_square(zn);
  SqrtRatio x = fe_sqrt_ratio(fe_sub(yy, zz), fe_add(fe_mul(kEdwardsD, yy), zz));
  if (x.is_square == 0) return std::nullopt;
  fe_cneg(x.root, sign ? 1 : 0);
  return Point{fe_mul(x.root, zn), yn, zn, fe_mul(x.root, yn)};
}

}  // namespace veltrane::group
