// Points and scalar multiplication against RFC 8032 public keys, libsodium
// on many random inputs, and the concrete edge cases of lenient decoding,
// small-order points and unreduced scalars.
#include "group/edwards.hpp"

#include <gtest/gtest.h>

#include "common/fatal_error.hpp"
#include "group/tests/test_support.hpp"

namespace veltrane::group {
namespace {

using testing::Bytes;
using testing::filled;
using testing::from_hex32;
using testing::must_decompress;
using testing::sodium_base_mul;
using testing::to_hex;

class Edwards : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::init_sodium(); }
};

Scalar scalar_from_hex(const std::string& hex) { return Scalar{from_hex32(hex)}; }

// k*T for small k by repeated addition.
Point small_multiple(unsigned k, const Point& t) {
  Point r = identity_point();
  for (unsigned i = 0; i < k; ++i) r = add_points(r, t);
  return r;
}

// A point of order 8 (its order is checked in the tests that use it).
Point order8_point() {
  return must_decompress(
      from_hex32("c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac037a"));
}

const char* kOrderHex = "edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010";

TEST_F(Edwards, Rfc8032PublicKeys) {
  const std::pair<const char*, const char*> vectors[] = {
      {"9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
       "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a"},
      {"4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb",
       "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c"},
      {"c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7",
       "fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025"},
      {"f5e5767cf153319517630f226876b86c8160cc583bc013744c6bf255f5cc0ee5",
       "278117fc144c72340f67d0f2316e8386ceffbf2b2428c9c51fef7c597f1d426e"},
      {"833fe62409237b9d62ec77587520911e9a759cec1d19755b7da901b96dca3d42",
       "ec172b93ad5e563bf4932c70e1245034c35467ef2efd4d64ebf819683467e2bf"},
  };
  for (const auto& [secret_hex, public_hex] : vectors) {
    const auto secret = from_hex32(secret_hex);
    std::uint8_t h[64];
    crypto_hash_sha512(h, secret.data(), secret.size());
    Scalar a;
    std::copy(h, h + 32, a.bytes.begin());
    a.bytes[0] &= 248;
    a.bytes[31] &= 127;
    a.bytes[31] |= 64;
    EXPECT_EQ(to_hex(compress(mul_base(a))), public_hex);
    EXPECT_EQ(to_hex(compress(mul_point(a, base_point()))), public_hex);
  }
}

TEST_F(Edwards, ScalarMultiplicationMatchesLibsodium) {
  Bytes rng(10);
  const Scalar all_ones = Scalar{filled(0xFF, 0xFF, 0x7F)};
  for (int i = 0; i < 150; ++i) {
    Scalar k = rng.scalar255();
    if (i == 0) k = all_ones;
    if (i == 1) k.bytes[31] &= 0x0F;  // below 2^252
    const PointBytes expected_kb = sodium_base_mul(k);
    EXPECT_EQ(to_hex(compress(mul_base(k))), to_hex(expected_kb)) << i;

    const PointBytes q_bytes = sodium_base_mul(rng.scalar255());
    const Point q = must_decompress(q_bytes);
    PointBytes expected_kq;
    ASSERT_EQ(crypto_scalarmult_ed25519_noclamp(expected_kq.data(), k.bytes.data(), q_bytes.data()), 0);
    EXPECT_EQ(to_hex(compress(mul_point(k, q))), to_hex(expected_kq)) << i;
    if (i % 30 == 0) {
      const auto table = build_fixed_base_table(q);
      for (int j = 0; j < 5; ++j) {
        const Scalar k2 = rng.scalar255();
        PointBytes expected;
        ASSERT_EQ(crypto_scalarmult_ed25519_noclamp(expected.data(), k2.bytes.data(), q_bytes.data()), 0);
        EXPECT_EQ(compress(mul_fixed(*table, k2)), expected);
      }
    }
  }
}

