// Elligator representatives: representative_to_point against libsodium's
// hash-to-curve (which multiplies the same map's point by the cofactor 8),
// fixed vectors, and the round trip of point_to_representative.
#include "point_conversion.hpp"

#include <sodium.h>
#include <gtest/gtest.h>

#include <random>

#include "group/tests/test_support.hpp"

namespace veltrane {
namespace {

using namespace group;
using group::testing::Bytes;
using group::testing::filled;
using group::testing::from_hex32;
using group::testing::to_hex;

class PointConversion : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { group::testing::init_sodium(); }
};

random::ChaCha12Generator make_generator(std::uint8_t seed) {
  std::array<std::uint8_t, 32> key{};
  key[0] = seed;
  return random::ChaCha12Generator(key, nullptr);
}

Point times_8(const Point& p) { return double_point(double_point(double_point(p))); }

TEST_F(PointConversion, CofactorMultipleMatchesLibsodiumFromUniform) {
  Bytes rng(20);
  for (int i = 0; i < 1024; ++i) {
    auto s = rng.next<32>();
    s[31] = static_cast<std::uint8_t>(i);  // every top-byte pattern, sign bit included
    PointBytes expected;
    ASSERT_EQ(crypto_core_ed25519_from_uniform(expected.data(), s.data()), 0);
    EXPECT_EQ(to_hex(compress(times_8(representative_to_point(s.data())))), to_hex(expected))
        << to_hex(s);
  }
}

TEST_F(PointConversion, Vectors) {
  const std::pair<const char*, const char*> vectors[] = {
      {"d09bcfb5c80f5f086cafb37682bd84a2afcd2006cd24ad8052fc7ebd4680c180",
       "952ad4d663b2be28090685bb8baa07923c6a0d13d2620246bd235e55aa4acba2"},
      {"3b256e551a20cde58be94db087671cb7f6763a5d0f4a595694d59bd70aa3cf89",
       "43342a7b7811c5d02c978d252eb23a276e2cb806e320c882a7c408eb78f1b6d1"},
  };
  for (const auto& [rep, point] : vectors) {
    EXPECT_EQ(to_hex(compress(representative_to_point(from_hex32(rep).data()))), point);
  }
}

TEST_F(PointConversion, SpecialRepresentatives) {
  // r = 0 maps to (0, -1).
  const Point minus_one = decompress(filled(0xEC, 0xFF, 0x7F).data()).value();
  EXPECT_TRUE(points_equal(representative_to_point(filled(0, 0, 0).data()), minus_one));
  EXPECT_TRUE(points_equal(representative_to_point(filled(0, 0, 0x80).data()), minus_one));

  // Low 255 bits at or above p read modulo p.
  for (std::uint8_t top : {std::uint8_t{0x7F}, std::uint8_t{0xFF}}) {
    const auto high = filled(0xFF, 0xFF, top);  // p + 18
    auto reduced = filled(18, 0, static_cast<std::uint8_t>(top & 0x80));
    EXPECT_EQ(compress(representative_to_point(high.data())),
              compress(representative_to_point(reduced.data())));
  }

  // Bit 255 flips the sign of x only.
  Bytes rng(21);
  for (int i = 0; i < 50; ++i) {
    auto s = rng.next<32>();
    s[31] &= 0x7F;
    auto t = s;
    t[31] |= 0x80;
    const Point p = representative_to_point(s.data()), q = representative_to_point(t.data());
    EXPECT_TRUE(points_equal(p, negate_point(q)));
  }
}

TEST_F(PointConversion, NoRepresentativeForIdentityAndMinusOne) {
  auto rng = make_generator(1);
  const Point minus_one = decompress(filled(0xEC, 0xFF, 0x7F).data()).value();
  for (int i = 0; i < 4; ++i) {
    EXPECT_FALSE(point_to_representative(identity_point(), rng).has_value());
    EXPECT_FALSE(point_to_representative(minus_one, rng).has_value());
  }
  EXPECT_EQ(rng.index(), 8u);  // one bit drawn per call, success or not
}

// The conversions compute the map projectively with fewer exponentiations;
// these are the literal definitions, step by step, to compare against.
std::optional<Point> reference_to_point(const std::uint8_t rep[32]) {
  const std::array<std::uint8_t, 32> u = elligator2_map(fe_from_bytes(rep));
  return montgomery_to_edwards(u.data(), (rep[31] >> 7) != 0);
}

std::optional<PointBytes> reference_to_representative(const Point& p, bool bit) {
  const FieldElement u = fe_mul(fe_add(p.Z, p.Y), fe_invert(fe_sub(p.Z, p.Y)));
  const FieldElement u_plus_a = fe_add(u, kMontgomeryA);
  const FieldElement w = fe_neg(fe_add(fe_mul(u, u_plus_a), fe_mul(u, u_plus_a)));
  const SqrtRatio s = fe_sqrt_ratio(kFieldOne, w);
  if (s.is_square == 0) return std::nullopt;
  const FieldElement r = fe_abs(fe_mul(bit ? u_plus_a : u, s.root));
  const std::array<std::uint8_t, 32> u_again = elligator2_map(r);
  const Point q = montgomery_to_edwards(u_again.data(), false).value();
  PointBytes out = fe_to_bytes(r);
  out[31] |= points_equal(q, p) ? 0 : 0x80;
  return out;
}

TEST_F(PointConversion, MatchesTheStepByStepDefinitions) {
  std::mt19937_64 prng(11);
  auto random_bytes = [&] {
    std::array<std::uint8_t, 32> b;
    for (auto& x : b) x = static_cast<std::uint8_t>(prng());
    return b;
  };
  std::vector<std::array<std::uint8_t, 32>> reps = {filled(0, 0, 0), filled(0, 0, 0x80),
                                                    filled(0xFF, 0xFF, 0xFF),
                                                    filled(0xEC, 0xFF, 0x7F),
                                                    filled(0xED, 0xFF, 0xFF)};
  for (int i = 0; i < 3000; ++i) reps.push_back(random_bytes());
  for (const auto& rep : reps) {
    EXPECT_EQ(compress(representative_to_point(rep.data())),
              compress(reference_to_point(rep.data()).value()))
        << to_hex(rep);
  }

  auto rng = make_generator(5);
  auto twin = make_generator(5);  // the same stream: predicts each drawn bit
  const Point order4 = decompress(filled(0x00, 0x00, 0x00).data()).value();
  const Point minus_one = decompress(filled(0xEC, 0xFF, 0x7F).data()).value();
  std::vector<Point> points = {identity_point(), minus_one, order4, negate_point(order4)};
  for (int i = 0; i < 3000; ++i) {
    Point p = representative_to_point(random_bytes().data());
    if (i % 4 == 0) p = add_points(p, order4);
    if (i % 5 == 0) p = double_point(p);
    points.push_back(p);
  }
  for (const Point& p : points) {
    const bool bit = twin.draw_bool();
    EXPECT_EQ(point_to_representative(p, rng), reference_to_representative(p, bit))
        << to_hex(compress(p));
  }
}

// The cheap test must agree with the conversion itself, on random points
// (about half convert), on small-order points and on mixed-order points.
TEST_F(PointConversion, HasRepresentativeAgreesWithConversion) {
  auto rng = make_generator(3);
  std::mt19937_64 prng(7);
  const Point order4 = decompress(filled(0x00, 0x00, 0x00).data()).value();
  int converted = 0;
  for (int i = 0; i < 600; ++i) {
    Scalar k;
    for (auto& b : k.bytes) b = static_cast<std::uint8_t>(prng());
    k.bytes[31] &= 0x7F;
    Point p = mul_base(k);
    if (i % 3 == 1) p = add_points(p, order4);
    const bool converts = point_to_representative(p, rng).has_value();
    EXPECT_EQ(has_representative(p), converts);
    converted += converts;
  }
  EXPECT_GT(converted, 200);
  EXPECT_LT(converted, 400);
  EXPECT_FALSE(has_representative(identity_point()));
  EXPECT_FALSE(has_representative(decompress(filled(0xEC, 0xFF, 0x7F).data()).value()));
  EXPECT_EQ(has_representative(order4), point_to_representative(order4, rng).has_value());
}

TEST_F(PointConversion, RoundTripsWithBothBits) {
  Bytes bytes(22);
  auto rng = make_generator(2);
  const auto p_minus_1 = filled(0xEC, 0xFF, 0x7F);
  int encodable = 0, bit_one_differs = 0;
  const int kPoints = 400;
  for (int i = 0; i < kPoints; ++i) {
    const Point p = mul_base(bytes.scalar255());
    const unsigned index_before = rng.index();
    const auto first = point_to_representative(p, rng);
    EXPECT_EQ((rng.index() + 64 - index_before) % 64, 1u);
    if (!first) continue;
    ++encodable;
    // Draw until the other bit value comes up, to exercise both preimages.
    std::optional<PointBytes> second;
    for (int tries = 0; tries < 64; ++tries) {
      second = point_to_representative(p, rng);
      ASSERT_TRUE(second.has_value());
      if (*second != *first) break;
    }
    bit_one_differs += *second != *first;
    for (const PointBytes& rep : {*first, *second}) {
      EXPECT_EQ(rep[0] & 1, 0);
      auto low = rep;
      low[31] &= 0x7F;
      EXPECT_TRUE(std::lexicographical_compare(low.rbegin(), low.rend(), p_minus_1.rbegin(),
                                               p_minus_1.rend()) ||
                  low == p_minus_1);
      EXPECT_TRUE(points_equal(representative_to_point(rep.data()), p));
      EXPECT_EQ((rep[31] >> 7), (compress(p)[31] >> 7));
    }
  }
  EXPECT_GT(encodable, kPoints * 4 / 10);
  EXPECT_LT(encodable, kPoints * 6 / 10);
  EXPECT_GT(bit_one_differs, encodable * 9 / 10);
}

// Every image of a non-zero r has r as a preimage (r = 0 gives (0, -1), the
// exception), so the inverse map succeeds on it.
TEST_F(PointConversion, MappedPointsAreAlwaysEncodable) {
  Bytes bytes(23);
  auto rng = make_generator(3);
  for (int i = 0; i < 200; ++i) {
    const auto s = bytes.next<32>();
    const Point p = representative_to_point(s.data());
    const auto rep = point_to_representative(p, rng);
    ASSERT_TRUE(rep.has_value()) << to_hex(s);
    EXPECT_TRUE(points_equal(representative_to_point(rep->data()), p));
  }
}

}  // namespace
}  // namespace veltrane
