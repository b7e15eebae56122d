// Point representations and the complete addition and doubling formulas on
// -x^2 + y^2 = 1 + d x^2 y^2 (a = -1; d not a square, so the formulas hold
// for every pair of points: equal, identity and small-order points included),
// over any field backend F.
//
//   PointT       (X : Y : Z : T), x = X/Z, y = Y/Z, xy = T/Z (extended)
//   Projective   (X : Y : Z), enough as input to a doubling
//   Completed    x = X/Z, y = Y/T: the raw output of add and double
//   Cached       (Y + X, Y - X, Z, 2dT): the second operand of add
//   AffineCachedT (y + x, y - x, 2dxy) with Z = 1: fixed-base entries
#pragma once

#include "group/curve/field_functions.hpp"
#include "group/curve/types.hpp"
#include "group/field.hpp"

namespace veltrane::group::curve {

template <class F>
struct Projective {
  Fe<F> X, Y, Z;
};

template <class F>
struct Completed {
  Fe<F> X, Y, Z, T;
};

template <class F>
struct Cached {
  Fe<F> y_plus_x, y_minus_x, Z, T2d;
};

template <class F>
PointT<F> identity() {
  return {F::zero(), F::one(), F::one(), F::zero()};
}

template <class F>
Projective<F> to_projective(const Completed<F>& c) {
  return {F::mul(c.X, c.T), F::mul(c.Y, c.Z), F::mul(c.Z, c.T)};
}

template <class F>
PointT<F> to_extended(const Completed<F>& c) {
  return {F::mul(c.X, c.T), F::mul(c.Y, c.Z), F::mul(c.Z, c.T), F::mul(c.X, c.Y)};
}

template <class F>
Projective<F> to_projective(const PointT<F>& p) {
  return {p.X, p.Y, p.Z};
}

template <class F>
Cached<F> to_cached(const PointT<F>& p) {
  return {F::add(p.Y, p.X), F::sub(p.Y, p.X), p.Z, F::mul(p.T, F::constant(kEdwardsD2))};
}

// 2P from (X : Y : Z): 4 squarings.
template <class F>
Completed<F> double_projective(const Projective<F>& p) {
  const Fe<F> xx = F::square(p.X);
  const Fe<F> yy = F::square(p.Y);
  const Fe<F> zz = F::square(p.Z);
  const Fe<F> zz2 = F::add(zz, zz);
  const Fe<F> sum = F::add(yy, xx);
  const Fe<F> diff = F::sub(yy, xx);
  return {F::sub(F::square(F::add(p.X, p.Y)), sum), sum, diff, F::sub(zz2, diff)};
}

// P + Q with Q cached: 4 multiplications.
template <class F>
Completed<F> add_cached(const PointT<F>& p, const Cached<F>& q) {
  const Fe<F> a = F::mul(F::sub(p.Y, p.X), q.y_minus_x);
  const Fe<F> b = F::mul(F::add(p.Y, p.X), q.y_plus_x);
  const Fe<F> c = F::mul(p.T, q.T2d);
  const Fe<F> zz = F::mul(p.Z, q.Z);
  const Fe<F> d = F::add(zz, zz);
  return {F::sub(b, a), F::add(b, a), F::add(d, c), F::sub(d, c)};
}

// P + Q with Q affine: 3 multiplications.
template <class F>
Completed<F> add_affine(const PointT<F>& p, const AffineCachedT<F>& q) {
  const Fe<F> a = F::mul(F::sub(p.Y, p.X), q.y_minus_x);
  const Fe<F> b = F::mul(F::add(p.Y, p.X), q.y_plus_x);
  const Fe<F> c = F::mul(p.T, q.xy2d);
  const Fe<F> d = F::add(p.Z, p.Z);
  return {F::sub(b, a), F::add(b, a), F::add(d, c), F::sub(d, c)};
}

// 16P by four doublings; the intermediate results stay projective.
template <class F>
Completed<F> times_16(const Projective<F>& p) {
  Completed<F> c = double_projective<F>(p);
  c = double_projective<F>(to_projective<F>(c));
  c = double_projective<F>(to_projective<F>(c));
  return double_projective<F>(to_projective<F>(c));
}

// 8P by three doublings: the small-order component of P is gone.
template <class F>
PointT<F> times_eight(const PointT<F>& p) {
  Completed<F> c = double_projective<F>(to_projective<F>(p));
  c = double_projective<F>(to_projective<F>(c));
  return to_extended<F>(double_projective<F>(to_projective<F>(c)));
}

template <class F>
PointT<F> add(const PointT<F>& p, const PointT<F>& q) {
  return to_extended<F>(add_cached<F>(p, to_cached<F>(q)));
}

template <class F>
PointT<F> double_point(const PointT<F>& p) {
  return to_extended<F>(double_projective<F>(to_projective<F>(p)));
}

// Same group element: X1 Z2 = X2 Z1 and Y1 Z2 = Y2 Z1, on canonical values.
template <class F>
typename F::Mask equal(const PointT<F>& p, const PointT<F>& q) {
  return F::mask_and(F::equal(F::mul(p.X, q.Z), F::mul(q.X, p.Z)),
                     F::equal(F::mul(p.Y, q.Z), F::mul(q.Y, p.Z)));
}

template <class F>
PointT<F> select(const PointT<F>& a, const PointT<F>& b, typename F::Mask m) {
  return {F::select(a.X, b.X, m), F::select(a.Y, b.Y, m), F::select(a.Z, b.Z, m),
          F::select(a.T, b.T, m)};
}

}  // namespace veltrane::group::curve
