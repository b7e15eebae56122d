// Points of the one-item field: encodings, addition, doubling, negation and
// comparison, from the shared curve templates.
#include "group/edwards.hpp"

#include <algorithm>

#include "common/fatal_error.hpp"
#include "group/curve/encoding.hpp"
#include "group/curve/points.hpp"

namespace veltrane::group {

using F = ScalarField;

Point identity_point() { return curve::identity<F>(); }

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
  const std::uint8_t* const in[1] = {bytes};
  const curve::Decoded<F> d = curve::decompress<F>(in);
  if (d.valid == 0) return std::nullopt;
  return d.point;
}

PointBytes compress(const Point& p) {
  PointBytes out;
  std::uint8_t* const outs[1] = {out.data()};
  curve::encode_affine<F>(p, fe_invert(p.Z), outs);
  return out;
}

void compress_batch(std::span<const Point> points, std::span<PointBytes> out) {
  for (std::size_t base = 0; base < points.size(); base += curve::kMaxShared) {
    const std::size_t n = std::min(curve::kMaxShared, points.size() - base);
    std::uint8_t* outs[curve::kMaxShared];
    for (std::size_t i = 0; i < n; ++i) outs[i] = out[base + i].data();
    curve::compress_many<F>(points.data() + base, n, outs);
  }
}

Point decode_public_key(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != 32) fatal(slice_length_message(bytes.size(), 32));
  const std::optional<Point> point = decompress(bytes.data());
  if (!point) fatal("The public key was not a valid curve point.");
  return *point;
}

Point add_points(const Point& p, const Point& q) { return curve::add<F>(p, q); }

Point double_point(const Point& p) { return curve::double_point<F>(p); }

Point negate_point(const Point& p) { return {fe_neg(p.X), p.Y, p.Z, fe_neg(p.T)}; }

bool points_equal(const Point& p, const Point& q) { return curve::equal<F>(p, q) != 0; }

}  // namespace veltrane::group
