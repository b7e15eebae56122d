// The lane backends against the one-item field: the same canonical bytes
// and the same validity for every operation, on random inputs mixed with the
// values where carries, aliases and special points live. Each test runs on
// the emulations of both lane fields and, where the processor has them, on
// the IFMA, AVX-512F and AVX2 lanes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "group/edwards.hpp"
#include "group/tests/lane_ops.hpp"
#include "group/tests/test_support.hpp"

namespace veltrane::group::testing {
namespace {

const LaneOps* backend(const std::string& name) {
  if (name == "portable") return &portable_lane_ops();
  if (name == "portable25") return &portable25_lane_ops();
  if (name == "ifma") return ifma_lane_ops();
  if (name == "avx512f") return avx512f_lane_ops();
  return avx2_lane_ops();
}

bool emulated(const std::string& name) { return name.rfind("portable", 0) == 0; }

class LanesTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    ops_ = backend(GetParam());
    if (!ops_) GTEST_SKIP() << GetParam() << " lanes not run: this processor lacks them";
  }
  const LaneOps* ops_ = nullptr;
};

std::array<std::uint8_t, 32> bytes_of(const FieldElement& a) { return fe_to_bytes(a); }

// Field elements worth testing beyond random ones: 0, 1, p - 1, aliases of
// small values (p, p + 1, 2^255 - 1), and limbs at the top of the tight range.
std::vector<FieldElement> special_elements() {
  std::vector<FieldElement> out;
  for (const auto& b : {filled(0, 0, 0), filled(1, 0, 0), filled(0xec, 0xff, 0x7f),
                        filled(0xed, 0xff, 0x7f), filled(0xee, 0xff, 0x7f),
                        filled(0xff, 0xff, 0xff), filled(19, 0, 0), filled(0xff, 0xff, 0x3f)}) {
    out.push_back(fe_from_bytes(b.data()));
  }
  const std::uint64_t top = (std::uint64_t{1} << 51) + (std::uint64_t{1} << 13) - 1;
  out.push_back(FieldElement{{top, top, top, top, top}});
  out.push_back(FieldElement{{top, 0, top, 0, top}});
  out.push_back(FieldElement{{(std::uint64_t{1} << 51) - 1, (std::uint64_t{1} << 51) - 1,
                              (std::uint64_t{1} << 51) - 1, (std::uint64_t{1} << 51) - 1,
                              (std::uint64_t{1} << 51) - 1}});
  return out;
}

// n elements: the special ones first, then random bytes and random tight limbs.
std::vector<FieldElement> elements(std::size_t n, std::uint64_t seed) {
  std::vector<FieldElement> out = special_elements();
  Bytes rng(seed);
  std::mt19937_64 limbs(seed + 1);
  const std::uint64_t tight = (std::uint64_t{1} << 51) + (std::uint64_t{1} << 13);
  while (out.size() < n) {
    if (out.size() % 2) {
      out.push_back(fe_from_bytes(rng.next<32>().data()));
    } else {
      FieldElement e;
      for (auto& l : e.limb) l = limbs() % tight;
      out.push_back(e);
    }
  }
  return out;
}

Lanes lanes_at(const std::vector<FieldElement>& v, std::size_t first) {
  Lanes l;
  for (int i = 0; i < kLanes; ++i) l[i] = v[(first + i) % v.size()];
  return l;
}