TEST_F(Edwards, AdditionAndDoublingMatchLibsodium) {
  Bytes rng(11);
  for (int i = 0; i < 200; ++i) {
    const PointBytes a = sodium_base_mul(rng.scalar255());
    const PointBytes b = i % 10 == 0 ? a : sodium_base_mul(rng.scalar255());
    PointBytes sum, difference;
    ASSERT_EQ(crypto_core_ed25519_add(sum.data(), a.data(), b.data()), 0);
    ASSERT_EQ(crypto_core_ed25519_sub(difference.data(), a.data(), b.data()), 0);
    const Point pa = must_decompress(a), pb = must_decompress(b);
    EXPECT_EQ(compress(add_points(pa, pb)), sum);
    EXPECT_EQ(compress(add_points(pa, negate_point(pb))), difference);
    EXPECT_EQ(compress(double_point(pa)), compress(add_points(pa, pa)));
    EXPECT_EQ(compress(pa), a);  // decompress/compress round trip
  }
}

TEST_F(Edwards, ReduceWideMatchesLibsodium) {
  Bytes rng(12);
  for (int i = 0; i < 500; ++i) {
    auto wide = rng.next<64>();
    if (i < 64) std::fill(wide.begin(), wide.begin() + i, 0xFF);  // long runs of ones
    std::array<std::uint8_t, 32> expected;
    crypto_core_ed25519_scalar_reduce(expected.data(), wide.data());
    EXPECT_EQ(reduce_wide(wide.data()).bytes, expected);
  }
  std::array<std::uint8_t, 64> ones;
  ones.fill(0xFF);
  EXPECT_EQ(to_hex(reduce_wide(ones.data()).bytes),
            "000f9c44e31106a447938568a71b0ed065bef517d273ecce3d9a307c1b419903");
  std::array<std::uint8_t, 64> order{};
  const auto l = from_hex32(kOrderHex);
  std::copy(l.begin(), l.end(), order.begin());
  EXPECT_EQ(reduce_wide(order.data()).bytes, (std::array<std::uint8_t, 32>{}));
  order[0] -= 1;  // l - 1 stays
  EXPECT_EQ(to_hex(reduce_wide(order.data()).bytes),
            "ecd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010");
}

TEST_F(Edwards, BaseMultiplesAndIdentity) {
  Scalar one;
  one.bytes[0] = 1;
  EXPECT_EQ(to_hex(compress(mul_base(one))), to_hex(filled(0x58, 0x66, 0x66)));
  EXPECT_EQ(compress(base_point()), filled(0x58, 0x66, 0x66));
  const PointBytes identity_bytes = filled(0x01, 0x00, 0x00);
  EXPECT_EQ(compress(mul_base(Scalar{})), identity_bytes);
  EXPECT_EQ(compress(mul_point(Scalar{}, base_point())), identity_bytes);
  EXPECT_EQ(compress(mul_base(scalar_from_hex(kOrderHex))), identity_bytes);
  EXPECT_EQ(compress(mul_point(scalar_from_hex(kOrderHex), base_point())), identity_bytes);
  EXPECT_EQ(compress(identity_point()), identity_bytes);
}

TEST_F(Edwards, LenientDecompression) {
  EXPECT_FALSE(decompress(filled(0x02, 0x00, 0x00).data()).has_value());  // y = 2
  const auto zero = filled(0x00, 0x00, 0x00);
  const Point order4 = must_decompress(zero);  // y = 0
  EXPECT_EQ(compress(order4), zero);
  EXPECT_FALSE(points_equal(double_point(order4), identity_point()));
  EXPECT_TRUE(points_equal(double_point(double_point(order4)), identity_point()));

  const Point from_alias = must_decompress(filled(0xEE, 0xFF, 0x7F));  // y = p + 1
  EXPECT_TRUE(points_equal(from_alias, identity_point()));
  EXPECT_EQ(compress(from_alias), filled(0x01, 0x00, 0x00));
  const Point signed_identity = must_decompress(filled(0x01, 0x00, 0x80));  // x = 0, sign 1
  EXPECT_TRUE(points_equal(signed_identity, identity_point()));
  EXPECT_EQ(compress(signed_identity), filled(0x01, 0x00, 0x00));

  // An alias of a general y: y + p decodes to the same point as y.
  Bytes rng(13);
  int aliases = 0;
  for (int i = 0; i < 2000 && aliases < 3; ++i) {
    std::array<std::uint8_t, 32> b = filled(0x00, 0xFF, 0x7F);
    b[0] = static_cast<std::uint8_t>(0xED + rng.next<1>()[0] % 19);  // p..2^255-1
    std::array<std::uint8_t, 32> reduced{};
    reduced[0] = static_cast<std::uint8_t>(b[0] - 0xED);
    const auto a = decompress(b.data()), r = decompress(reduced.data());
    ASSERT_EQ(a.has_value(), r.has_value());
    if (a) {
      EXPECT_TRUE(points_equal(*a, *r));
      EXPECT_EQ(compress(*a), reduced);
      ++aliases;
    }
  }
  EXPECT_GT(aliases, 0);
}

