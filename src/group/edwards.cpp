// Points: encodings, addition, doubling, negation and comparison.
#include "group/edwards.hpp"

#include <algorithm>

#include "common/fatal_error.hpp"
#include "group/point_forms.hpp"

namespace veltrane::group {

using detail::CompletedPoint;

Point identity_point() { return {kFieldZero, kFieldOne, kFieldOne, kFieldZero}; }

Point base_point() {
  static const Point base = [] {
    std::uint8_t bytes[32];
    bytes[0] = 0x58;
    for (int i = 1; i < 32; ++i) bytes[i] = 0x66;
    return *decompress(bytes);
  }();
  return base;
}

std::optional<Point> decompress(const std::uint8_t bytes[32]) {
  const Choice sign = bytes[31] >> 7;
  const FieldElement y = fe_from_bytes(bytes);
  const FieldElement yy = fe_square(y);
  const FieldElement u = fe_sub(yy, kFieldOne);
  const FieldElement v = fe_add(fe_mul(kEdwardsD, yy), kFieldOne);
  SqrtRatio root = fe_sqrt_ratio(u, v);
  if (root.is_square == 0) return std::nullopt;
  fe_cneg(root.root, sign);  // -0 = 0: sign 1 with x = 0 is the same point
  return Point{root.root, y, kFieldOne, fe_mul(root.root, y)};
}

PointBytes compress(const Point& p) {
  const FieldElement z = fe_invert(p.Z);
  const FieldElement x = fe_mul(p.X, z);
  const FieldElement y = fe_mul(p.Y, z);
  PointBytes out = fe_to_bytes(y);
  out[31] |= static_cast<std::uint8_t>(fe_is_negative(x) << 7);
  return out;
}

void compress_batch(std::span<const Point> points, std::span<PointBytes> out) {
  constexpr std::size_t kChunk = 16;
  for (std::size_t base = 0; base < points.size(); base += kChunk) {
    const std::size_t n = std::min(kChunk, points.size() - base);
    // prefix[i] = Z_0 * ... * Z_(i-1); one inversion of the full product.
    FieldElement prefix[kChunk];
    FieldElement acc = kFieldOne;
    for (std::size_t i = 0; i < n; ++i) {
      prefix[i] = acc;
      acc = fe_mul(acc, points[base + i].Z);
    }
    FieldElement inverse = fe_invert(acc);  // 1 / (Z_0 * ... * Z_(n-1))
    for (std::size_t i = n; i-- > 0;) {
      const Point& p = points[base + i];
      const FieldElement z = fe_mul(inverse, prefix[i]);  // 1 / Z_i
      inverse = fe_mul(inverse, p.Z);
      PointBytes bytes = fe_to_bytes(fe_mul(p.Y, z));
      bytes[31] |= static_cast<std::uint8_t>(fe_is_negative(fe_mul(p.X, z)) << 7);
      out[base + i] = bytes;
    }
  }
}

Point decode_public_key(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != 32) fatal(slice_length_message(bytes.size(), 32));
  const std::optional<Point> point = decompress(bytes.data());
  if (!point) fatal("The public key was not a valid curve point.");
  return *point;
}

Point add_points(const Point& p, const Point& q) {
  return detail::to_extended(detail::add_cached(p, detail::to_cached(q)));
}

Point double_point(const Point& p) {
  return detail::to_extended(detail::double_projective(detail::to_projective(p)));
}

Point negate_point(const Point& p) { return {fe_neg(p.X), p.Y, p.Z, fe_neg(p.T)}; }

bool points_equal(const Point& p, const Point& q) {
  const Choice same_x = fe_equal(fe_mul(p.X, q.Z), fe_mul(q.X, p.Z));
  const Choice same_y = fe_equal(fe_mul(p.Y, q.Z), fe_mul(q.Y, p.Z));
  return (same_x & same_y) != 0;
}

}  // namespace veltrane::group
