// Field arithmetic modulo 2^255 - 19 against generic exponentiation and the
// defining properties of its constants, encodings and square roots.
#include "group/field.hpp"

#include <gtest/gtest.h>

#include "group/tests/test_support.hpp"

namespace veltrane::group {
namespace {

using testing::Bytes;
using testing::filled;
using testing::to_hex;

FieldElement small(std::uint8_t v) {
  std::uint8_t b[32] = {v};
  return fe_from_bytes(b);
}

// a^e by plain square-and-multiply over the bits of e (little-endian bytes),
// independent of the addition chains under test.
FieldElement pow_bits(const FieldElement& a, const std::array<std::uint8_t, 32>& e) {
  FieldElement r = kFieldOne;
  for (int bit = 255; bit >= 0; --bit) {
    r = fe_square(r);
    if ((e[bit / 8] >> (bit % 8)) & 1) r = fe_mul(r, a);
  }
  return r;
}

const auto kPMinus2 = filled(0xEB, 0xFF, 0x7F);
const auto kHalfPMinus1 = filled(0xF6, 0xFF, 0x3F);  // (p - 1) / 2

// Elements whose limbs sit at the edges of the representation.
std::vector<FieldElement> awkward_elements() {
  std::vector<FieldElement> v = {kFieldZero, kFieldOne, fe_neg(kFieldOne),
                                 fe_from_bytes(filled(0xFF, 0xFF, 0xFF).data()),
                                 fe_from_bytes(filled(0xEC, 0xFF, 0x7F).data())};
  // Loose values: sums of tight maxima.
  FieldElement big = fe_from_bytes(filled(0xFF, 0xFF, 0x7F).data());
  v.push_back(fe_add(big, big));
  v.push_back(fe_add(fe_neg(kFieldOne), fe_neg(small(19))));
  return v;
}

TEST(Field, EncodingReadsModuloPAndIgnoresBit255) {
  // p + j for j = 0..18 are aliases of j; with bit 255 set too.
  for (std::uint8_t j = 0; j < 19; ++j) {
    auto alias = filled(static_cast<std::uint8_t>(0xED + j), 0xFF, 0x7F);
    std::array<std::uint8_t, 32> expected{};
    expected[0] = j;
    EXPECT_EQ(to_hex(fe_to_bytes(fe_from_bytes(alias.data()))), to_hex(expected));
    alias[31] |= 0x80;
    EXPECT_EQ(to_hex(fe_to_bytes(fe_from_bytes(alias.data()))), to_hex(expected));
  }
  const auto p_minus_1 = filled(0xEC, 0xFF, 0x7F);
  EXPECT_EQ(fe_to_bytes(fe_from_bytes(p_minus_1.data())), p_minus_1);
  Bytes rng(1);
  for (int i = 0; i < 200; ++i) {
    auto b = rng.next<32>();
    b[31] &= 0x7F;  // below 2^255; below p except with negligible chance
    EXPECT_EQ(fe_to_bytes(fe_from_bytes(b.data())), b);
  }
}

TEST(Field, ConstantsAreWhatTheyClaim) {
  EXPECT_EQ(to_hex(fe_to_bytes(fe_square(kSqrtMinusOne))), to_hex(fe_to_bytes(fe_neg(kFieldOne))));
  // d * 121666 = -121665
  std::uint8_t b1[32] = {0x42, 0xDB, 0x01};  // 121666 = 0x01DB42
  std::uint8_t b2[32] = {0x41, 0xDB, 0x01};  // 121665
  EXPECT_EQ(fe_to_bytes(fe_mul(kEdwardsD, fe_from_bytes(b1))), fe_to_bytes(fe_neg(fe_from_bytes(b2))));
  EXPECT_EQ(fe_to_bytes(kEdwardsD2), fe_to_bytes(fe_add(kEdwardsD, kEdwardsD)));
}

TEST(Field, RingIdentitiesOnRandomAndEdgeValues) {
  Bytes rng(2);
  std::vector<FieldElement> values = awkward_elements();
  for (int i = 0; i < 50; ++i) values.push_back(fe_from_bytes(rng.next<32>().data()));
  for (const auto& a : values) {
    EXPECT_EQ(fe_to_bytes(fe_square(a)), fe_to_bytes(fe_mul(a, a)));
    EXPECT_EQ(fe_is_zero(fe_add(a, fe_neg(a))), 1u);
    EXPECT_EQ(fe_to_bytes(fe_square_n(a, 3)), fe_to_bytes(fe_square(fe_square(fe_square(a)))));
    for (const auto& b : {values[3], values[5], values.back()}) {
      const FieldElement c = values[values.size() / 2];
      EXPECT_EQ(fe_to_bytes(fe_mul(fe_add(a, b), c)),
                fe_to_bytes(fe_add(fe_mul(a, c), fe_mul(b, c))));
      EXPECT_EQ(fe_to_bytes(fe_sub(fe_add(a, b), b)), fe_to_bytes(a));
      EXPECT_EQ(fe_equal(fe_sub(a, b), fe_neg(fe_sub(b, a))), 1u);
    }
  }
}

TEST(Field, InvertAndPowAgainstGenericExponentiation) {
  EXPECT_EQ(fe_is_zero(fe_invert(kFieldZero)), 1u);
  Bytes rng(3);
  auto p_minus_5_over_8 = filled(0xFD, 0xFF, 0x0F);  // 2^252 - 3
  for (int i = 0; i < 20; ++i) {
    const FieldElement a = fe_from_bytes(rng.next<32>().data());
    EXPECT_EQ(fe_to_bytes(fe_invert(a)), fe_to_bytes(pow_bits(a, kPMinus2)));
    EXPECT_EQ(fe_to_bytes(fe_mul(a, fe_invert(a))), fe_to_bytes(kFieldOne));
    EXPECT_EQ(fe_to_bytes(fe_pow22523(a)), fe_to_bytes(pow_bits(a, p_minus_5_over_8)));
  }
}

TEST(Field, SqrtRatioFollowsItsDefinition) {
  const SqrtRatio zero_u = fe_sqrt_ratio(kFieldZero, small(5));
  EXPECT_EQ(zero_u.is_square, 1u);
  EXPECT_EQ(fe_is_zero(zero_u.root), 1u);
  const SqrtRatio zero_v = fe_sqrt_ratio(small(3), kFieldZero);
  EXPECT_EQ(zero_v.is_square, 0u);
  EXPECT_EQ(fe_is_zero(zero_v.root), 1u);
  const SqrtRatio both_zero = fe_sqrt_ratio(kFieldZero, kFieldZero);
  EXPECT_EQ(both_zero.is_square, 1u);
  EXPECT_EQ(fe_is_zero(both_zero.root), 1u);
  EXPECT_EQ(fe_sqrt_ratio(small(2), kFieldOne).is_square, 0u);  // 2 is not a square
  EXPECT_EQ(fe_to_bytes(fe_sqrt_ratio(small(4), kFieldOne).root), fe_to_bytes(small(2)));

  Bytes rng(4);
  int squares = 0;
  for (int i = 0; i < 200; ++i) {
    const FieldElement u = fe_from_bytes(rng.next<32>().data());
    const FieldElement v = fe_from_bytes(rng.next<32>().data());
    const SqrtRatio s = fe_sqrt_ratio(u, v);
    // Euler's criterion on u*v (same quadratic character as u/v).
    const bool expect_square = fe_equal(pow_bits(fe_mul(u, v), kHalfPMinus1), kFieldOne) != 0;
    ASSERT_EQ(s.is_square, expect_square ? 1u : 0u);
    EXPECT_EQ(fe_is_negative(s.root), 0u);
    const FieldElement check = fe_mul(v, fe_square(s.root));
    EXPECT_EQ(fe_to_bytes(check), fe_to_bytes(expect_square ? u : fe_mul(kSqrtMinusOne, u)));
    squares += expect_square;
  }
  EXPECT_GT(squares, 60);
  EXPECT_LT(squares, 140);
}

TEST(Field, ConstantTimeSelection) {
  const FieldElement a = small(7), b = small(9);
  FieldElement r = a;
  fe_cmov(r, b, 0);
  EXPECT_EQ(fe_equal(r, a), 1u);
  fe_cmov(r, b, 1);
  EXPECT_EQ(fe_equal(r, b), 1u);
  FieldElement x = a, y = b;
  fe_cswap(x, y, 1);
  EXPECT_EQ(fe_equal(x, b) & fe_equal(y, a), 1u);
  fe_cneg(x, 1);
  EXPECT_EQ(fe_equal(x, fe_neg(b)), 1u);
  EXPECT_EQ(fe_is_negative(small(1)), 1u);
  EXPECT_EQ(fe_is_negative(fe_neg(small(1))), 0u);  // p - 1 is even
  EXPECT_EQ(fe_equal(fe_abs(fe_neg(small(1))), fe_neg(small(1))), 1u);
  EXPECT_EQ(fe_equal(fe_abs(small(1)), fe_neg(small(1))), 1u);
}

}  // namespace
}  // namespace veltrane::group
