#include "hashable.hpp"

#include <gtest/gtest.h>

#include <string>

#include "common/fatal_error.hpp"
#include "common/text_rows.hpp"
#include "distinct_keys.hpp"

namespace veltrane::okvs {
namespace {

TextRows rows_of(std::initializer_list<std::initializer_list<std::string_view>> rows) {
  TextRows t;
  for (auto row : rows) {
    for (auto s : row) t.append(s);
    t.end_row();
  }
  return t;
}

TEST(Hashable, IsXxh3WithSeedOverTheConcatenatedBytes) {
  // Reference values from an independent XXH3 implementation.
  EXPECT_EQ(Hashable("abc").hash_with_seed(5), 0x5599169c9856140bULL);
  EXPECT_EQ(Hashable("").hash_with_seed(0), 0x2d06800538d394c2ULL);
  EXPECT_EQ(Hashable("\xc3\xa9").hash_with_seed(1), 0xc8a7ea0595bc5fafULL);  // "é" in UTF-8
  std::string long_key;  // over 240 bytes: the secret is derived from the seed
  for (int r = 0; r < 2; ++r)
    for (int i = 0; i < 256; ++i) long_key.push_back(static_cast<char>(i));
  EXPECT_EQ(Hashable(long_key).hash_with_seed(0x123456789abcdefULL), 0xd6ada5273220e7b1ULL);
}

TEST(Hashable, RowsWithTheSameConcatenationAreOneKey) {
  TextRows t = rows_of({{"ab", "c"}, {"a", "bc"}, {"abc"}, {}, {""}, {"", ""}});
  for (std::uint64_t seed : {0ULL, 1ULL, 0xffffffffffffffffULL}) {
    EXPECT_EQ(Hashable(t.row(0)).hash_with_seed(seed), Hashable(t.row(1)).hash_with_seed(seed));
    EXPECT_EQ(Hashable(t.row(0)).hash_with_seed(seed), Hashable(t.row(2)).hash_with_seed(seed));
    EXPECT_EQ(Hashable(t.row(0)).hash_to_index(seed, 1000), Hashable(t.row(1)).hash_to_index(seed, 1000));
    for (std::size_t i = 4; i < 6; ++i) {
      EXPECT_EQ(Hashable(t.row(3)).hash_with_seed(seed), Hashable(t.row(i)).hash_with_seed(seed));
    }
  }
  EXPECT_NE(Hashable(t.row(0)).hash_with_seed(0), Hashable(t.row(3)).hash_with_seed(0));
}

TEST(Hashable, IndexIsTheRemainderAndZeroCellsIsFatal) {
  Hashable k("key");
  EXPECT_EQ(k.hash_to_index(7, 1), 0u);
  EXPECT_EQ(k.hash_to_index(7, 1000003), k.hash_with_seed(7) % 1000003);
  try {
    k.hash_to_index(7, 0);
    FAIL() << "no error";
  } catch (const FatalError& e) {
    EXPECT_STREQ(e.what(), "attempt to calculate the remainder with a divisor of zero");
  }
}

TEST(DistinctKeys, KeepsTheFirstRowOfEachKeyInOrder) {
  TextRows t = rows_of({{"x"}, {"ab", "c"}, {"y"}, {"x"}, {"a", "bc"}, {}, {""}, {"z"}});
  std::vector<Hashable> keys;
  for (std::size_t i = 0; i < t.size(); ++i) keys.emplace_back(t.row(i));
  keep_first_occurrences(keys);
  ASSERT_EQ(keys.size(), 5u);
  EXPECT_EQ(keys[0].bytes(), "x");
  EXPECT_EQ(keys[1].bytes().data(), t.row(1).data());  // the first of the "abc" rows
  EXPECT_EQ(keys[2].bytes(), "y");
  EXPECT_EQ(keys[3].bytes(), "");
  EXPECT_EQ(keys[4].bytes(), "z");

  std::vector<std::string> many;
  for (int i = 0; i < 20000; ++i) many.push_back(std::to_string(i % 7000));
  std::vector<Hashable> big(many.begin(), many.end());
  keep_first_occurrences(big);
  ASSERT_EQ(big.size(), 7000u);
  for (int i = 0; i < 7000; ++i) EXPECT_EQ(big[i].bytes(), std::to_string(i));
}

}  // namespace
}  // namespace veltrane::okvs
