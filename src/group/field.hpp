// Arithmetic modulo p = 2^255 - 19: the one interface through which point
// code touches field elements. Nothing outside this header and field.cpp
// reads the limbs, so another backend (for instance a vectorised one) can
// replace this file without changes elsewhere.
//
// Representation: five unsigned 64-bit limbs of 51 bits (radix 2^51).
// Limb bounds, which the point formulas respect:
//   tight  every limb < 2^51 + 2^13: results of mul, square, sub, neg, carry,
//          from_bytes and the constants;
//   loose  the sum of two tight values (< 2^52 + 2^14): results of add.
// mul and square accept any limbs below 2^54 (e.g. loose + tight); the
// subtrahend of sub and the argument of neg must be at most loose.
//
// Every function here runs in constant time: no branch and no memory index
// depends on the value of an element.
#pragma once

#include <array>
#include <cstdint>

namespace veltrane::group {

// A secret-dependent truth value: exactly 0 or 1, never used to branch.
using Choice = std::uint64_t;

struct FieldElement {
  std::uint64_t limb[5];  // private to the field implementation
};

namespace field_detail {

inline constexpr std::uint64_t kMask51 = (std::uint64_t{1} << 51) - 1;

// Keeps the optimiser from recognising a mask as a boolean and turning the
// arithmetic that uses it back into a branch or a conditional move.
inline std::uint64_t opaque(std::uint64_t x) {
  asm("" : "+r"(x));
  return x;
}

// All-ones when c is 1, zero when c is 0.
inline std::uint64_t mask_of(Choice c) { return opaque(std::uint64_t{0} - c); }

// Weak reduction: carries every limb into the next, the top one back into
// limb 0 times 19. Input limbs below 2^59 give a tight result.
inline FieldElement carry(std::uint64_t h0, std::uint64_t h1, std::uint64_t h2, std::uint64_t h3,
                          std::uint64_t h4) {
  h1 += h0 >> 51;
  h0 &= kMask51;
  h2 += h1 >> 51;
  h1 &= kMask51;
  h3 += h2 >> 51;
  h2 &= kMask51;
  h4 += h3 >> 51;
  h3 &= kMask51;
  h0 += (h4 >> 51) * 19;
  h4 &= kMask51;
  return FieldElement{{h0, h1, h2, h3, h4}};
}

using u128 = unsigned __int128;

// Reduces five 128-bit column sums (each below 2^115) to a tight element.
inline FieldElement reduce_columns(u128 t0, u128 t1, u128 t2, u128 t3, u128 t4) {
  t1 += static_cast<std::uint64_t>(t0 >> 51);
  std::uint64_t r0 = static_cast<std::uint64_t>(t0) & kMask51;
  t2 += static_cast<std::uint64_t>(t1 >> 51);
  const std::uint64_t r1 = static_cast<std::uint64_t>(t1) & kMask51;
  t3 += static_cast<std::uint64_t>(t2 >> 51);
  const std::uint64_t r2 = static_cast<std::uint64_t>(t2) & kMask51;
  t4 += static_cast<std::uint64_t>(t3 >> 51);
  const std::uint64_t r3 = static_cast<std::uint64_t>(t3) & kMask51;
  const std::uint64_t c = static_cast<std::uint64_t>(t4 >> 51);
  const std::uint64_t r4 = static_cast<std::uint64_t>(t4) & kMask51;
  r0 += c * 19;
  const std::uint64_t r1b = r1 + (r0 >> 51);
  r0 &= kMask51;
  return FieldElement{{r0, r1b, r2, r3, r4}};
}

// 4p, limb by limb: added before subtracting so that no limb goes negative.
inline constexpr std::uint64_t k4p0 = 4 * ((std::uint64_t{1} << 51) - 19);
inline constexpr std::uint64_t k4pi = 4 * ((std::uint64_t{1} << 51) - 1);

}  // namespace field_detail

// ---- constants ----

inline constexpr FieldElement kFieldZero{{0, 0, 0, 0, 0}};
inline constexpr FieldElement kFieldOne{{1, 0, 0, 0, 0}};
// d = -121665/121666
inline constexpr FieldElement kEdwardsD{
    {0x34dca135978a3, 0x1a8283b156ebd, 0x5e7a26001c029, 0x739c663a03cbb, 0x52036cee2b6ff}};
// 2d
inline constexpr FieldElement kEdwardsD2{
    {0x69b9426b2f159, 0x35050762add7a, 0x3cf44c0038052, 0x6738cc7407977, 0x2406d9dc56dff}};
// i = 2^((p-1)/4), a square root of -1
inline constexpr FieldElement kSqrtMinusOne{
    {0x61b274a0ea0b0, 0x0d5a5fc8f189d, 0x7ef5e9cbd0c60, 0x78595a6804c9e, 0x2b8324804fc1d}};
// A = 486662, the Montgomery coefficient
inline constexpr FieldElement kMontgomeryA{{486662, 0, 0, 0, 0}};

// ---- arithmetic ----

inline FieldElement fe_add(const FieldElement& a, const FieldElement& b) {
  return FieldElement{{a.limb[0] + b.limb[0], a.limb[1] + b.limb[1], a.limb[2] + b.limb[2],
                       a.limb[3] + b.limb[3], a.limb[4] + b.limb[4]}};
}

inline FieldElement fe_sub(const FieldElement& a, const FieldElement& b) {
  using namespace field_detail;
  return carry(a.limb[0] + k4p0 - b.limb[0], a.limb[1] + k4pi - b.limb[1],
               a.limb[2] + k4pi - b.limb[2], a.limb[3] + k4pi - b.limb[3],
               a.limb[4] + k4pi - b.limb[4]);
}

inline FieldElement fe_neg(const FieldElement& a) {
  using namespace field_detail;
  return carry(k4p0 - a.limb[0], k4pi - a.limb[1], k4pi - a.limb[2], k4pi - a.limb[3],
               k4pi - a.limb[4]);
}

// Weak reduction to a tight element (same value).
inline FieldElement fe_carry(const FieldElement& a) {
  return field_detail::carry(a.limb[0], a.limb[1], a.limb[2], a.limb[3], a.limb[4]);
}

inline FieldElement fe_mul(const FieldElement& a, const FieldElement& b) {
  using field_detail::u128;
  const std::uint64_t a0 = a.limb[0], a1 = a.limb[1], a2 = a.limb[2], a3 = a.limb[3],
                      a4 = a.limb[4];
  const std::uint64_t b0 = b.limb[0], b1 = b.limb[1], b2 = b.limb[2], b3 = b.limb[3],
                      b4 = b.limb[4];
  // 2^255 = 19 (mod p): columns past limb 4 wrap around times 19.
  const std::uint64_t b1_19 = b1 * 19, b2_19 = b2 * 19, b3_19 = b3 * 19, b4_19 = b4 * 19;
  const u128 t0 = u128(a0) * b0 + u128(a1) * b4_19 + u128(a2) * b3_19 + u128(a3) * b2_19 +
                  u128(a4) * b1_19;
  const u128 t1 = u128(a0) * b1 + u128(a1) * b0 + u128(a2) * b4_19 + u128(a3) * b3_19 +
                  u128(a4) * b2_19;
  const u128 t2 = u128(a0) * b2 + u128(a1) * b1 + u128(a2) * b0 + u128(a3) * b4_19 +
                  u128(a4) * b3_19;
  const u128 t3 =
      u128(a0) * b3 + u128(a1) * b2 + u128(a2) * b1 + u128(a3) * b0 + u128(a4) * b4_19;
  const u128 t4 = u128(a0) * b4 + u128(a1) * b3 + u128(a2) * b2 + u128(a3) * b1 + u128(a4) * b0;
  return field_detail::reduce_columns(t0, t1, t2, t3, t4);
}

inline FieldElement fe_square(const FieldElement& a) {
  using field_detail::u128;
  const std::uint64_t a0 = a.limb[0], a1 = a.limb[1], a2 = a.limb[2], a3 = a.limb[3],
                      a4 = a.limb[4];
  const std::uint64_t d0 = a0 * 2, d1 = a1 * 2, d2 = a2 * 2, d3 = a3 * 2;
  const std::uint64_t a3_19 = a3 * 19, a4_19 = a4 * 19;
  const u128 t0 = u128(a0) * a0 + u128(d1) * a4_19 + u128(d2) * a3_19;
  const u128 t1 = u128(d0) * a1 + u128(d2) * a4_19 + u128(a3) * a3_19;
  const u128 t2 = u128(d0) * a2 + u128(a1) * a1 + u128(d3) * a4_19;
  const u128 t3 = u128(d0) * a3 + u128(d1) * a2 + u128(a4) * a4_19;
  const u128 t4 = u128(d0) * a4 + u128(d1) * a3 + u128(a2) * a2;
  return field_detail::reduce_columns(t0, t1, t2, t3, t4);
}

// a^(2^n), n >= 1
inline FieldElement fe_square_n(FieldElement a, int n) {
  for (int i = 0; i < n; ++i) a = fe_square(a);
  return a;
}

// a^(p-2): the inverse of a, and 0 for 0.
FieldElement fe_invert(const FieldElement& a);
// a^((p-5)/8) = a^(2^252 - 3)
FieldElement fe_pow22523(const FieldElement& a);

struct SqrtRatio {
  Choice is_square;
  FieldElement root;
};

// (1, |sqrt(u/v)|) when u/v is a square (u = 0 included, root 0);
// (0, 0) when v = 0 and u != 0; (0, |sqrt(i*u/v)|) when u/v is not a square.
SqrtRatio fe_sqrt_ratio(const FieldElement& u, const FieldElement& v);

// ---- encodings ----

// Little-endian 32 bytes; bit 255 ignored, values p..2^255-1 taken modulo p.
inline FieldElement fe_from_bytes(const std::uint8_t s[32]) {
  auto word = [s](int k) {
    std::uint64_t w = 0;
    for (int b = 7; b >= 0; --b) w = (w << 8) | s[8 * k + b];
    return w;
  };
  const std::uint64_t w0 = word(0), w1 = word(1), w2 = word(2), w3 = word(3);
  using field_detail::kMask51;
  return FieldElement{{w0 & kMask51, ((w0 >> 51) | (w1 << 13)) & kMask51,
                       ((w1 >> 38) | (w2 << 26)) & kMask51, ((w2 >> 25) | (w3 << 39)) & kMask51,
                       (w3 >> 12) & kMask51}};
}

// The canonical form: the representative 0..p-1, little-endian; bit 255 is 0.
inline std::array<std::uint8_t, 32> fe_to_bytes(const FieldElement& a) {
  using field_detail::kMask51;
  FieldElement h = fe_carry(a);  // value below 2p
  std::uint64_t h0 = h.limb[0], h1 = h.limb[1], h2 = h.limb[2], h3 = h.limb[3], h4 = h.limb[4];
  // q = 1 exactly when the value is p or more: the carry out of value + 19.
  std::uint64_t q = (h0 + 19) >> 51;
  q = (h1 + q) >> 51;
  q = (h2 + q) >> 51;
  q = (h3 + q) >> 51;
  q = (h4 + q) >> 51;
  // value - q*p = value + 19q - q*2^255: add 19q, carry, drop bit 255.
  h0 += 19 * q;
  h1 += h0 >> 51;
  h0 &= kMask51;
  h2 += h1 >> 51;
  h1 &= kMask51;
  h3 += h2 >> 51;
  h2 &= kMask51;
  h4 += h3 >> 51;
  h3 &= kMask51;
  h4 &= kMask51;
  const std::uint64_t w[4] = {h0 | (h1 << 51), (h1 >> 13) | (h2 << 38), (h2 >> 26) | (h3 << 25),
                              (h3 >> 39) | (h4 << 12)};
  std::array<std::uint8_t, 32> out;
  for (int i = 0; i < 32; ++i) out[i] = static_cast<std::uint8_t>(w[i / 8] >> (8 * (i % 8)));
  return out;
}

// ---- constant-time predicates and selection ----

// 1 when bit 0 of the canonical form is 1.
inline Choice fe_is_negative(const FieldElement& a) { return fe_to_bytes(a)[0] & 1; }

inline Choice fe_equal(const FieldElement& a, const FieldElement& b) {
  const auto x = fe_to_bytes(a);
  const auto y = fe_to_bytes(b);
  std::uint64_t diff = 0;
  for (int i = 0; i < 32; ++i) diff |= static_cast<std::uint64_t>(x[i] ^ y[i]);
  // diff < 256: diff - 1 has its top bit set only when diff is 0.
  return (field_detail::opaque(diff) - 1) >> 63;
}

inline Choice fe_is_zero(const FieldElement& a) { return fe_equal(a, kFieldZero); }

// r = a when c is 1; r unchanged when c is 0.
inline void fe_cmov(FieldElement& r, const FieldElement& a, Choice c) {
  const std::uint64_t m = field_detail::mask_of(c);
  for (int i = 0; i < 5; ++i) r.limb[i] ^= (r.limb[i] ^ a.limb[i]) & m;
}

// Exchanges a and b when c is 1.
inline void fe_cswap(FieldElement& a, FieldElement& b, Choice c) {
  const std::uint64_t m = field_detail::mask_of(c);
  for (int i = 0; i < 5; ++i) {
    const std::uint64_t t = (a.limb[i] ^ b.limb[i]) & m;
    a.limb[i] ^= t;
    b.limb[i] ^= t;
  }
}

// r = -r when c is 1.
inline void fe_cneg(FieldElement& r, Choice c) { fe_cmov(r, fe_neg(r), c); }

// |a|: whichever of a and -a is non-negative.
inline FieldElement fe_abs(const FieldElement& a) {
  FieldElement r = a;
  fe_cneg(r, fe_is_negative(a));
  return r;
}

}  // namespace veltrane::group
