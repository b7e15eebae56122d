#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/fatal_error.hpp"
#include "schemes/paxos.hpp"
#include "test_sources.hpp"

namespace veltrane::okvs {
namespace {

template <class Parse>
std::string error_of(Parse&& parse) {
  try {
    parse();
  } catch (const FatalError& e) {
    return e.what();
  }
  return "parsed";
}

// The message of a copying parse, once a view over the same bytes has been
// seen to stop with the very same message.
std::string parse_error(std::size_t length) {
  std::vector<std::uint8_t> bytes(length, 0x5a);
  std::string copied = error_of([&] { Paxos::from_bytes(bytes); });
  std::string viewed = error_of([&] { PaxosView::over(bytes); });
  EXPECT_EQ(copied, viewed) << length;
  return copied;
}

TEST(SparseSize, IsTheCeilingOfTwelveFifths) {
  const std::uint64_t expected[] = {0, 3, 5, 8, 10, 12};
  for (std::uint64_t n = 0; n < 6; ++n) EXPECT_EQ(sparse_size(n), expected[n]) << n;
  EXPECT_EQ(sparse_size(10), 24u);
  testing::SplitMixSource rng(7);
  for (int i = 0; i < 200000; ++i) {
    std::uint64_t n = i < 100000 ? i : rng.draw_u64() % 5'000'001;
    ASSERT_EQ(sparse_size(n), (12 * n + 4) / 5) << n;
  }
  EXPECT_EQ(sparse_size(~std::uint64_t{0}), ~std::uint64_t{0});
}

TEST(PaxosBytes, ShortInputsFailInTheOrderTheFieldsAreRead) {
  EXPECT_EQ(parse_error(0), "range end index 8 out of range for slice of length 0");
  EXPECT_EQ(parse_error(5), "range end index 8 out of range for slice of length 5");
  EXPECT_EQ(parse_error(8), "range end index 16 out of range for slice of length 8");
  EXPECT_EQ(parse_error(23), "range end index 24 out of range for slice of length 23");
  for (std::size_t length : {24, 1000, 2047}) {
    std::string e = parse_error(length);
    EXPECT_EQ(e.rfind("range end index ", 0), 0u) << e;
    EXPECT_TRUE(e.ends_with(" out of range for slice of length " + std::to_string(length))) << e;
  }
  EXPECT_EQ(parse_error(2048), "slice index starts at 24 but ends at 0");
  EXPECT_EQ(parse_error(2071), "slice index starts at 24 but ends at 23");
  EXPECT_EQ(parse_error(2072), "parsed");
}

TEST(PaxosBytes, LengthGivesTheCellCountAndALooseRemainderIsIgnored) {
  std::vector<std::uint8_t> bytes(2100);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
  Paxos p = Paxos::from_bytes(bytes);
  EXPECT_EQ(p.sparse_count(), 0u);
  for (std::size_t i = 0; i < 32; ++i) {
    for (std::size_t j = 0; j < 64; ++j) ASSERT_EQ(p.dense(i).bytes[j], bytes[52 + 64 * i + j]);
  }
  std::vector<std::uint8_t> canonical = p.to_bytes();
  ASSERT_EQ(canonical.size(), 2072u);
  EXPECT_TRUE(std::equal(canonical.begin(), canonical.begin() + 24, bytes.begin()));
  EXPECT_TRUE(std::equal(canonical.begin() + 24, canonical.end(), bytes.begin() + 52));

  EXPECT_EQ(Paxos::from_bytes(std::vector<std::uint8_t>(2072 + 63)).sparse_count(), 0u);
  EXPECT_EQ(Paxos::from_bytes(std::vector<std::uint8_t>(2072 + 64)).sparse_count(), 1u);
  EXPECT_EQ(Paxos::from_bytes(std::vector<std::uint8_t>(2072 + 64 * 8 + 5)).sparse_count(), 8u);
}

TEST(PaxosBytes, SeedsAreLittleEndianAndBytesRoundTrip) {
  std::vector<std::uint8_t> bytes(2072 + 64 * 3);
  testing::SplitMixSource rng(3);
  rng.draw_bytes(bytes.data(), bytes.size());
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(i + 1);
  Paxos p = Paxos::from_bytes(bytes);
  EXPECT_EQ(p.seed0(), 0x0807060504030201ULL);
  EXPECT_EQ(p.sparse_count(), 3u);
  EXPECT_EQ(p.sparse(2).bytes[63], bytes[24 + 3 * 64 - 1]);
  EXPECT_EQ(p.to_bytes(), bytes);
  EXPECT_EQ(Paxos::from_bytes(p.to_bytes()).to_bytes(), bytes);
  EXPECT_EQ(std::move(p).to_bytes(), bytes);
}

// A view reads the cells where they lie, the dense ones at the end even when
// a loose remainder precedes them, so every key decodes as from the copy.
TEST(PaxosView, DecodesEveryKeyAsTheCopiedStoreDoes) {
  testing::SplitMixSource rng(11);
  for (std::size_t length : {2072u, 2072u + 64u, 2072u + 64u * 5u + 1u, 2072u + 64u * 40u + 63u}) {
    std::vector<std::uint8_t> bytes(length);
    rng.draw_bytes(bytes.data(), bytes.size());
    const Paxos copied = Paxos::from_bytes(bytes);
    const PaxosView view = PaxosView::over(bytes);
    ASSERT_EQ(view.sparse_count(), copied.sparse_count()) << length;
    EXPECT_EQ(view.seed0(), copied.seed0());
    EXPECT_EQ(view.seed1(), copied.seed1());
    EXPECT_EQ(view.seed2(), copied.seed2());
    for (std::size_t i = 0; i < DENSE_WIDTH; ++i) EXPECT_EQ(view.dense(i), copied.dense(i));
    for (std::size_t j = 0; j < view.sparse_count(); ++j) {
      EXPECT_EQ(view.sparse(j), copied.sparse(j));
    }
    if (copied.sparse_count() == 0) {
      EXPECT_EQ(error_of([&] { decode(view, Hashable("k")); }),
                "attempt to calculate the remainder with a divisor of zero");
      continue;
    }
    for (int k = 0; k < 200; ++k) {
      const std::string key = "key-" + std::to_string(k);
      ASSERT_EQ(decode(view, Hashable(key)), decode(copied, Hashable(key))) << length << " " << key;
    }
  }
}

}  // namespace
}  // namespace veltrane::okvs
