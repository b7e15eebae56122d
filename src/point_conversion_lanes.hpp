// Elligator 2 representatives over any field backend F, one point per lane.
// Function templates: included by the implementation files of each backend.
#pragma once

#include <cstdint>

#include "common/fatal_error.hpp"
#include "group/curve/elligator.hpp"

namespace veltrane::conversion {

using namespace group::curve;

inline constexpr const char* kInvalidMapPoint =
    "The point from the Elligator map is invalid, this should never happen.";

// Every 32-byte string maps to a point (bits 0..254 the field element r,
// bit 255 the sign).
template <class F>
PointT<F> representative_to_point(const std::uint8_t* const rep[F::kLanes]) {
  const Decoded<F> q = elligator2_point<F>(F::from_bytes(rep), top_bits<F>(rep));
  if (F::mask_bits(q.valid) != F::kAllLanes) fatal(kInvalidMapPoint);
  return q.point;
}

// representative_to_point before the sign of x is set: the point (with
// either x) and the lanes' sign bits. with_x_sign(point, 1/Z, sign) then
// gives representative_to_point's result; the inversion can be shared.
template <class F>
struct UnsignedPoint {
  PointT<F> point;
  typename F::Mask sign;
};

template <class F>
UnsignedPoint<F> representative_to_unsigned_point(const std::uint8_t* const rep[F::kLanes]) {
  const Decoded<F> q = elligator2_point_unsigned<F>(F::from_bytes(rep));
  if (F::mask_bits(q.valid) != F::kAllLanes) fatal(kInvalidMapPoint);
  return {q.point, top_bits<F>(rep)};
}

// u = (Z + Y)/(Z - Y) = N/D, and u + A = (N + A D)/D.
template <class F>
struct MontgomeryFraction {
  Fe<F> n, n_plus_a_d, d;
};

template <class F>
MontgomeryFraction<F> montgomery_fraction(const PointT<F>& p) {
  const Fe<F> n = F::add(p.Z, p.Y);
  const Fe<F> d = F::sub(p.Z, p.Y);
  return {n, F::add(n, F::mul(F::constant(group::kMontgomeryA), d)), d};
}

// Whether point_to_representative succeeds, from one square test: the test
// value -2u(u + A) equals -2N(N + A D)/D^2, a non-zero square exactly when
// -2N(N + A D) is one. For D = 0 (the identity, where u is taken as 0) this
// is -2N^2, never a square since -2 is not.
template <class F>
typename F::Mask has_representative(const PointT<F>& p) {
  const MontgomeryFraction<F> f = montgomery_fraction<F>(p);
  const Fe<F> t = F::mul(f.n, f.n_plus_a_d);
  const Fe<F> w = F::neg(F::add(t, t));
  return F::mask_and(is_square<F>(w), F::mask_not(F::is_zero(w)));
}

template <class F>
struct RepresentativeRoot {
  typename F::Mask valid;  // the lanes whose point has a representative
  Fe<F> r;                 // non-negative; the representative's field element
};

// The field element of each lane's representative, for the random bit of
// that lane (set: the preimage through u + A): one square root.
template <class F>
RepresentativeRoot<F> representative_root(const PointT<F>& p, typename F::Mask use_u_plus_a) {
  // The two preimages r of u satisfy r^2 = -u / (2(u + A)) (bit 0) or
  // -(u + A) / (2u) (bit 1), that is -N / (2(N + A D)) or -(N + A D) / (2N).
  // Both exist exactly when -2u(u + A) is a non-zero square, which is when
  // the chosen ratio is a square with N, N + A D and D all non-zero.
  const MontgomeryFraction<F> f = montgomery_fraction<F>(p);
  Fe<F> num = f.n;
  Fe<F> den = f.n_plus_a_d;
  F::cswap(num, den, use_u_plus_a);
  const SqrtRatioResult<F> r = sqrt_ratio<F>(F::neg(num), F::add(den, den));
  const auto degenerate = F::is_zero(F::mul(F::mul(f.n, f.n_plus_a_d), f.d));
  return {F::mask_and(r.is_square, F::mask_not(degenerate)), r.root};
}

// The representative bytes: r, and bit 255 set in the lanes of `flip`.
template <class F>
void write_representative(const Fe<F>& r, std::uint32_t flip, std::uint8_t* const out[F::kLanes]) {
  F::to_bytes(r, out);
  for (int lane = 0; lane < F::kLanes; ++lane) {
    out[lane][31] |= static_cast<std::uint8_t>(((flip >> lane) & 1) << 7);
  }
}

// The representative of each lane's point into out[lane], for the random
// bit of that lane. Returns the lanes whose point has one; the others'
// bytes mean nothing. The point is mapped forward again to set the sign
// bit: the map gives the point of the same y with non-negative x, so the
// bit records whether P is that point or its negation.
template <class F>
typename F::Mask point_to_representative(const PointT<F>& p, typename F::Mask use_u_plus_a,
                                         std::uint8_t* const out[F::kLanes]) {
  const RepresentativeRoot<F> root = representative_root<F>(p, use_u_plus_a);
  const Decoded<F> q = elligator2_point<F>(root.r, F::mask_from_bits(0));
  if ((F::mask_bits(root.valid) & ~F::mask_bits(q.valid)) != 0) fatal(kInvalidMapPoint);
  write_representative<F>(root.r, F::mask_bits(F::mask_not(equal<F>(q.point, p))), out);
  return root.valid;
}

}  // namespace veltrane::conversion
