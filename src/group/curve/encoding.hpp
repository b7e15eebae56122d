// The 32-byte point encoding over any field backend F: lenient decoding
// (y read modulo p, bit 255 the sign of x, sign 1 with x = 0 accepted) that
// reports validity per lane, and encoding of many points with one shared
// inversion.
#pragma once

#include <cstddef>
#include <cstdint>

#include "group/curve/points.hpp"
#include "group/lanes/multi_field.hpp"

namespace veltrane::group::curve {

template <class F>
struct Decoded {
  PointT<F> point;
  typename F::Mask valid;  // lanes whose bytes are no point hold some point
};

// Bit 255 of each lane's 32 bytes, as a lane mask.
template <class F>
typename F::Mask top_bits(const std::uint8_t* const bytes[F::kLanes]) {
  std::uint32_t bits = 0;
  for (int lane = 0; lane < F::kLanes; ++lane) {
    bits |= static_cast<std::uint32_t>(bytes[lane][31] >> 7) << lane;
  }
  return F::mask_from_bits(bits);
}

// Decoding in three steps, so that two decodings can share the middle one.
template <class F>
struct DecompressInput {
  Fe<F> y, u, v;  // x^2 = u / v
  typename F::Mask negative;
};

template <class F>
DecompressInput<F> decompress_input(const std::uint8_t* const bytes[F::kLanes]) {
  const Fe<F> y = F::from_bytes(bytes);
  const Fe<F> yy = F::square(y);
  return {y, F::sub(yy, F::one()), F::add(F::mul(F::constant(kEdwardsD), yy), F::one()),
          top_bits<F>(bytes)};
}

template <class F>
Decoded<F> decompress_output(const DecompressInput<F>& in, const SqrtRatioResult<F>& root) {
  // -0 = 0: sign 1 with x = 0 is the same point.
  const Fe<F> x = conditional_negate<F>(root.root, in.negative);
  return {{x, in.y, F::one(), F::mul(x, in.y)}, root.is_square};
}

template <class F>
Decoded<F> decompress(const std::uint8_t* const bytes[F::kLanes]) {
  const DecompressInput<F> in = decompress_input<F>(bytes);
  return decompress_output<F>(in, sqrt_ratio<F>(in.u, in.v));
}

// Two decodings with their square roots interleaved: one exponentiation is
// a chain of dependent squarings, so two side by side keep the processor
// busy where one leaves it waiting on each result.
template <class F>
void decompress_two(const std::uint8_t* const a[F::kLanes], const std::uint8_t* const b[F::kLanes],
                    Decoded<F>& out_a, Decoded<F>& out_b) {
  using Two = lanes::MultiField<F, 2>;
  const DecompressInput<F> in_a = decompress_input<F>(a);
  const DecompressInput<F> in_b = decompress_input<F>(b);
  const SqrtRatioResult<Two> root =
      sqrt_ratio<Two>(typename Two::Element{{in_a.u, in_b.u}}, typename Two::Element{{in_a.v, in_b.v}});
  out_a = decompress_output<F>(in_a, {root.is_square.m[0], root.root.e[0]});
  out_b = decompress_output<F>(in_b, {root.is_square.m[1], root.root.e[1]});
}

// out[lane] = y with bit 255 the sign of x, for y = Y/Z and x = X/Z.
template <class F>
void encode_affine(const PointT<F>& p, const Fe<F>& z_inverse, std::uint8_t* const out[F::kLanes]) {
  const Fe<F> x = F::mul(p.X, z_inverse);
  const Fe<F> y = F::mul(p.Y, z_inverse);
  F::to_bytes(y, out);
  const std::uint32_t negative = F::mask_bits(F::is_negative(x));
  for (int lane = 0; lane < F::kLanes; ++lane) {
    // The sign bit is part of the output; shifting it in needs no branch.
    out[lane][31] |= static_cast<std::uint8_t>(((negative >> lane) & 1) << 7);
  }
}

inline constexpr std::size_t kMaxShared = 16;

// out[i] = 1 / z(i) for i < n <= kMaxShared, with one inversion (Montgomery's
// trick). Every z(i) must be non-zero (the Z of a point always is).
template <class F, class Z>
void invert_many(std::size_t n, const Z& z, Fe<F>* out) {
  Fe<F> prefix[kMaxShared];
  Fe<F> acc = F::one();
  for (std::size_t i = 0; i < n; ++i) {
    prefix[i] = acc;
    acc = F::mul(acc, z(i));
  }
  Fe<F> inverse = invert<F>(acc);  // 1 / (z(0) ... z(n-1))
  for (std::size_t i = n; i-- > 0;) {
    out[i] = F::mul(inverse, prefix[i]);
    inverse = F::mul(inverse, z(i));
  }
}

template <class F>
void invert_many(const Fe<F>* z, std::size_t n, Fe<F>* out) {
  invert_many<F>(n, [z](std::size_t i) -> const Fe<F>& { return z[i]; }, out);
}

// Encodes points[0..n) (n <= kMaxShared) sharing one inversion; out[i * kLanes
// + lane] receives the encoding of that lane of points[i].
template <class F>
void compress_many(const PointT<F>* points, std::size_t n,
                   std::uint8_t* const* const out /* [n][kLanes] */) {
  Fe<F> z_inverse[kMaxShared];
  invert_many<F>(n, [points](std::size_t i) -> const Fe<F>& { return points[i].Z; }, z_inverse);
  for (std::size_t i = 0; i < n; ++i) encode_affine<F>(points[i], z_inverse[i], out + i * F::kLanes);
}

}  // namespace veltrane::group::curve
