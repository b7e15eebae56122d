// Scalars: integers below 2^255 as 32 bytes little-endian.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace veltrane::group {

struct Scalar {
  std::array<std::uint8_t, 32> bytes{};
};

// 512-bit little-endian integer modulo the group order l (result < l).
Scalar reduce_wide(const std::uint8_t wide[64]);

// k / 8 modulo l: (k * (8^-1 mod l)) mod l, for any k < 2^256, in a fixed
// sequence of operations. Multiplying a point by 8 and then by k / 8 gives
// k times its prime-order component: the small-order part is cleared, and a
// point of the prime-order subgroup gets exactly k * P.
Scalar divide_by_cofactor(const Scalar& k);

// Signed radix 16: k = sum of digit[j] * 16^j, digits 0..62 in -8..7 and
// digit 63 in -8..8 (k < 2^255). Secret when k is; the caller wipes it.
std::array<std::int8_t, 64> signed_radix16(const Scalar& k);

// A secret-key argument: exactly 32 bytes (else FatalError with the slice
// length message), bit 255 cleared, never reduced modulo l.
Scalar secret_key_scalar(std::span<const std::uint8_t> key);

}  // namespace veltrane::group
