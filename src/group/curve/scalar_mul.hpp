// Scalar multiplications over any field backend F, one scalar per lane.
// Every scalar is secret or random: each lane's digits only ever become
// masks, every table entry is read, and the sequence of operations is fixed.
#pragma once

#include <array>
#include <cstdint>

#include "common/secret.hpp"
#include "group/curve/points.hpp"
#include "group/scalar.hpp"

namespace veltrane::group {
struct FixedBaseTable;  // group/edwards.hpp
}

namespace veltrane::group::curve {

// Signed radix-16 digits of every lane's scalar, wiped when done.
template <class F>
class LaneDigits {
 public:
  explicit LaneDigits(const Scalar* const k[F::kLanes]) {
    for (int lane = 0; lane < F::kLanes; ++lane) {
      const std::array<std::int8_t, 64> d = signed_radix16(*k[lane]);
      for (int j = 0; j < 64; ++j) digits_[j][lane] = d[j];
    }
  }
  ~LaneDigits() { secure_wipe(digits_, sizeof digits_); }
  LaneDigits(const LaneDigits&) = delete;
  LaneDigits& operator=(const LaneDigits&) = delete;

  typename F::Index operator[](int j) const { return F::index(digits_[j]); }

 private:
  std::int8_t digits_[64][F::kLanes];
};

// entries[|digit| - 1] (the identity for 0), negated when the digit is negative.
template <class F>
Cached<F> select_cached(const std::array<Cached<F>, 8>& entries, const typename F::Index& index) {
  Cached<F> r{F::one(), F::one(), F::one(), F::zero()};
  for (std::uint32_t j = 0; j < 8; ++j) {
    const typename F::Mask m = F::index_is(index, j + 1);
    r.y_plus_x = F::select(r.y_plus_x, entries[j].y_plus_x, m);
    r.y_minus_x = F::select(r.y_minus_x, entries[j].y_minus_x, m);
    r.Z = F::select(r.Z, entries[j].Z, m);
    r.T2d = F::select(r.T2d, entries[j].T2d, m);
  }
  // -Q swaps y + x with y - x and negates the xy term.
  F::cswap(r.y_plus_x, r.y_minus_x, F::index_negative(index));
  r.T2d = conditional_negate<F>(r.T2d, F::index_negative(index));
  return r;
}

// The same from one shared row of one-item entries, broadcast into every lane.
template <class F, class Row>
AffineCachedT<F> select_affine(const Row& row, const typename F::Index& index) {
  AffineCachedT<F> r{F::one(), F::one(), F::zero()};
  for (std::uint32_t j = 0; j < 8; ++j) {
    const typename F::Mask m = F::index_is(index, j + 1);
    r.y_plus_x = F::select(r.y_plus_x, F::constant(row[j].y_plus_x), m);
    r.y_minus_x = F::select(r.y_minus_x, F::constant(row[j].y_minus_x), m);
    r.xy2d = F::select(r.xy2d, F::constant(row[j].xy2d), m);
  }
  F::cswap(r.y_plus_x, r.y_minus_x, F::index_negative(index));
  r.xy2d = conditional_negate<F>(r.xy2d, F::index_negative(index));
  return r;
}

// k*Q per lane for any k < 2^255, the whole integer k: a table of 1Q..8Q,
// then for each digit from the top four doublings and one addition.
template <class F>
PointT<F> mul_point(const Scalar* const k[F::kLanes], const PointT<F>& q) {
  const LaneDigits<F> digits(k);
  std::array<Cached<F>, 8> multiples;
  multiples[0] = to_cached<F>(q);
  PointT<F> sum = q;
  for (int j = 1; j < 8; ++j) {
    sum = to_extended<F>(add_cached<F>(sum, multiples[0]));
    multiples[j] = to_cached<F>(sum);
  }
  Completed<F> r = add_cached<F>(identity<F>(), select_cached<F>(multiples, digits[63]));
  for (int j = 62; j >= 0; --j) {
    const PointT<F> r16 = to_extended<F>(times_16<F>(to_projective<F>(r)));
    r = add_cached<F>(r16, select_cached<F>(multiples, digits[j]));
  }
  return to_extended<F>(r);
}

// k*Q per lane from the shared table of Q: the odd digits, four doublings,
// then the even digits.
template <class F, class Table>
PointT<F> mul_fixed(const Table& table, const Scalar* const k[F::kLanes]) {
  const LaneDigits<F> digits(k);
  PointT<F> r = identity<F>();
  for (int j = 1; j < 64; j += 2) {
    r = to_extended<F>(add_affine<F>(r, select_affine<F>(table.rows[j / 2], digits[j])));
  }
  r = to_extended<F>(times_16<F>(to_projective<F>(r)));
  for (int j = 0; j < 64; j += 2) {
    r = to_extended<F>(add_affine<F>(r, select_affine<F>(table.rows[j / 2], digits[j])));
  }
  return r;
}

}  // namespace veltrane::group::curve
