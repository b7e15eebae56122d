#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "common/fatal_error.hpp"
#include "random/thread_generator.hpp"
#include "test_hex.hpp"

namespace veltrane::random {
namespace {

// Seed sources with visible effects: seeds 1, 2, 3, ... in byte 0, counted.
int seeds_requested = 0;
int counting_source(std::uint8_t seed[32]) {
  ++seeds_requested;
  for (int i = 0; i < 32; ++i) seed[i] = 0;
  seed[0] = static_cast<std::uint8_t>(seeds_requested);
  return 0;
}
int failures = 0;
int failing_source(std::uint8_t[32]) {
  ++failures;
  return 0x7fff;
}

std::array<std::uint8_t, 32> seed_with_first_byte(std::uint8_t b) {
  std::array<std::uint8_t, 32> seed{};
  seed[0] = b;
  return seed;
}

std::array<std::uint32_t, 8> key_of(const std::array<std::uint8_t, 32>& seed) {
  std::array<std::uint32_t, 8> key{};
  for (int i = 0; i < 8; ++i) {
    key[i] = seed[4 * i] | seed[4 * i + 1] << 8 | seed[4 * i + 2] << 16 |
             std::uint32_t{seed[4 * i + 3]} << 24;
  }
  return key;
}

std::array<std::uint32_t, 16> block(const std::array<std::uint8_t, 32>& seed, std::uint64_t c) {
  std::array<std::uint32_t, 16> words;
  chacha12_block(key_of(seed), c, 0, words.data());
  return words;
}

std::vector<std::uint8_t> bytes(ChaCha12Generator& g, std::size_t n) {
  std::vector<std::uint8_t> out(n);
  g.draw_bytes(out.data(), n);
  return out;
}

const auto kSeed = seed_with_first_byte(0xA5);

TEST(ChaCha12Generator, FreshGeneratorStartsAtBlockZeroOfStreamZero) {
  ChaCha12Generator zero({}, &failing_source);
  EXPECT_EQ(to_hex(bytes(zero, 128)),
            "9bf49a6a0755f953811fce125f2683d50429c3bb49e074147e0089a52eae155f"
            "0564f879d27ae3c02ce82834acfa8c793a629f2ca0de6919610be82f411326be"
            "0bd58841203e74fe86fc71338ce0173dc628ebb719bdcbcc151585214cc089b4"
            "42258dcda14cf111c602b8971b8cc843e91e46ca905151c02744a6b017e69316");

  // Output is the blocks 0, 1, 2, ... in order, across refills.
  ChaCha12Generator g(kSeed, &failing_source);
  const auto out = bytes(g, 64 * 9);
  for (std::uint64_t c = 0; c < 9; ++c) {
    const auto expected = block(kSeed, c);
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin() + 64 * c, out.begin() + 64 * (c + 1)),
              words_to_bytes(expected.data(), 16))
        << "block " << c;
  }
  EXPECT_EQ(g.counter(), 12u);
  EXPECT_EQ(g.index(), 16u);
}

TEST(ChaCha12Generator, PartlyUsedWordsAreDiscarded) {
  ChaCha12Generator g(kSeed, &failing_source);
  const auto b0 = block(kSeed, 0);
  EXPECT_EQ(bytes(g, 1)[0], b0[0] & 0xFF);
  EXPECT_EQ(bytes(g, 1)[0], b0[1] & 0xFF);
  EXPECT_EQ(g.index(), 2u);
  const auto five = bytes(g, 5);  // word 2 whole, first byte of word 3
  EXPECT_EQ(five[4], b0[3] & 0xFF);
  EXPECT_EQ(g.index(), 4u);
  EXPECT_EQ(g.draw_u32(), b0[4]);

  // A request crossing a refill continues with the new buffer's word 0.
  ChaCha12Generator h(kSeed, &failing_source);
  for (int i = 0; i < 63; ++i) h.draw_u32();
  const auto crossing = bytes(h, 6);
  EXPECT_EQ(crossing[0], block(kSeed, 3)[15] & 0xFF);
  EXPECT_EQ(crossing[4], block(kSeed, 4)[0] & 0xFF);
  EXPECT_EQ(h.index(), 1u);
}

