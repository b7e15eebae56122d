// Eight 64-bit lanes in plain C++: the exact per-lane behaviour of the AVX-512
// IFMA instructions the lane field uses, including the truncation of the
// multiply-add inputs to their low 52 bits. It builds everywhere and is what
// proves the lane code on machines without IFMA; it is too slow to serve.
//
// No operation branches on lane contents: masks are built arithmetically.
#pragma once

#include <cstdint>

namespace veltrane::group::lanes {

struct PortableU64x8 {
  static constexpr int kLanes = 8;
  struct Vec {
    std::uint64_t v[8];
  };
  // Bit i set: lane i selected.
  struct Mask {
    std::uint32_t bits;
  };

  static Vec set1(std::uint64_t x) {
    Vec r;
    for (int i = 0; i < 8; ++i) r.v[i] = x;
    return r;
  }
  static Vec load(const std::uint64_t* p) {
    Vec r;
    for (int i = 0; i < 8; ++i) r.v[i] = p[i];
    return r;
  }
  static void store(std::uint64_t* p, const Vec& a) {
    for (int i = 0; i < 8; ++i) p[i] = a.v[i];
  }

  static Vec add(const Vec& a, const Vec& b) {
    Vec r;
    for (int i = 0; i < 8; ++i) r.v[i] = a.v[i] + b.v[i];
    return r;
  }
  static Vec sub(const Vec& a, const Vec& b) {
    Vec r;
    for (int i = 0; i < 8; ++i) r.v[i] = a.v[i] - b.v[i];
    return r;
  }
  static Vec bit_and(const Vec& a, const Vec& b) {
    Vec r;
    for (int i = 0; i < 8; ++i) r.v[i] = a.v[i] & b.v[i];
    return r;
  }
  static Vec bit_xor(const Vec& a, const Vec& b) {
    Vec r;
    for (int i = 0; i < 8; ++i) r.v[i] = a.v[i] ^ b.v[i];
    return r;
  }
  template <int n>
  static Vec shl(const Vec& a) {
    Vec r;
    for (int i = 0; i < 8; ++i) r.v[i] = a.v[i] << n;
    return r;
  }
  template <int n>
  static Vec shr(const Vec& a) {
    Vec r;
    for (int i = 0; i < 8; ++i) r.v[i] = a.v[i] >> n;
    return r;
  }

  // acc + low 52 bits of (a mod 2^52) * (b mod 2^52): vpmadd52luq.
  static Vec madd52lo(const Vec& acc, const Vec& a, const Vec& b) {
    Vec r;
    for (int i = 0; i < 8; ++i) r.v[i] = acc.v[i] + (product(a.v[i], b.v[i]) & kLow52);
    return r;
  }
  // acc + bits 52..103 of the same product: vpmadd52huq.
  static Vec madd52hi(const Vec& acc, const Vec& a, const Vec& b) {
    Vec r;
    for (int i = 0; i < 8; ++i)
      r.v[i] = acc.v[i] + static_cast<std::uint64_t>(product(a.v[i], b.v[i]) >> 52);
    return r;
  }

  static Mask equal(const Vec& a, const Vec& b) {
    std::uint32_t bits = 0;
    for (int i = 0; i < 8; ++i) {
      const std::uint64_t d = a.v[i] ^ b.v[i];
      // (d | -d) has its top bit set exactly when d != 0.
      const std::uint64_t nonzero = (d | (0 - d)) >> 63;
      bits |= static_cast<std::uint32_t>(1 - nonzero) << i;
    }
    return {bits};
  }
  // Lane i of b where mask bit i is set, else lane i of a.
  static Vec blend(Mask m, const Vec& a, const Vec& b) {
    Vec r;
    for (int i = 0; i < 8; ++i) {
      const std::uint64_t sel = 0 - static_cast<std::uint64_t>((m.bits >> i) & 1);
      r.v[i] = a.v[i] ^ ((a.v[i] ^ b.v[i]) & sel);
    }
    return r;
  }

  static Mask mask_and(Mask a, Mask b) { return {a.bits & b.bits}; }
  static Mask mask_or(Mask a, Mask b) { return {a.bits | b.bits}; }
  static Mask mask_not(Mask a) { return {~a.bits & 0xffu}; }
  static Mask mask_from_bits(std::uint32_t bits) { return {bits & 0xffu}; }
  static std::uint32_t mask_bits(Mask m) { return m.bits; }

 private:
  static constexpr std::uint64_t kLow52 = (std::uint64_t{1} << 52) - 1;
  static unsigned __int128 product(std::uint64_t a, std::uint64_t b) {
    return static_cast<unsigned __int128>(a & kLow52) * (b & kLow52);
  }
};

}  // namespace veltrane::group::lanes
