#include "elimination.hpp"

#include <gtest/gtest.h>

#include "test_sources.hpp"

namespace veltrane::okvs {
namespace {

using testing::filled_value;
using testing::TaggedSource;

OkvsValue xor_of(const Solution& s, const ColumnSet& set) {
  OkvsValue acc;
  for (std::size_t c : set) acc ^= s.get(c);
  return acc;
}

TEST(Elimination, NoRowsDrawNothing) {
  Solution s;
  s.reset(40);
  TaggedSource rng;
  EXPECT_TRUE(solve({}, {}, s, rng));
  EXPECT_EQ(rng.fills, 0u);
  for (std::size_t c = 0; c < 40; ++c) EXPECT_FALSE(s.filled(c));
}

TEST(Elimination, SelfLoopRowDrawsItsColumnsAscendingAndCorrectsTheLast) {
  const std::size_t m = 10;
  Solution s;
  s.reset(m + 32);
  TaggedSource rng;
  const OkvsValue value = filled_value(0xa5);
  ASSERT_TRUE(solve({{m + 3, m + 7}}, {value}, s, rng));
  EXPECT_EQ(rng.values_drawn(), 2u);
  EXPECT_EQ(s.get(m + 3), TaggedSource::value_of_draw(0));
  EXPECT_EQ(s.get(m + 7), value ^ TaggedSource::value_of_draw(0));
  for (std::size_t c = 0; c < m + 32; ++c) EXPECT_EQ(s.filled(c), c == m + 3 || c == m + 7);
}

TEST(Elimination, PivotRowsAreExchangedBeforeBackSubstitution) {
  Solution s;
  s.reset(40);
  TaggedSource rng;
  const OkvsValue v0 = filled_value(0x11), v1 = filled_value(0x22);
  // Column 2 has its pivot in the second row, so the rows swap; back
  // substitution then starts with {5, 7}.
  ASSERT_TRUE(solve({{5, 7}, {2, 5}}, {v0, v1}, s, rng));
  EXPECT_EQ(s.get(5), TaggedSource::value_of_draw(0));
  EXPECT_EQ(s.get(7), v0 ^ TaggedSource::value_of_draw(0));
  EXPECT_EQ(s.get(2), v1 ^ TaggedSource::value_of_draw(0));
  EXPECT_EQ(rng.values_drawn(), 3u);
}

TEST(Elimination, TriangleEquationsAllHold) {
  const std::size_t m = 10, a = 1, b = 4, c = 6;
  const ColumnSet r0{a, c, m + 0, m + 2}, r1{a, b, m + 2, m + 5}, r2{b, c, m + 1};
  const OkvsValue x = filled_value(1), y = filled_value(2), z = filled_value(4);
  Solution s;
  s.reset(m + 32);
  TaggedSource rng;
  ASSERT_TRUE(solve({r0, r1, r2}, {x, y, z}, s, rng));
  EXPECT_EQ(xor_of(s, r0), x);
  EXPECT_EQ(xor_of(s, r1), y);
  EXPECT_EQ(xor_of(s, r2), z);
  // Last row {m, m+1, m+5}: three draws; {b, c, m, m+5}: b and c; first row: a and m+2.
  EXPECT_EQ(rng.values_drawn(), 7u);
  EXPECT_EQ(s.get(m + 0), TaggedSource::value_of_draw(0));
  EXPECT_EQ(s.get(m + 1), TaggedSource::value_of_draw(1));
  EXPECT_EQ(s.get(b), TaggedSource::value_of_draw(3));
  EXPECT_EQ(s.get(a), TaggedSource::value_of_draw(5));
}

TEST(Elimination, DependentRowsFail) {
  Solution s;
  s.reset(40);
  TaggedSource rng;
  EXPECT_FALSE(solve({{3, 35}, {3, 35}}, {filled_value(1), filled_value(2)}, s, rng));
  EXPECT_FALSE(solve({{}}, {filled_value(1)}, s, rng));  // a self-loop with no dense bit
}

}  // namespace
}  // namespace veltrane::okvs
