// The radix-2^25.5 lane field at the edges of its bound: every operation
// must accept limbs anywhere up to 2^w_i + 2^16 (w_i = 26, 25, 26, ...) and
// give a result within that bound again. Values made from one-item elements
// (as in the differential tests) never reach the top of that range, so the
// limbs here are set directly: all at the maximum, zero, 2^w_i - 1, mixed,
// and random over the whole range. The reference is the one-item field,
// fed the same value by Horner's rule over the limbs.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "group/field.hpp"
#include "group/lanes/lane_field25.hpp"
#include "group/lanes/portable_u64xn.hpp"
#include "group/tests/test_support.hpp"

namespace veltrane::group::testing {
namespace {

using F = lanes::LaneField25<lanes::PortableU64xN<8>>;
constexpr int kN = 8;
using Limbs = std::array<std::uint64_t, 10>;

constexpr int width(int i) { return i % 2 ? 25 : 26; }
constexpr std::uint64_t bound(int i) { return (std::uint64_t{1} << width(i)) + (1u << 16); }

// The one-item element of sum l_i 2^ceil(25.5 i).
FieldElement reference(const Limbs& l) {
  FieldElement v = kFieldZero;
  for (int i = 9; i >= 0; --i) {
    if (i < 9) v = fe_mul(v, FieldElement{{std::uint64_t{1} << width(i), 0, 0, 0, 0}});
    v = fe_carry(fe_add(v, FieldElement{{l[i], 0, 0, 0, 0}}));
  }
  return v;
}

F::Element element(const std::array<Limbs, kN>& lanes) {
  F::Element e;
  for (int i = 0; i < 10; ++i) {
    for (int lane = 0; lane < kN; ++lane) e.l[i].v[lane] = lanes[lane][i];
  }
  return e;
}

Limbs lane_limbs(const F::Element& e, int lane) {
  Limbs l;
  for (int i = 0; i < 10; ++i) l[i] = e.l[i].v[lane];
  return l;
}

std::array<std::uint8_t, 32> bytes(const F::Element& e, int lane) {
  std::array<std::array<std::uint8_t, 32>, kN> out;
  std::uint8_t* p[kN];
  for (int i = 0; i < kN; ++i) p[i] = out[i].data();
  F::to_bytes(e, p);
  return out[lane];
}

// Within the bound, and the expected value.
void expect_result(const F::Element& got, int lane, const FieldElement& want, const char* op) {
  const Limbs l = lane_limbs(got, lane);
  for (int i = 0; i < 10; ++i) ASSERT_LT(l[i], bound(i)) << op << " limb " << i;
  ASSERT_EQ(bytes(got, lane), fe_to_bytes(want)) << op;
  ASSERT_EQ(fe_to_bytes(F::lane(got, lane)), fe_to_bytes(want)) << op << " as one item";
}

std::vector<Limbs> edge_limbs(std::size_t random_count) {
  Limbs top, zero{}, full, low_top, high_top;
  for (int i = 0; i < 10; ++i) {
    top[i] = bound(i) - 1;
    full[i] = (std::uint64_t{1} << width(i)) - 1;  // 2^255 - 1, an alias of 18
    low_top[i] = i < 5 ? top[i] : 0;
    high_top[i] = i < 5 ? 0 : top[i];
  }
  Limbs p = full;  // p itself: a non-canonical zero
  p[0] -= 18;
  std::vector<Limbs> out = {top, zero, full, low_top, high_top, p};
  std::mt19937_64 rng(25);
  while (out.size() < random_count) {
    Limbs l;
    for (int i = 0; i < 10; ++i) l[i] = rng() % bound(i);
    out.push_back(l);
  }
  return out;
}

TEST(LaneField25, EveryOperationKeepsTheBoundFromItsEdges) {
  const std::vector<Limbs> values = edge_limbs(test_items(20000));
  for (std::size_t first = 0; first < values.size(); first += kN) {
    std::array<Limbs, kN> a, b;
    for (int lane = 0; lane < kN; ++lane) {
      a[lane] = values[(first + lane) % values.size()];
      // Pairs every edge value with every other one in the first rounds.
      b[lane] = values[(first / kN + lane * 7) % values.size()];
    }
    const F::Element x = element(a), y = element(b);
    const F::Element sum = F::add(x, y), diff = F::sub(x, y), prod = F::mul(x, y),
                     sq = F::square(x), neg = F::neg(x);
    for (int lane = 0; lane < kN; ++lane) {
      const FieldElement u = reference(a[lane]), v = reference(b[lane]);
      ASSERT_EQ(bytes(x, lane), fe_to_bytes(u)) << first + lane;
      expect_result(sum, lane, fe_carry(fe_add(u, v)), "add");
      expect_result(diff, lane, fe_sub(u, v), "sub");
      expect_result(prod, lane, fe_mul(u, v), "mul");
      expect_result(sq, lane, fe_square(u), "square");
      expect_result(neg, lane, fe_neg(u), "neg");
    }
  }
}

TEST(LaneField25, PredicatesReadTheCanonicalValue) {
  // p, 2p - 1 spread over the limbs, and 0: the same value written three ways.
  Limbs p, zero{};
  for (int i = 0; i < 10; ++i) p[i] = (std::uint64_t{1} << width(i)) - 1;
  p[0] -= 18;
  std::array<Limbs, kN> a{}, b{};
  a[0] = p;
  b[0] = zero;
  a[1] = p;
  a[1][0] += 1;  // p + 1 = 1: odd
  b[1] = zero;
  b[1][0] = 1;
  const F::Element x = element(a), y = element(b);
  const std::uint32_t equal = F::mask_bits(F::equal(x, y));
  const std::uint32_t is_zero = F::mask_bits(F::is_zero(x));
  const std::uint32_t negative = F::mask_bits(F::is_negative(x));
  EXPECT_EQ(equal & 3u, 3u);
  EXPECT_EQ(is_zero & 3u, 1u);
  EXPECT_EQ(negative & 3u, 2u);
}

}  // namespace
}  // namespace veltrane::group::testing
