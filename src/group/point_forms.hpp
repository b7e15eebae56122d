// Internal point representations and the complete addition and doubling
// formulas on -x^2 + y^2 = 1 + d x^2 y^2 (a = -1; d not a square, so the
// formulas hold for every pair of points, equal, identity and small-order
// points included).
//
//   Point (extended)  (X : Y : Z : T), x = X/Z, y = Y/Z, xy = T/Z
//   ProjectivePoint   (X : Y : Z), enough as input to a doubling
//   CompletedPoint    x = X/Z, y = Y/T: the raw output of add and double
//   CachedPoint       (Y + X, Y - X, Z, 2dT): the second operand of add
//   AffineCached      (y + x, y - x, 2dxy) with Z = 1: fixed-base entries
#pragma once

#include <array>
#include <cstdint>

#include "group/edwards.hpp"
#include "group/field.hpp"

namespace veltrane::group::detail {

struct ProjectivePoint {
  FieldElement X, Y, Z;
};

struct CompletedPoint {
  FieldElement X, Y, Z, T;
};

struct CachedPoint {
  FieldElement y_plus_x, y_minus_x, Z, T2d;
};

inline ProjectivePoint to_projective(const CompletedPoint& c) {
  return {fe_mul(c.X, c.T), fe_mul(c.Y, c.Z), fe_mul(c.Z, c.T)};
}

inline Point to_extended(const CompletedPoint& c) {
  return {fe_mul(c.X, c.T), fe_mul(c.Y, c.Z), fe_mul(c.Z, c.T), fe_mul(c.X, c.Y)};
}

inline ProjectivePoint to_projective(const Point& p) { return {p.X, p.Y, p.Z}; }

inline CachedPoint to_cached(const Point& p) {
  return {fe_add(p.Y, p.X), fe_sub(p.Y, p.X), p.Z, fe_mul(p.T, kEdwardsD2)};
}

// 2P from (X : Y : Z): 4 squarings.
inline CompletedPoint double_projective(const ProjectivePoint& p) {
  const FieldElement xx = fe_square(p.X);
  const FieldElement yy = fe_square(p.Y);
  const FieldElement zz = fe_square(p.Z);
  const FieldElement zz2 = fe_add(zz, zz);
  const FieldElement sum = fe_add(yy, xx);    // loose
  const FieldElement diff = fe_sub(yy, xx);
  return {fe_sub(fe_square(fe_add(p.X, p.Y)), sum), sum, diff, fe_sub(zz2, diff)};
}

// P + Q with Q cached: 4 multiplications.
inline CompletedPoint add_cached(const Point& p, const CachedPoint& q) {
  const FieldElement a = fe_mul(fe_sub(p.Y, p.X), q.y_minus_x);
  const FieldElement b = fe_mul(fe_add(p.Y, p.X), q.y_plus_x);
  const FieldElement c = fe_mul(p.T, q.T2d);
  const FieldElement zz = fe_mul(p.Z, q.Z);
  const FieldElement d = fe_add(zz, zz);
  return {fe_sub(b, a), fe_add(b, a), fe_add(d, c), fe_sub(d, c)};
}

// P + Q with Q affine: 3 multiplications.
inline CompletedPoint add_affine(const Point& p, const AffineCached& q) {
  const FieldElement a = fe_mul(fe_sub(p.Y, p.X), q.y_minus_x);
  const FieldElement b = fe_mul(fe_add(p.Y, p.X), q.y_plus_x);
  const FieldElement c = fe_mul(p.T, q.xy2d);
  const FieldElement d = fe_add(p.Z, p.Z);
  return {fe_sub(b, a), fe_add(b, a), fe_add(d, c), fe_sub(d, c)};
}

// 16P by four doublings; the intermediate results stay projective.
inline CompletedPoint times_16(const ProjectivePoint& p) {
  CompletedPoint c = double_projective(p);
  c = double_projective(to_projective(c));
  c = double_projective(to_projective(c));
  return double_projective(to_projective(c));
}

inline CachedPoint cached_identity() { return {kFieldOne, kFieldOne, kFieldOne, kFieldZero}; }
inline AffineCached affine_identity() { return {kFieldOne, kFieldOne, kFieldZero}; }

inline void cmov(CachedPoint& r, const CachedPoint& a, Choice c) {
  fe_cmov(r.y_plus_x, a.y_plus_x, c);
  fe_cmov(r.y_minus_x, a.y_minus_x, c);
  fe_cmov(r.Z, a.Z, c);
  fe_cmov(r.T2d, a.T2d, c);
}

inline void cmov(AffineCached& r, const AffineCached& a, Choice c) {
  fe_cmov(r.y_plus_x, a.y_plus_x, c);
  fe_cmov(r.y_minus_x, a.y_minus_x, c);
  fe_cmov(r.xy2d, a.xy2d, c);
}

// -Q swaps y + x with y - x and negates the xy term.
inline void cneg(CachedPoint& r, Choice c) {
  fe_cswap(r.y_plus_x, r.y_minus_x, c);
  fe_cneg(r.T2d, c);
}

inline void cneg(AffineCached& r, Choice c) {
  fe_cswap(r.y_plus_x, r.y_minus_x, c);
  fe_cneg(r.xy2d, c);
}

// 1 when a == b, for 0 <= a, b < 2^31, without a comparison.
inline Choice equal_small(std::uint32_t a, std::uint32_t b) {
  return static_cast<Choice>(((a ^ b) - 1) >> 31);
}

// entries[|digit| - 1] (the identity for 0), negated when digit < 0;
// digit in -8..8. Reads every entry.
template <typename Entry>
inline Entry select_signed(const std::array<Entry, 8>& entries, std::int8_t digit,
                           Entry identity) {
  const auto value = static_cast<std::uint32_t>(static_cast<std::int32_t>(digit));
  const std::uint32_t negative = value >> 31;
  const std::uint32_t magnitude = (value ^ (0u - negative)) + negative;
  Entry r = identity;
  for (std::uint32_t j = 0; j < 8; ++j) cmov(r, entries[j], equal_small(magnitude, j + 1));
  cneg(r, negative);
  return r;
}

// Signed radix 16: k = sum of digit[j] * 16^j, digits 0..62 in -8..7 and
// digit 63 in -8..8 (k < 2^255).
inline std::array<std::int8_t, 64> signed_radix16(const Scalar& k) {
  std::array<std::int8_t, 64> e;
  for (int i = 0; i < 32; ++i) {
    e[2 * i] = static_cast<std::int8_t>(k.bytes[i] & 15);
    e[2 * i + 1] = static_cast<std::int8_t>(k.bytes[i] >> 4);
  }
  for (int j = 0; j < 63; ++j) {
    const int c = (e[j] + 8) >> 4;
    e[j] = static_cast<std::int8_t>(e[j] - 16 * c);
    e[j + 1] = static_cast<std::int8_t>(e[j + 1] + c);
  }
  return e;
}

}  // namespace veltrane::group::detail