TEST_P(LanesTest, FieldArithmeticMatchesOneItemField) {
  const std::size_t n = test_items(100000);
  const std::vector<FieldElement> a = elements(n, 1), b = elements(n, 2);
  for (std::size_t first = 0; first < a.size(); first += kLanes) {
    // Shifted so that every special value meets every other one somewhere.
    const Lanes x = lanes_at(a, first), y = lanes_at(b, first * 3 + 5);
    Lanes sum, diff, prod, neg, sq;
    ops_->binary(Binary::add, x, y, sum);
    ops_->binary(Binary::sub, x, y, diff);
    ops_->binary(Binary::mul, x, y, prod);
    ops_->unary(Unary::neg, x, neg);
    ops_->unary(Unary::square, x, sq);
    const std::uint32_t eq = ops_->predicate(Predicate::equal, x, y);
    const std::uint32_t zero = ops_->predicate(Predicate::is_zero, x, y);
    const std::uint32_t negative = ops_->predicate(Predicate::is_negative, x, y);
    for (int i = 0; i < kLanes; ++i) {
      ASSERT_EQ(bytes_of(sum[i]), bytes_of(fe_carry(fe_add(x[i], y[i])))) << first + i;
      ASSERT_EQ(bytes_of(diff[i]), bytes_of(fe_sub(x[i], y[i]))) << first + i;
      ASSERT_EQ(bytes_of(prod[i]), bytes_of(fe_mul(x[i], y[i]))) << first + i;
      ASSERT_EQ(bytes_of(neg[i]), bytes_of(fe_neg(x[i]))) << first + i;
      ASSERT_EQ(bytes_of(sq[i]), bytes_of(fe_square(x[i]))) << first + i;
      ASSERT_EQ((eq >> i) & 1, fe_equal(x[i], y[i]));
      ASSERT_EQ((zero >> i) & 1, fe_is_zero(x[i]));
      ASSERT_EQ((negative >> i) & 1, fe_is_negative(x[i]));
    }
    // Outputs feed further operations: chains keep within the bounds.
    Lanes chained;
    ops_->binary(Binary::mul, sum, diff, chained);
    for (int i = 0; i < kLanes; ++i) {
      ASSERT_EQ(bytes_of(chained[i]),
                bytes_of(fe_mul(fe_carry(fe_add(x[i], y[i])), fe_sub(x[i], y[i]))));
    }
  }
}

TEST_P(LanesTest, ExponentiationsSquareRootsAndBytesMatch) {
  const std::size_t n = test_items(100000);
  const std::vector<FieldElement> a = elements(n, 3), b = elements(n, 4);
  for (std::size_t first = 0; first < a.size(); first += kLanes) {
    const Lanes u = lanes_at(a, first), v = lanes_at(b, first + 7);
    Lanes inv, root;
    ops_->unary(Unary::invert, u, inv);
    const std::uint32_t square = ops_->sqrt_ratio(u, v, root);
    LaneBytes encoded;
    ops_->to_bytes(u, encoded);
    Lanes decoded;
    ops_->from_bytes(encoded, decoded);
    for (int i = 0; i < kLanes; ++i) {
      ASSERT_EQ(bytes_of(inv[i]), bytes_of(fe_invert(u[i])));
      const SqrtRatio want = fe_sqrt_ratio(u[i], v[i]);
      ASSERT_EQ((square >> i) & 1, want.is_square);
      ASSERT_EQ(bytes_of(root[i]), bytes_of(want.root));
      ASSERT_EQ(encoded[i], fe_to_bytes(u[i]));
      ASSERT_EQ(bytes_of(decoded[i]), fe_to_bytes(u[i]));
    }
  }
}

// Encodings: random bytes (about half are points), the small-order points,
// aliases of y and the sign bit on x = 0.
std::vector<PointBytes> encodings(std::size_t n, std::uint64_t seed) {
  std::vector<PointBytes> out = {
      filled(0x01, 0, 0),    filled(0x01, 0, 0x80), filled(0xec, 0xff, 0x7f),
      filled(0, 0, 0),       filled(0, 0, 0x80),    filled(0xee, 0xff, 0x7f),
      filled(0xed, 0xff, 0x7f), filled(0x02, 0, 0), filled(0xff, 0xff, 0xff),
      filled(0x58, 0x66, 0x66)};
  // The points of order 8 (y = +-sqrt of a root of the order-8 equation).
  const char* order8[] = {"26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc05",
                          "c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac037a"};
  for (const char* h : order8) {
    out.push_back(from_hex32(h));
    PointBytes neg = from_hex32(h);
    neg[31] ^= 0x80;
    out.push_back(neg);
  }
  Bytes rng(seed);
  while (out.size() < n) out.push_back(rng.next<32>());
  return out;
}