TEST(ChaCha12Generator, WordDraws) {
  ChaCha12Generator g(kSeed, &failing_source);
  const auto b0 = block(kSeed, 0);
  EXPECT_EQ(g.draw_u64(), b0[0] | std::uint64_t{b0[1]} << 32);
  EXPECT_EQ(g.draw_bool(), (b0[2] >> 31) != 0);
  EXPECT_EQ(g.draw_u32(), b0[3]);

  // Index 63: low half is the old buffer's last word, high half the new first.
  for (int i = 4; i < 63; ++i) g.draw_u32();
  EXPECT_EQ(g.index(), 63u);
  EXPECT_EQ(g.draw_u64(), block(kSeed, 3)[15] | std::uint64_t{block(kSeed, 4)[0]} << 32);
  EXPECT_EQ(g.index(), 1u);
  EXPECT_EQ(g.counter(), 8u);

  // Index 64: refill, then words 0 and 1.
  for (int i = 1; i < 64; ++i) g.draw_u32();
  EXPECT_EQ(g.draw_u64(), block(kSeed, 8)[0] | std::uint64_t{block(kSeed, 8)[1]} << 32);
  EXPECT_EQ(g.index(), 2u);

  // draw_bool is the top bit, not some other bit, of each word.
  ChaCha12Generator a(kSeed, &failing_source), b(kSeed, &failing_source);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(a.draw_bool(), b.draw_u32() >= 0x80000000u);
}

TEST(ChaCha12Generator, ReseedsAfterEvery65536Bytes) {
  seeds_requested = 0;
  ChaCha12Generator g(kSeed, &counting_source);
  bytes(g, 65536);  // 256 refills from the first key
  EXPECT_EQ(seeds_requested, 0);
  EXPECT_EQ(g.counter(), 1024u);
  EXPECT_EQ(g.bytes_until_reseed(), 0);

  const auto next = block(seed_with_first_byte(1), 0);
  EXPECT_EQ(g.draw_u32(), next[0]);  // refill 257: new key, counter from 0
  EXPECT_EQ(seeds_requested, 1);
  EXPECT_EQ(g.counter(), 4u);
  EXPECT_EQ(g.bytes_until_reseed(), 65536 - 256);

  bytes(g, 65536 - 4);  // the rest of the new key's 256 refills
  EXPECT_EQ(seeds_requested, 1);
  EXPECT_EQ(g.draw_u32(), block(seed_with_first_byte(2), 0)[0]);
  EXPECT_EQ(seeds_requested, 2);
}

TEST(ChaCha12Generator, FailedReseedContinuesTheOldStream) {
  failures = 0;
  ChaCha12Generator g(kSeed, &failing_source);
  bytes(g, 65536);
  EXPECT_EQ(failures, 0);
  const auto out = bytes(g, 128);
  EXPECT_EQ(failures, 1);
  const auto b1024 = block(kSeed, 1024), b1025 = block(kSeed, 1025);
  auto expected = words_to_bytes(b1024.data(), 16);
  const auto second = words_to_bytes(b1025.data(), 16);
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(out, expected);
  EXPECT_EQ(g.counter(), 1028u);
  EXPECT_EQ(g.bytes_until_reseed(), 65536 - 256);

  // The next attempt comes one full threshold later.
  bytes(g, 65536 - 128);
  EXPECT_EQ(failures, 1);
  g.draw_u32();
  EXPECT_EQ(failures, 2);
  EXPECT_EQ(g.counter(), 2052u);
}

TEST(ChaCha12Generator, ForcedReseedStartsAFreshKeyOrThrows) {
  seeds_requested = 0;
  ChaCha12Generator g(kSeed, &counting_source);
  g.draw_u32();
  g.force_reseed();
  EXPECT_EQ(g.index(), 64u);  // buffered words of the old key are gone
  EXPECT_EQ(g.counter(), 0u);
  EXPECT_EQ(g.bytes_until_reseed(), 65536);
  EXPECT_EQ(g.draw_u32(), block(seed_with_first_byte(1), 0)[0]);

  ChaCha12Generator f(kSeed, &failing_source);
  try {
    f.force_reseed();
    FAIL() << "a failing source must not be ignored here";
  } catch (const FatalError& e) {
    EXPECT_EQ(e.message(), "could not initialize thread_rng: OS Error: 32767");
  }
}

}  // namespace
}  // namespace veltrane::random
