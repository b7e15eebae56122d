// Helpers shared by the group tests: hex conversion, deterministic random
// bytes and libsodium set-up (libsodium is the reference here).
#pragma once

#include <sodium.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

#include "group/edwards.hpp"

namespace veltrane::group::testing {

inline std::array<std::uint8_t, 32> from_hex32(const std::string& hex) {
  std::array<std::uint8_t, 32> out{};
  for (std::size_t i = 0; i < 32; ++i) out[i] = std::stoi(hex.substr(2 * i, 2), nullptr, 16);
  return out;
}

template <std::size_t N>
std::string to_hex(const std::array<std::uint8_t, N>& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (std::uint8_t b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

inline std::array<std::uint8_t, 32> filled(std::uint8_t first, std::uint8_t middle,
                                           std::uint8_t last) {
  std::array<std::uint8_t, 32> out;
  out.fill(middle);
  out[0] = first;
  out[31] = last;
  return out;
}

// How many random items a differential test draws. The instrumented builds
// (sanitizers) run these tests to find memory errors, which the first few
// thousand items meet as surely as the hundred-thousandth, at a tenth or less
// of the time; VELTRANE_TEST_SHRINK=N divides the count there. The plain build
// always draws the full count, which is what proves the arithmetic.
inline std::size_t test_items(std::size_t n) {
  const char* shrink = std::getenv("VELTRANE_TEST_SHRINK");
  const long divisor = shrink ? std::strtol(shrink, nullptr, 10) : 1;
  return divisor > 1 ? std::max<std::size_t>(n / static_cast<std::size_t>(divisor), 256) : n;
}

class Bytes {
 public:
  explicit Bytes(std::uint64_t seed) : engine_(seed) {}
  template <std::size_t N>
  std::array<std::uint8_t, N> next() {
    std::array<std::uint8_t, N> out;
    for (auto& b : out) b = static_cast<std::uint8_t>(engine_());
    return out;
  }
  Scalar scalar255() {  // any value below 2^255
    Scalar k{next<32>()};
    k.bytes[31] &= 0x7F;
    return k;
  }

 private:
  std::mt19937_64 engine_;
};

inline void init_sodium() {
  if (sodium_init() < 0) std::abort();
}

// k*B computed by libsodium (k < 2^255): a point of the prime-order subgroup.
inline PointBytes sodium_base_mul(const Scalar& k) {
  PointBytes p{};
  if (crypto_scalarmult_ed25519_base_noclamp(p.data(), k.bytes.data()) != 0) p = {};
  return p;
}

inline Point must_decompress(const PointBytes& b) { return decompress(b.data()).value(); }

}  // namespace veltrane::group::testing