TEST_F(Edwards, PointsEqualComparesGroupElements) {
  const Point b = base_point();
  const Point b2 = double_point(b);
  // Same element in different projective coordinates.
  const Point b_again = add_points(add_points(b2, b), negate_point(b2));
  EXPECT_TRUE(points_equal(b, b_again));
  EXPECT_FALSE(points_equal(b, b2));
  EXPECT_FALSE(points_equal(b, negate_point(b)));
  EXPECT_TRUE(points_equal(add_points(b, negate_point(b)), identity_point()));
}

// One shared inversion must give exactly the encodings of one inversion each,
// across chunk boundaries and for points in varied projective coordinates.
TEST_F(Edwards, BatchCompressionMatchesCompress) {
  std::vector<Point> points;
  Point p = base_point();
  const Point order4 = must_decompress(filled(0x00, 0x00, 0x00));
  for (int i = 0; i < 40; ++i) {
    points.push_back(i % 7 == 3 ? identity_point() : add_points(p, i % 2 ? order4 : p));
    p = double_point(add_points(p, base_point()));
  }
  for (std::size_t n : {0u, 1u, 4u, 16u, 17u, 40u}) {
    std::vector<PointBytes> batch(n);
    compress_batch({points.data(), n}, batch);
    for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(batch[i], compress(points[i])) << n << " " << i;
  }
}

TEST_F(Edwards, SmallAndMixedOrderPointsUseTheWholeScalar) {
  const Point t = order8_point();
  ASSERT_FALSE(points_equal(small_multiple(4, t), identity_point()));
  ASSERT_TRUE(points_equal(small_multiple(8, t), identity_point()));

  // 2^255 - 1 as a secret key: not reduced modulo l.
  const std::array<std::uint8_t, 32> all_ff = filled(0xFF, 0xFF, 0xFF);
  const Scalar k = secret_key_scalar(all_ff);
  EXPECT_EQ(k.bytes, filled(0xFF, 0xFF, 0x7F));
  std::uint8_t wide[64] = {};
  std::copy(k.bytes.begin(), k.bytes.end(), wide);
  const Scalar k_mod_l = reduce_wide(wide);
  EXPECT_TRUE(points_equal(mul_base(k), mul_base(k_mod_l)));
  EXPECT_TRUE(points_equal(mul_point(k, base_point()), mul_base(k_mod_l)));
  EXPECT_FALSE(points_equal(mul_point(k, t), mul_point(k_mod_l, t)));
  EXPECT_TRUE(points_equal(mul_point(k, t), small_multiple(7, t)));  // 2^255 - 1 = 7 mod 8

  // Mixed order: k(A + T) = kA + (k mod 8)T for every k < 2^255, including
  // through a fixed-base table of the mixed-order point.
  Bytes rng(14);
  for (int i = 0; i < 40; ++i) {
    const Scalar a = rng.scalar255();
    const Point mixed = add_points(mul_base(a), small_multiple(1 + i % 7, t));
    const auto table = build_fixed_base_table(mixed);
    const Scalar s = rng.scalar255();
    const Point expected = add_points(
        must_decompress([&] {
          PointBytes sa, base_a = sodium_base_mul(a);
          EXPECT_EQ(crypto_scalarmult_ed25519_noclamp(sa.data(), s.bytes.data(), base_a.data()), 0);
          return sa;
        }()),
        small_multiple(((s.bytes[0] & 7) * (1 + i % 7)) % 8, t));
    EXPECT_EQ(compress(mul_point(s, mixed)), compress(expected)) << i;
    EXPECT_EQ(compress(mul_fixed(*table, s)), compress(expected)) << i;
  }
  // Each small-order point times every small scalar.
  for (unsigned j = 0; j < 8; ++j) {
    const Point tj = small_multiple(j, t);
    for (unsigned m = 0; m < 20; ++m) {
      Scalar s;
      s.bytes[0] = static_cast<std::uint8_t>(m);
      EXPECT_TRUE(points_equal(mul_point(s, tj), small_multiple((m * j) % 8, t)));
    }
  }
}

