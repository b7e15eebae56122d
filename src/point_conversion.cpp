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
  const std::optional<Point> q = elligator2_point(r, (rep[31] >> 7) != 0);
  if (!q) fatal(kInvalidMapPoint);
  return *q;
}

namespace {

// u = (Z + Y)/(Z - Y) = N/D, and u + A = (N + A D)/D.
struct MontgomeryFraction {
  FieldElement n, n_plus_a_d, d;
};

MontgomeryFraction montgomery_fraction(const Point& p) {
  const FieldElement n = fe_carry(fe_add(p.Z, p.Y));
  const FieldElement d = fe_sub(p.Z, p.Y);
  return {n, fe_carry(fe_add(n, fe_mul(kMontgomeryA, d))), d};
}

}  // namespace

bool has_representative(const Point& p) {
  // The test value -2u(u + A) equals -2N(N + A D)/D^2, a non-zero square
  // exactly when -2N(N + A D) is one. For D = 0 (the identity, where u is
  // taken as 0) this is -2N^2, never a square since -2 is not.
  const MontgomeryFraction f = montgomery_fraction(p);
  const FieldElement t = fe_mul(f.n, f.n_plus_a_d);
  const FieldElement w = fe_neg(fe_add(t, t));
  return (fe_sqrt_ratio(w, kFieldOne).is_square & (1 - fe_is_zero(w))) != 0;
}

std::optional<PointBytes> point_to_representative(const Point& p,
                                                  random::ChaCha12Generator& rng) {
  const Choice use_u_plus_a = rng.draw_bool() ? 1 : 0;

  // The two preimages r of u satisfy r^2 = -u / (2(u + A)) (bit 0) or
  // -(u + A) / (2u) (bit 1), that is -N / (2(N + A D)) or -(N + A D) / (2N).
  // Both exist exactly when -2u(u + A) is a non-zero square, which is when
  // the chosen ratio is a square with N, N + A D and D all non-zero.
  const MontgomeryFraction f = montgomery_fraction(p);
  FieldElement num = f.n;
  FieldElement den = f.n_plus_a_d;
  fe_cswap(num, den, use_u_plus_a);
  const SqrtRatio r = fe_sqrt_ratio(fe_neg(num), fe_carry(fe_add(den, den)));
  const Choice degenerate = fe_is_zero(fe_mul(fe_mul(f.n, f.n_plus_a_d), f.d));
  if ((r.is_square & (1 - degenerate)) == 0) return std::nullopt;

  // Map r forward again; the sign bit records whether P is that point or its
  // negation (the positive-x point).
  const std::optional<Point> q = elligator2_point(r.root, false);
  if (!q) fatal(kInvalidMapPoint);

  PointBytes out = fe_to_bytes(r.root);
  const bool same = points_equal(*q, p);
  out[31] |= static_cast<std::uint8_t>(static_cast<unsigned>(!same) << 7);
  return out;
}

}  // namespace veltrane
