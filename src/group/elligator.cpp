// The Elligator 2 map (non-square 2) to the Montgomery curve
// v^2 = u^3 + A u^2 + u, and the birational map back to Edwards form: the
// literal step-by-step forms, and the projective one of the curve templates.
#include "group/curve/elligator.hpp"
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
  const curve::Decoded<ScalarField> d = curve::elligator2_point<ScalarField>(r, sign ? 1 : 0);
  if (d.valid == 0) return std::nullopt;
  return d.point;
}

}  // namespace veltrane::group
