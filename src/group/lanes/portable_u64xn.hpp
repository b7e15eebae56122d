// N 64-bit lanes in plain C++: the exact per-lane behaviour of the vector
// instructions the lane fields use, including the truncation of multiplier
// inputs (to their low 52 bits for the IFMA multiply-adds, to their low 32
// bits for vpmuludq). It builds everywhere and is what proves the lane code
// on machines without those instruction sets; it is too slow to serve.
//
// Its operations are small loops that the compiler would inline into every
// caller many times over; the lane fields call their large operations out of
// line for this policy (kEmulated), which keeps the build quick.
//
// No operation branches on lane contents: masks are built arithmetically.
#pragma once

#include <cstdint>

namespace veltrane::group::lanes {

template <int N>
struct PortableU64xN {
  static constexpr int kLanes = N;
  static constexpr bool kEmulated = true;
  struct Vec {
    std::uint64_t v[N];
  };
  // Bit i set: lane i selected.
  struct Mask {
    std::uint32_t bits;
  };

  static Vec set1(std::uint64_t x) {
    Vec r;
    for (int i = 0; i < N; ++i) r.v[i] = x;
    return r;
  }
  static Vec load(const std::uint64_t* p) {
    Vec r;
    for (int i = 0; i < N; ++i) r.v[i] = p[i];
    return r;
  }
  static void store(std::uint64_t* p, const Vec& a) {
    for (int i = 0; i < N; ++i) p[i] = a.v[i];
  }

  static Vec add(const Vec& a, const Vec& b) {
    Vec r;
    for (int i = 0; i < N; ++i) r.v[i] = a.v[i] + b.v[i];
    return r;
  }
  static Vec sub(const Vec& a, const Vec& b) {
    Vec r;
    for (int i = 0; i < N; ++i) r.v[i] = a.v[i] - b.v[i];
    return r;
  }
  static Vec bit_and(const Vec& a, const Vec& b) {
    Vec r;
    for (int i = 0; i < N; ++i) r.v[i] = a.v[i] & b.v[i];
    return r;
  }
  static Vec bit_xor(const Vec& a, const Vec& b) {
    Vec r;
    for (int i = 0; i < N; ++i) r.v[i] = a.v[i] ^ b.v[i];
    return r;
  }
  template <int n>
  static Vec shl(const Vec& a) {
    Vec r;
    for (int i = 0; i < N; ++i) r.v[i] = a.v[i] << n;
    return r;
  }
  template <int n>
  static Vec shr(const Vec& a) {
    Vec r;
    for (int i = 0; i < N; ++i) r.v[i] = a.v[i] >> n;
    return r;
  }

  // acc + low 52 bits of (a mod 2^52) * (b mod 2^52): vpmadd52luq.
  static Vec madd52lo(const Vec& acc, const Vec& a, const Vec& b) {
    Vec r;
    for (int i = 0; i < N; ++i) r.v[i] = acc.v[i] + (product(a.v[i], b.v[i]) & kLow52);
    return r;
  }
  // acc + bits 52..103 of the same product: vpmadd52huq.
  static Vec madd52hi(const Vec& acc, const Vec& a, const Vec& b) {
    Vec r;
    for (int i = 0; i < N; ++i)
      r.v[i] = acc.v[i] + static_cast<std::uint64_t>(product(a.v[i], b.v[i]) >> 52);
    return r;
  }

  // (a mod 2^32) * (b mod 2^32), the full 64-bit product: vpmuludq.
  static Vec mul32(const Vec& a, const Vec& b) {
    Vec r;
    for (int i = 0; i < N; ++i) r.v[i] = (a.v[i] & 0xffffffffu) * (b.v[i] & 0xffffffffu);
    return r;
  }

  static Mask equal(const Vec& a, const Vec& b) {
    std::uint32_t bits = 0;
    for (int i = 0; i < N; ++i) {
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
    for (int i = 0; i < N; ++i) {
      const std::uint64_t sel = 0 - static_cast<std::uint64_t>((m.bits >> i) & 1);
      r.v[i] = a.v[i] ^ ((a.v[i] ^ b.v[i]) & sel);
    }
    return r;
  }

  static Mask mask_and(Mask a, Mask b) { return {a.bits & b.bits}; }
  static Mask mask_or(Mask a, Mask b) { return {a.bits | b.bits}; }
  static Mask mask_not(Mask a) { return {~a.bits & kAll}; }
  static Mask mask_from_bits(std::uint32_t bits) { return {bits & kAll}; }
  static std::uint32_t mask_bits(Mask m) { return m.bits; }

 private:
  static constexpr std::uint32_t kAll = (1u << N) - 1;
  static constexpr std::uint64_t kLow52 = (std::uint64_t{1} << 52) - 1;
  static unsigned __int128 product(std::uint64_t a, std::uint64_t b) {
    return static_cast<unsigned __int128>(a & kLow52) * (b & kLow52);
  }
};

// The IFMA lanes' emulation.
using PortableU64x8 = PortableU64xN<8>;

}  // namespace veltrane::group::lanes
