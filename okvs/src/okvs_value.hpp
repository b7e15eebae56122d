// The 64-byte value held by every cell of the store.
//
// The store never looks inside a value; the only operation on values is
// bytewise XOR, whose neutral element is the all-zero value.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "random_source.hpp"

namespace veltrane::okvs {

inline constexpr std::size_t VALUE_SIZE = 64;

struct OkvsValue {
  std::array<std::uint8_t, VALUE_SIZE> bytes{};

  OkvsValue& operator^=(const OkvsValue& other) noexcept {
    for (std::size_t j = 0; j < VALUE_SIZE; ++j) bytes[j] ^= other.bytes[j];
    return *this;
  }
  friend OkvsValue operator^(OkvsValue a, const OkvsValue& b) noexcept { return a ^= b; }
  friend bool operator==(const OkvsValue&, const OkvsValue&) = default;
};

// A fresh value: two successive 32-byte fills, bytes 0..31 first.
inline OkvsValue random_value(RandomSource& rng) {
  OkvsValue v;
  rng.draw_bytes(v.bytes.data(), 32);
  rng.draw_bytes(v.bytes.data() + 32, 32);
  return v;
}

}  // namespace veltrane::okvs
