// Fixed-base scalar multiplication from 32 rows of 8 affine multiples:
// the odd digits, four doublings, then the even digits.
#include <memory>

#include "common/secret.hpp"
#include "group/edwards.hpp"
#include "group/point_forms.hpp"

namespace veltrane::group {

using namespace detail;

std::unique_ptr<FixedBaseTable> build_fixed_base_table(const Point& q) {
  constexpr int kEntries = 32 * 8;
  std::array<Point, kEntries> multiples;
  Point row_base = q;
  for (int r = 0; r < 32; ++r) {
    const CachedPoint base = to_cached(row_base);
    multiples[8 * r] = row_base;
    for (int j = 1; j < 8; ++j) {
      multiples[8 * r + j] = to_extended(add_cached(multiples[8 * r + j - 1], base));
    }
    // 256 * row_base for the next row.
    CompletedPoint c = times_16(to_projective(row_base));
    c = times_16(to_projective(c));
    row_base = to_extended(c);
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
    table->rows[i / 8][i % 8] = AffineCached{fe_carry(fe_add(y, x)), fe_sub(y, x),
                                             fe_mul(fe_mul(x, y), kEdwardsD2)};
  }
  return table;
}

Point mul_fixed(const FixedBaseTable& table, const Scalar& k) {
  std::array<std::int8_t, 64> digits = signed_radix16(k);
  Point r = identity_point();
  for (int j = 1; j < 64; j += 2) {
    r = to_extended(add_affine(r, select_signed(table.rows[j / 2], digits[j], affine_identity())));
  }
  r = to_extended(times_16(to_projective(r)));
  for (int j = 0; j < 64; j += 2) {
    r = to_extended(add_affine(r, select_signed(table.rows[j / 2], digits[j], affine_identity())));
  }
  secure_wipe(digits.data(), digits.size());
  return r;
}

Point mul_base(const Scalar& k) {
  static const std::unique_ptr<FixedBaseTable> table = build_fixed_base_table(base_point());
  return mul_fixed(*table, k);
}

}  // namespace veltrane::group
