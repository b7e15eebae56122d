// Scalars: reduction of 512-bit values modulo the group order l, and the
// reading of secret keys (no reduction).
#include "group/scalar.hpp"

#include "common/fatal_error.hpp"
#include "common/secret.hpp"

namespace veltrane::group {

namespace {

using u128 = unsigned __int128;
using Limbs5 = std::array<std::uint64_t, 5>;

// l = 2^252 + 27742317777372353535851937790883648493, in 64-bit limbs.
constexpr Limbs5 kOrder = {0x5812631a5cf5d3ed, 0x14def9dea2f79cd6, 0, 0x1000000000000000, 0};
// floor(2^512 / l), the Barrett constant.
constexpr Limbs5 kBarrettMu = {0xed9ce5a30a2c131b, 0x2106215d086329a7, 0xffffffffffffffeb,
                               0xffffffffffffffff, 0xf};

// out = a - b (mod 2^320); returns the final borrow (1 when a < b).
std::uint64_t subtract(const Limbs5& a, const Limbs5& b, Limbs5& out) {
  std::uint64_t borrow = 0;
  for (int i = 0; i < 5; ++i) {
    const u128 t = u128(a[i]) - b[i] - borrow;
    out[i] = static_cast<std::uint64_t>(t);
    borrow = static_cast<std::uint64_t>(t >> 64) & 1;
  }
  return borrow;
}

// r -= l when r >= l, without a branch (r < 2^320).
void subtract_order_if_not_below(Limbs5& r) {
  Limbs5 diff;
  const std::uint64_t borrow = subtract(r, kOrder, diff);
  // borrow = 1: r < l, keep r.
  std::uint64_t keep_diff = borrow - 1;  // all ones when no borrow
  asm("" : "+r"(keep_diff));
  for (int i = 0; i < 5; ++i) r[i] = (diff[i] & keep_diff) | (r[i] & ~keep_diff);
}

// 8^-1 mod l.
constexpr std::array<std::uint64_t, 4> kInverseOfEight = {0x6106e529e2dc2f79, 0x07d39db37d1cdad0,
                                                           0, 0x0600000000000000};

}  // namespace

// Barrett reduction with base 2^64, k = 4: q = floor(floor(x / 2^192) * mu / 2^320)
// is at most 2 below floor(x / l), so x - q*l (mod 2^320) is below 3l and two
// conditional subtractions finish. Fixed sequence of operations for every x.
Scalar reduce_wide(const std::uint8_t wide[64]) {
  std::array<std::uint64_t, 8> x;
  for (int k = 0; k < 8; ++k) {
    std::uint64_t w = 0;
    for (int b = 7; b >= 0; --b) w = (w << 8) | wide[8 * k + b];
    x[k] = w;
  }

  // q2 = (x >> 192) * mu, 10 limbs; keep limbs 5..9 as q3.
  std::array<std::uint64_t, 10> q2{};
  for (int i = 0; i < 5; ++i) {
    std::uint64_t carry = 0;
    for (int j = 0; j < 5; ++j) {
      const u128 t = u128(x[3 + i]) * kBarrettMu[j] + q2[i + j] + carry;
      q2[i + j] = static_cast<std::uint64_t>(t);
      carry = static_cast<std::uint64_t>(t >> 64);
    }
    q2[i + 5] = carry;
  }
  const Limbs5 q3 = {q2[5], q2[6], q2[7], q2[8], q2[9]};

  // q3 * l mod 2^320
  Limbs5 ql{};
  for (int i = 0; i < 5; ++i) {
    std::uint64_t carry = 0;
    for (int j = 0; i + j < 5; ++j) {
      const u128 t = u128(q3[i]) * kOrder[j] + ql[i + j] + carry;
      ql[i + j] = static_cast<std::uint64_t>(t);
      carry = static_cast<std::uint64_t>(t >> 64);
    }
  }

  // r = (x mod 2^320) - q3*l (mod 2^320)
  Limbs5 low = {x[0], x[1], x[2], x[3], x[4]};
  Limbs5 r;
  subtract(low, ql, r);
  subtract_order_if_not_below(r);
  subtract_order_if_not_below(r);

  Scalar out;
  for (int i = 0; i < 32; ++i) out.bytes[i] = static_cast<std::uint8_t>(r[i / 8] >> (8 * (i % 8)));
  // The input is secret random bytes; leave nothing derived from it behind.
  secure_wipe(x.data(), sizeof x);
  secure_wipe(low.data(), sizeof low);
  secure_wipe(q2.data(), sizeof q2);
  secure_wipe(ql.data(), sizeof ql);
  secure_wipe(r.data(), sizeof r);
  return out;
}

Scalar divide_by_cofactor(const Scalar& k) {
  std::array<std::uint64_t, 4> a;
  for (int i = 0; i < 4; ++i) {
    std::uint64_t w = 0;
    for (int b = 7; b >= 0; --b) w = (w << 8) | k.bytes[8 * i + b];
    a[i] = w;
  }
  // The 512-bit product, then the reduction every random scalar gets.
  std::array<std::uint64_t, 8> product{};
  for (int i = 0; i < 4; ++i) {
    std::uint64_t carry = 0;
    for (int j = 0; j < 4; ++j) {
      const u128 t = u128(a[i]) * kInverseOfEight[j] + product[i + j] + carry;
      product[i + j] = static_cast<std::uint64_t>(t);
      carry = static_cast<std::uint64_t>(t >> 64);
    }
    product[i + 4] = carry;
  }
  std::uint8_t wide[64];
  for (int i = 0; i < 64; ++i) wide[i] = static_cast<std::uint8_t>(product[i / 8] >> (8 * (i % 8)));
  const Scalar out = reduce_wide(wide);
  secure_wipe(a.data(), sizeof a);
  secure_wipe(product.data(), sizeof product);
  secure_wipe(wide, sizeof wide);
  return out;
}

Scalar secret_key_scalar(std::span<const std::uint8_t> key) {
  if (key.size() != 32) fatal(slice_length_message(key.size(), 32));
  Scalar s;
  for (int i = 0; i < 32; ++i) s.bytes[i] = key[i];
  s.bytes[31] &= 0x7F;
  return s;
}

std::array<std::int8_t, 64> signed_radix16(const Scalar& k) {
  std::array<std::int8_t, 64> e;
  for (int i = 0; i < 32; ++i) {
    e[2 * i] = static_cast<std::int8_t>(k.bytes[i] & 15);
    e[2 * i + 1] = static_cast<std::int8_t>(k.bytes[i] >> 4);
  }
  for (int j = 0; j < 63; ++j) {
    const int c = (e[j] + 8) >> 4;
    e[j] = static_cast<std::int8_t>(e[j] - 16 * c);
    e[j + 1] = static_cast<std::int8_t>(e[j + 1] + c);
  }
  return e;
}

}  // namespace veltrane::group
