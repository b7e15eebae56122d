#include <gtest/gtest.h>

#include <bit>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/fatal_error.hpp"
#include "distinct_keys.hpp"
#include "graph.hpp"
#include "reference_encoder.hpp"
#include "schemes/paxos.hpp"
#include "test_sources.hpp"

namespace veltrane::okvs {
namespace {

using testing::SplitMixSource;
using testing::TaggedSource;

struct Pairs {
  std::vector<std::string> storage;
  std::vector<Hashable> keys;
  std::vector<OkvsValue> values;
};

Pairs make_pairs(std::size_t n, std::uint64_t seed) {
  Pairs p;
  SplitMixSource rng(seed);
  for (std::size_t i = 0; i < n; ++i) p.storage.push_back("row-" + std::to_string(seed) + "-" + std::to_string(i));
  for (const auto& s : p.storage) p.keys.emplace_back(s);
  for (std::size_t i = 0; i < n; ++i) p.values.push_back(random_value(rng));
  return p;
}

Paxos encode_until_success(const Pairs& p, RandomSource& rng, EncodeWorkspace& work,
                           int* attempts = nullptr) {
  for (int a = 1; a <= 500; ++a) {
    if (auto store = encode(p.keys, p.values, rng, work)) {
      if (attempts) *attempts = a;
      return std::move(*store);
    }
  }
  throw std::runtime_error("no successful attempt in 500");
}

bool is_self_loop(const Paxos& s, Hashable k) {
  const std::size_t m = s.sparse_count();
  return k.hash_to_index(s.seed0(), m) == k.hash_to_index(s.seed1(), m);
}

// Edges left after peeling, rebuilt from the store's seeds.
std::size_t core_size(const Paxos& s, const std::vector<Hashable>& keys) {
  Graph g;
  const std::size_t m = s.sparse_count();
  g.reset(m);
  for (Hashable k : keys) g.reserve_edge(k.hash_to_index(s.seed0(), m), k.hash_to_index(s.seed1(), m));
  for (std::size_t i = 0; i < keys.size(); ++i) {
    g.add_edge(keys[i].hash_to_index(s.seed0(), m), keys[i].hash_to_index(s.seed1(), m), i);
  }
  g.peel();
  return g.edge_count();
}

std::string decode_error(const Paxos& s, Hashable k) {
  try {
    decode(s, k);
  } catch (const FatalError& e) {
    return e.what();
  }
  return "decoded";
}

TEST(Encode, EmptyStoreIsSeedsAndRandomDenseCells) {
  TaggedSource rng;
  auto store = encode({}, {}, rng);
  ASSERT_TRUE(store);
  std::vector<std::uint8_t> bytes = store->to_bytes();
  ASSERT_EQ(bytes.size(), 2072u);
  EXPECT_EQ(bytes[0], 1000 % 256);
  EXPECT_EQ(bytes[1], 1000 / 256);
  EXPECT_EQ(store->seed1(), 1001u);
  EXPECT_EQ(store->seed2(), 1002u);
  for (unsigned i = 0; i < 32; ++i) EXPECT_EQ(store->dense(i), TaggedSource::value_of_draw(i));
  EXPECT_EQ(rng.values_drawn(), 32u);
  EXPECT_EQ(decode_error(*store, Hashable("x")),
            "attempt to calculate the remainder with a divisor of zero");
  EXPECT_EQ(decode_error(Paxos::from_bytes(bytes), Hashable("")),
            "attempt to calculate the remainder with a divisor of zero");
}

// The first key among k0, k1, ... that is (or is not) a self-loop under the
// seeds 1000 and 1001 that TaggedSource hands out with three cells.
std::string key_with_self_loop(bool loop) {
  for (int i = 0;; ++i) {
    std::string k = std::to_string(i);
    k.insert(k.begin(), 'k');
    bool is_loop = Hashable(k).hash_to_index(1000, 3) == Hashable(k).hash_to_index(1001, 3);
    if (is_loop == loop) return k;
  }
}

TEST(Encode, OnePeeledKeyDrawsDenseThenFarEndThenTheRest) {
  const std::string key = key_with_self_loop(false);
  const Hashable k(key);
  const OkvsValue value = testing::filled_value(0x3c);
  TaggedSource rng;
  auto store = encode({&k, 1}, {&value, 1}, rng);
  ASSERT_TRUE(store);
  ASSERT_EQ(store->to_bytes().size(), 2264u);
  for (unsigned i = 0; i < 32; ++i) EXPECT_EQ(store->dense(i), TaggedSource::value_of_draw(i));
  const std::size_t a = k.hash_to_index(1000, 3), b = k.hash_to_index(1001, 3);
  const std::size_t vertex = std::min(a, b), other = std::max(a, b), rest = 3 - a - b;
  OkvsValue dense_part;
  const std::uint64_t h = k.hash_with_seed(1002);
  for (unsigned i = 0; i < 32; ++i)
    if ((h >> i) & 1) dense_part ^= store->dense(i);
  EXPECT_EQ(store->sparse(other), TaggedSource::value_of_draw(32));
  EXPECT_EQ(store->sparse(vertex), value ^ dense_part ^ TaggedSource::value_of_draw(32));
  EXPECT_EQ(store->sparse(rest), TaggedSource::value_of_draw(33));
  EXPECT_EQ(rng.values_drawn(), 34u);
  EXPECT_EQ(decode(*store, k), value);
}

TEST(Encode, OneSelfLoopIsSolvedInTheDenseCells) {
  const std::string key = key_with_self_loop(true);
  const Hashable k(key);
  const OkvsValue value = testing::filled_value(0x77);
  TaggedSource rng;
  auto store = encode({&k, 1}, {&value, 1}, rng);
  ASSERT_TRUE(store);
  const std::uint32_t h = static_cast<std::uint32_t>(k.hash_with_seed(1002));
  const unsigned in_row = std::popcount(h);
  ASSERT_GE(in_row, 2u);
  // The row's columns get the first draws, in ascending order; the last is
  // corrected. The other dense cells and the three sparse cells follow.
  unsigned draw = 0, last = 31 - std::countl_zero(h);
  OkvsValue others;
  for (unsigned i = 0; i < 32; ++i) {
    if (!((h >> i) & 1)) continue;
    if (i != last) {
      EXPECT_EQ(store->dense(i), TaggedSource::value_of_draw(draw));
      others ^= store->dense(i);
    }
    ++draw;
  }
  EXPECT_EQ(store->dense(last), value ^ others);
  for (unsigned i = 0; i < 32; ++i) {
    if (!((h >> i) & 1)) {
      EXPECT_EQ(store->dense(i), TaggedSource::value_of_draw(draw++));
    }
  }
  for (unsigned j = 0; j < 3; ++j) EXPECT_EQ(store->sparse(j), TaggedSource::value_of_draw(draw++));
  EXPECT_EQ(rng.values_drawn(), 35u);
  EXPECT_EQ(decode(*store, k), value);
}

TEST(Encode, EveryInsertedKeyDecodesToItsValue) {
  SplitMixSource rng(42);
  EncodeWorkspace work;  // shared across sizes: nothing may leak between attempts
  for (std::size_t n : {10000, 1, 2, 3, 100, 0, 1000}) {
    Pairs p = make_pairs(n, n + 1);
    int attempts = 0;
    Paxos store = encode_until_success(p, rng, work, &attempts);
    EXPECT_LT(attempts, 20) << n;
    ASSERT_EQ(store.to_bytes().size(), 2072 + 64 * sparse_size(n));
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(decode(store, p.keys[i]), p.values[i]) << n << " " << i;
    Paxos parsed = Paxos::from_bytes(store.to_bytes());
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(decode(parsed, p.keys[i]), p.values[i]);
  }
}

TEST(Encode, SelfLoopsAndCyclesDecodeToo) {
  SplitMixSource rng(9);
  EncodeWorkspace work;
  int with_self_loop = 0, with_core = 0;
  for (int trial = 0; trial < 400; ++trial) {
    Pairs p = make_pairs(trial % 4 == 3 ? 60 : 1 + trial % 3, trial);
    Paxos store = encode_until_success(p, rng, work);
    for (std::size_t i = 0; i < p.keys.size(); ++i) {
      ASSERT_EQ(decode(store, p.keys[i]), p.values[i]);
      with_self_loop += is_self_loop(store, p.keys[i]);
    }
    with_core += core_size(store, p.keys) > 0;
  }
  EXPECT_GT(with_self_loop, 0);
  EXPECT_GT(with_core, 0);
}

TEST(Encode, RepeatedKeysFailEveryAttemptUntilRemoved) {
  // "ab"+"c" and "abc" are one key.
  std::vector<std::string> rows{"x", "abc", "y", "abc", "z"};
  std::vector<Hashable> keys(rows.begin(), rows.end());
  std::vector<OkvsValue> values(5, testing::filled_value(1));
  SplitMixSource rng(1);
  for (int a = 0; a < 50; ++a) EXPECT_FALSE(encode(keys, values, rng));
  keep_first_occurrences(keys);
  ASSERT_EQ(keys.size(), 4u);
  values.resize(4);
  std::optional<Paxos> store;
  for (int a = 0; a < 50 && !store; ++a) store = encode(keys, values, rng);
  ASSERT_TRUE(store);
  EXPECT_EQ(store->sparse_count(), 10u);
}

TEST(Encode, MatchesTheDirectEncoderByteForByte) {
  // Small stores have many cycles, self-loops and failed attempts; every
  // attempt must fail or succeed alike and give the same bytes.
  int successes = 0, failures = 0, with_core = 0;
  EncodeWorkspace work;
  for (std::uint64_t trial = 0; trial < 3000; ++trial) {
    std::size_t n = trial % 50 == 0 ? 2000 : trial % 40;
    Pairs p = make_pairs(n, trial / 7);
    SplitMixSource a(trial), b(trial);
    auto fast = encode(p.keys, p.values, a, work);
    auto direct = testing::reference_encode(p.keys, p.values, b);
    ASSERT_EQ(fast.has_value(), direct.has_value()) << trial;
    if (!fast) {
      ++failures;
      continue;
    }
    ++successes;
    with_core += core_size(*fast, p.keys) > 0;
    ASSERT_EQ(fast->to_bytes(), *direct) << trial;
    ASSERT_EQ(a.draw_u64(), b.draw_u64()) << trial;  // same number of draws
  }
  EXPECT_GT(failures, 0);
  EXPECT_GT(with_core, 20);
  EXPECT_GT(successes, 2000);
}

}  // namespace
}  // namespace veltrane::okvs
