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

// A secret-key argument: exactly 32 bytes (else FatalError with the slice
// length message), bit 255 cleared, never reduced modulo l.
Scalar secret_key_scalar(std::span<const std::uint8_t> key);

}  // namespace veltrane::group
