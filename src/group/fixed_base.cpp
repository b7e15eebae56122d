// Fixed-base tables: 32 rows of 8 affine multiples j * 256^r * Q.
#include <memory>

#include "group/curve/points.hpp"
#include "group/edwards.hpp"

namespace veltrane::group {

using F = ScalarField;
using namespace curve;

std::unique_ptr<FixedBaseTable> build_fixed_base_table(const Point& q) {
  constexpr int kEntries = 32 * 8;
  std::array<Point, kEntries> multiples;
  Point row_base = q;
  for (int r = 0; r < 32; ++r) {
    const Cached<F> base = to_cached<F>(row_base);
    multiples[8 * r] = row_base;
    for (int j = 1; j < 8; ++j) {
      multiples[8 * r + j] = to_extended<F>(add_cached<F>(multiples[8 * r + j - 1], base));
    }
    // 256 * row_base for the next row.
    Completed<F> c = times_16<F>(to_projective<F>(row_base));
    c = times_16<F>(to_projective<F>(c));
    row_base = to_extended<F>(c);
  }

  // One inversion for all 256 Z (Z is never 0 for a point): prefix products,
  // then peel the inverses off from the end. Q is public, so the order of
  // work does not matter for timing.
  std::array<FieldElement, kEntries> prefix;
  prefix[0] = multiples[0].Z;
  for (int i = 1; i < kEntries; ++i) prefix[i] = fe_mul(prefix[i - 1], multiples[i].Z);
  FieldElement inverse = fe_invert(prefix[kEntries - 1]);

  auto table = std::make_unique<FixedBaseTable>();
  for (int i = kEntries - 1; i >= 0; --i) {
    const FieldElement z_inv = i > 0 ? fe_mul(inverse, prefix[i - 1]) : inverse;
    if (i > 0) inverse = fe_mul(inverse, multiples[i].Z);
    const FieldElement x = fe_mul(multiples[i].X, z_inv);
    const FieldElement y = fe_mul(multiples[i].Y, z_inv);
    table->rows[i / 8][i % 8] =
        AffineCached{F::add(y, x), F::sub(y, x), fe_mul(fe_mul(x, y), kEdwardsD2)};
  }
  return table;
}

const FixedBaseTable& base_point_table() {
  static const std::unique_ptr<FixedBaseTable> table = build_fixed_base_table(base_point());
  return *table;
}

}  // namespace veltrane::group
