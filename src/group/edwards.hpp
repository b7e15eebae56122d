// The edwards25519 group: points, their 32-byte encodings and the scalar
// multiplications the protocol uses. Every scalar here is secret or random:
// no branch and no memory index depends on one.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "group/curve/types.hpp"
#include "group/field.hpp"
#include "group/scalar.hpp"
#include "group/scalar_field.hpp"

namespace veltrane::group {

// Extended coordinates: x = X/Z, y = Y/Z, x*y = T/Z.
using Point = curve::PointT<ScalarField>;

using PointBytes = std::array<std::uint8_t, 32>;

Point identity_point();
Point base_point();

// Lenient decoding: bit 255 is the sign of x, y is read modulo p (aliases
// accepted), sign 1 with x = 0 accepted. None when y gives no curve point.
std::optional<Point> decompress(const std::uint8_t bytes[32]);
PointBytes compress(const Point& p);
// compress of every point, sharing one inversion among them (Montgomery's
// trick; every Z of a valid point is non-zero). out.size() == points.size().
void compress_batch(std::span<const Point> points, std::span<PointBytes> out);

// Exactly 32 bytes that decompress; else FatalError with the slice length
// message or "The public key was not a valid curve point.".
Point decode_public_key(std::span<const std::uint8_t> bytes);

Point add_points(const Point& p, const Point& q);
Point double_point(const Point& p);
Point negate_point(const Point& p);
// Same group element; no data-dependent branch.
bool points_equal(const Point& p, const Point& q);

// k*Q for any k < 2^255, the whole integer k (no reduction).
Point mul_point(const Scalar& k, const Point& q);
// k times the prime-order component of Q: (k/8 mod l) * 8Q. Equal to
// mul_point(k, Q) for every Q of the prime-order subgroup; a small-order
// component of Q never shows in the result.
Point mul_prime_component(const Scalar& k, const Point& q);
// k*B from the constant table of the base point.
Point mul_base(const Scalar& k);

// A table entry: the affine point (x, y) held as y + x, y - x and 2*d*x*y.
using AffineCached = curve::AffineCachedT<ScalarField>;

// 32 rows of 8 multiples j * 256^r * Q, for repeated k*Q with one Q:
// rows[r][j - 1] = j * 256^r * Q. Read-only once built.
struct FixedBaseTable {
  std::array<std::array<AffineCached, 8>, 32> rows;
};
// The constant table of the base point, built on first use.
const FixedBaseTable& base_point_table();
std::unique_ptr<FixedBaseTable> build_fixed_base_table(const Point& q);
Point mul_fixed(const FixedBaseTable& table, const Scalar& k);

// Elligator 2 map of a field element to the canonical Montgomery u bytes.
std::array<std::uint8_t, 32> elligator2_map(const FieldElement& r);
// Montgomery u (bit 255 ignored) and sign bit to the Edwards point; none for u = -1
// or when the resulting y does not decode.
std::optional<Point> montgomery_to_edwards(const std::uint8_t u[32], bool sign);
// montgomery_to_edwards(elligator2_map(r), sign) in projective form: the same
// point from two exponentiations (one square test, one square root) instead
// of two inversions and two square roots.
std::optional<Point> elligator2_point(const FieldElement& r, bool sign);

}  // namespace veltrane::group
