// Elligator 2 representatives of edwards25519 points.
#include "point_conversion.hpp"

#include "common/fatal_error.hpp"

namespace veltrane {

using namespace group;

namespace {
constexpr const char* kInvalidMapPoint =
    "The point from the Elligator map is invalid, this should never happen.";
}  // namespace

Point representative_to_point(const std::uint8_t rep[32]) {
  const FieldElement r = fe_from_bytes(rep);  // bit 255 ignored
  const bool sign = (rep[31] >> 7) != 0;
  const std::array<std::uint8_t, 32> u = elligator2_map(r);
  const std::optional<Point> q = montgomery_to_edwards(u.data(), sign);
  if (!q) fatal(kInvalidMapPoint);
  return *q;
}

bool has_representative(const Point& p) {
  // With u = N/D, N = Z + Y and D = Z - Y, the test value -2u(u + A) equals
  // -2N(N + A D) / D^2, a non-zero square exactly when -2N(N + A D) is one.
  // For D = 0 (the identity) this is -2N^2, never a square since -2 is not;
  // point_to_representative also fails there (u = invert(0) * N = 0).
  const FieldElement n = fe_add(p.Z, p.Y);
  const FieldElement d = fe_sub(p.Z, p.Y);
  const FieldElement t = fe_mul(n, fe_add(n, fe_mul(kMontgomeryA, d)));
  const FieldElement w = fe_neg(fe_add(t, t));
  return (fe_sqrt_ratio(w, kFieldOne).is_square & (1 - fe_is_zero(w))) != 0;
}

std::optional<PointBytes> point_to_representative(const Point& p,
                                                  random::ChaCha12Generator& rng) {
  // u = (1 + y)/(1 - y); the identity gives u = 0 through invert(0) = 0.
  const FieldElement u = fe_mul(fe_add(p.Z, p.Y), fe_invert(fe_sub(p.Z, p.Y)));
  const Choice use_u_plus_a = rng.draw_bool() ? 1 : 0;

  // The preimages r of u satisfy r^2 = -u / (2(u + A)) or -(u + A) / (2u);
  // both exist exactly when w = -2 u (u + A) is a non-zero square.
  const FieldElement u_plus_a = fe_add(u, kMontgomeryA);
  const FieldElement uw = fe_mul(u, u_plus_a);
  const FieldElement w = fe_neg(fe_add(uw, uw));
  const SqrtRatio inv_sqrt = fe_sqrt_ratio(kFieldOne, w);
  if (inv_sqrt.is_square == 0) return std::nullopt;

  FieldElement n = u;
  fe_cmov(n, u_plus_a, use_u_plus_a);
  const FieldElement r = fe_abs(fe_mul(n, inv_sqrt.root));

  // Map r forward again; the sign bit records whether P is that point or its
  // negation (the positive-x point).
  const std::array<std::uint8_t, 32> u_again = elligator2_map(r);
  const std::optional<Point> q = montgomery_to_edwards(u_again.data(), false);
  if (!q) fatal(kInvalidMapPoint);

  PointBytes out = fe_to_bytes(r);
  const bool same = points_equal(*q, p);
  out[31] |= static_cast<std::uint8_t>(static_cast<unsigned>(!same) << 7);
  return out;
}

}  // namespace veltrane