// k/8 against libsodium's own scalar arithmetic, and the product with the
// prime-order component: exactly k*A on the subgroup, blind to any
// small-order part, for every k below 2^256 (secret keys and the top of the
// range included).
TEST_F(Edwards, PrimeComponentProductClearsSmallOrder) {
  std::uint8_t eight[32] = {8}, inverse_of_eight[32];
  ASSERT_EQ(crypto_core_ed25519_scalar_invert(inverse_of_eight, eight), 0);
  const Point t = order8_point();
  Bytes rng(21);
  for (int i = 0; i < 64; ++i) {
    Scalar k{rng.next<32>()};
    if (i == 0) k.bytes.fill(0xFF);
    if (i == 1) k.bytes.fill(0);
    std::uint8_t k_mod_l[32], want[32];
    std::uint8_t wide[64] = {};
    std::copy(k.bytes.begin(), k.bytes.end(), wide);
    crypto_core_ed25519_scalar_reduce(k_mod_l, wide);
    crypto_core_ed25519_scalar_mul(want, k_mod_l, inverse_of_eight);
    const Scalar eighth = divide_by_cofactor(k);
    ASSERT_EQ(to_hex(eighth.bytes), to_hex(std::to_array(want))) << i;

    Scalar key = k;
    key.bytes[31] &= 0x7F;
    const Point a = mul_base(rng.scalar255());
    const PointBytes plain = compress(mul_point(key, a));
    EXPECT_EQ(compress(mul_prime_component(key, a)), plain) << i;
    for (unsigned j = 1; j < 8; ++j) {
      EXPECT_EQ(compress(mul_prime_component(key, add_points(a, small_multiple(j, t)))), plain)
          << i << " " << j;
    }
    EXPECT_TRUE(points_equal(mul_prime_component(key, t), identity_point())) << i;
  }
}

TEST_F(Edwards, DecodingFailuresCarryTheirMessages) {
  const std::array<std::uint8_t, 31> short_key{};
  try {
    decode_public_key(short_key);
    FAIL();
  } catch (const FatalError& e) {
    EXPECT_EQ(e.message(),
              "source slice length (31) does not match destination slice length (32)");
  }
  try {
    decode_public_key(filled(0x02, 0x00, 0x00));
    FAIL();
  } catch (const FatalError& e) {
    EXPECT_EQ(e.message(), "The public key was not a valid curve point.");
  }
  try {
    secret_key_scalar(std::array<std::uint8_t, 33>{});
    FAIL();
  } catch (const FatalError& e) {
    EXPECT_EQ(e.message(),
              "source slice length (33) does not match destination slice length (32)");
  }
  EXPECT_TRUE(points_equal(decode_public_key(filled(0x58, 0x66, 0x66)), base_point()));
}

TEST_F(Edwards, MontgomeryToEdwards) {
  EXPECT_FALSE(montgomery_to_edwards(filled(0xEC, 0xFF, 0x7F).data(), false).has_value());
  const auto zero = filled(0x00, 0x00, 0x00);
  const Point minus_one_y = decompress(filled(0xEC, 0xFF, 0x7F).data()).value();  // (0, -1)
  for (bool sign : {false, true}) {
    const auto p = montgomery_to_edwards(zero.data(), sign);
    ASSERT_TRUE(p.has_value());
    EXPECT_TRUE(points_equal(*p, minus_one_y));
  }
  // u of the base point is 9.
  std::uint8_t nine[32] = {9};
  EXPECT_TRUE(points_equal(montgomery_to_edwards(nine, false).value(), base_point()));
}

}  // namespace
}  // namespace veltrane::group