TEST_P(LanesTest, DecompressAndCompressMatch) {
  const std::vector<PointBytes> in = encodings(test_items(100000), 5);
  for (std::size_t first = 0; first + 2 * kLanes <= in.size(); first += 2 * kLanes) {
    LaneBytes group[2];
    LanePoints points[2];
    std::uint32_t valid[2];
    for (int g = 0; g < 2; ++g) {
      for (int i = 0; i < kLanes; ++i) group[g][i] = in[first + g * kLanes + i];
      valid[g] = ops_->decompress(group[g], points[g]);
    }
    for (int g = 0; g < 2; ++g) {
      for (int i = 0; i < kLanes; ++i) {
        const std::optional<Point> want = decompress(group[g][i].data());
        ASSERT_EQ((valid[g] >> i) & 1, want.has_value() ? 1u : 0u) << to_hex(group[g][i]);
        if (!want) points[g][i] = base_point();  // compress needs valid points only
      }
    }
    PointBytes out[2 * kLanes];
    ops_->compress(points, 2, out);
    for (int j = 0; j < 2 * kLanes; ++j) {
      ASSERT_EQ(out[j], compress(points[j / kLanes][j % kLanes])) << first + j;
    }
  }
}

// Points of every order: decoded random encodings (mostly of order 8l),
// small-order and mixed-order ones, the identity.
std::vector<Point> points(std::size_t n, std::uint64_t seed) {
  std::vector<Point> out;
  for (const PointBytes& b : encodings(4 * n, seed)) {
    if (std::optional<Point> p = decompress(b.data())) out.push_back(*p);
    if (out.size() == n) break;
  }
  const Point torsion = *decompress(
      from_hex32("26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc05").data());
  for (std::size_t i = 20; i < out.size(); i += 7) out[i] = add_points(out[i], torsion);
  return out;
}

TEST_P(LanesTest, AdditionEqualityAndMultiplicationsMatch) {
  const std::size_t n = test_items(emulated(GetParam()) ? 4000 : 20000);
  const std::vector<Point> p = points(n, 6), q = points(n, 7);
  Bytes rng(8);
  const auto table = build_fixed_base_table(q[40]);
  for (std::size_t first = 0; first + kLanes <= n; first += kLanes) {
    LanePoints a, b, sum, prod, fixed;
    LaneScalars k;
    for (int i = 0; i < kLanes; ++i) {
      a[i] = p[first + i];
      b[i] = i == 3 ? p[first + i] : q[first + i];  // equal points in one lane
      k[i] = rng.scalar255();
    }
    if (first == 0) {
      k[0] = Scalar{};                      // zero
      k[1].bytes.fill(0xff);                // 2^255 - 1
      k[1].bytes[31] = 0x7f;
      k[2] = Scalar{};
      k[2].bytes[0] = 1;
    }
    ops_->add(a, b, sum);
    const std::uint32_t same = ops_->equal(a, b);
    ops_->mul_point(k, a, prod);
    ops_->mul_fixed(*table, k, fixed);
    for (int i = 0; i < kLanes; ++i) {
      ASSERT_EQ(compress(sum[i]), compress(add_points(a[i], b[i])));
      ASSERT_EQ((same >> i) & 1, points_equal(a[i], b[i]) ? 1u : 0u);
      ASSERT_EQ(compress(prod[i]), compress(mul_point(k[i], a[i]))) << first + i;
      ASSERT_EQ(compress(fixed[i]), compress(mul_fixed(*table, k[i]))) << first + i;
    }
  }
}

TEST_P(LanesTest, ElligatorMapMatches) {
  const std::vector<FieldElement> r = elements(test_items(100000), 9);
  Bytes rng(10);
  for (std::size_t first = 0; first < r.size(); first += kLanes) {
    const Lanes x = lanes_at(r, first);
    const std::uint32_t sign = rng.next<1>()[0];
    LanePoints out;
    const std::uint32_t valid = ops_->elligator2_point(x, sign, out);
    for (int i = 0; i < kLanes; ++i) {
      const std::optional<Point> want = elligator2_point(x[i], (sign >> i) & 1);
      ASSERT_EQ((valid >> i) & 1, want.has_value() ? 1u : 0u);
      if (want) {
        ASSERT_EQ(compress(out[i]), compress(*want));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, LanesTest, ::testing::Values("portable", "portable25", "ifma", "avx512f", "avx2"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace veltrane::group::testing
