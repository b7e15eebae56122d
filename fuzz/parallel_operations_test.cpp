// The parallel operations on a shared pool, for the ThreadSanitizer build:
// several caller threads run decrypt, randomize and combine at once, each on
// its own inputs, and every result is checked. Run in the sanitizer builds
// (scripts/sanitize.sh), where a data race between workers, callers or the
// per-thread generators is reported.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/fatal_error.hpp"
#include "group/edwards.hpp"
#include "operations/operations.hpp"
#include "pool/parallel.hpp"

namespace veltrane::ops {
namespace {

const Bytes kOne = [] {
  Bytes one(32);
  one[0] = 1;
  return one;
}();

// n distinct points: multiples of the base point by 1..n, encoded.
Bytes multiples(std::size_t n, std::uint8_t salt) {
  Bytes list(32 * n);
  group::Scalar k;
  for (std::size_t i = 0; i < n; ++i) {
    k.bytes[0] = static_cast<std::uint8_t>(i + 1);
    k.bytes[1] = salt;
    const group::PointBytes p = group::compress(group::mul_base(k));
    std::memcpy(list.data() + 32 * i, p.data(), 32);
  }
  return list;
}

// A list of ciphertexts whose four components are the given points.
Bytes ciphertexts_of(const Bytes& points) {
  Bytes out;
  for (std::size_t i = 0; i + 32 <= points.size(); i += 32)
    for (int c = 0; c < 4; ++c) out.insert(out.end(), points.begin() + i, points.begin() + i + 32);
  return out;
}

// Adds up one point list position by position, component by component.
Bytes doubled(const Bytes& points) {
  Bytes out(points.size());
  for (std::size_t i = 0; i < points.size(); i += 32) {
    const group::Point p = *group::decompress(points.data() + i);
    const group::PointBytes sum = group::compress(group::add_points(p, p));
    std::memcpy(out.data() + i, sum.data(), 32);
  }
  return out;
}

TEST(ParallelOperations, ConcurrentCallersGetTheirOwnResults) {
  constexpr int kCallers = 4;
  constexpr std::size_t kPoints = 40;
  std::vector<std::string> failures(kCallers);
  std::vector<std::thread> callers;
  for (int t = 0; t < kCallers; ++t) {
    callers.emplace_back([&, t] {
      const Bytes points = multiples(kPoints, static_cast<std::uint8_t>(t));
      const Bytes ciphertexts = ciphertexts_of(points);
      for (int round = 0; round < 3; ++round) {
        if (decrypt(points, kOne) != points) failures[t] = "decrypt by one changed the points";
        // Each ciphertext has four equal components; randomize keeps them equal.
        const Bytes blinded = randomize(ciphertexts);
        for (std::size_t i = 0; i < blinded.size(); i += 128)
          for (int c = 1; c < 4; ++c)
            if (std::memcmp(&blinded[i], &blinded[i + 32 * c], 32) != 0)
              failures[t] = "randomize used different scalars within one ciphertext";
        const std::array<Bytes, 4> sums = combine(ciphertexts, ciphertexts);
        for (const Bytes& list : sums)
          if (list != doubled(points)) failures[t] = "combine sum";
        // finish: delta = sender + receiver + 1 * gamma holds for every position.
        const Bytes sum = doubled(points);
        Bytes delta(points.size());
        for (std::size_t i = 0; i < points.size(); i += 32) {
          const group::Point s = *group::decompress(sum.data() + i);
          const group::Point p = *group::decompress(points.data() + i);
          const group::PointBytes d = group::compress(group::add_points(s, p));
          std::memcpy(delta.data() + i, d.data(), 32);
        }
        for (std::uint8_t flag : finish(points, points, points, delta, kOne))
          if (flag != 1) failures[t] = "finish flag";
      }
    });
  }
  for (std::thread& caller : callers) caller.join();
  for (int t = 0; t < kCallers; ++t) EXPECT_EQ(failures[t], "") << "caller " << t;
}

TEST(ParallelOperations, FailingCallsDoNotDisturbOthers) {
  std::atomic<int> wrong{0};
  std::thread failing([&] {
    Bytes bad = multiples(64, 9);
    bad[32 * 50] = 2;  // not a point, high up so that many workers run first
    bad[32 * 50 + 31] = 0;
    for (int round = 0; round < 20; ++round) {
      try {
        decrypt(bad, kOne);
        ++wrong;
      } catch (const FatalError& error) {
        if (error.message() != kUnwrapNone) ++wrong;
      }
    }
  });
  const Bytes points = multiples(64, 3);
  for (int round = 0; round < 20; ++round)
    if (decrypt(points, kOne) != points) ++wrong;
  failing.join();
  EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace veltrane::ops
