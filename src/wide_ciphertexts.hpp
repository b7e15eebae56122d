// Wide ciphertexts: four compressed points (sender, receiver, gamma, delta)
// that encrypt one query's outcome jointly under both banks' keys and the
// coordinator's. Components stay compressed until an operation needs the
// point, so parsing never rejects a 128-byte chunk.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "group/edwards.hpp"
#include "random/thread_generator.hpp"

namespace veltrane {

struct WideCiphertext {
  static constexpr std::size_t kSize = 128;
  enum Component { kSender = 0, kReceiver = 1, kGamma = 2, kDelta = 3 };

  std::array<group::PointBytes, 4> components{};

  // Components from bytes 0..127; a shorter chunk fails with the range error
  // for the first component that runs past its end.
  static WideCiphertext from_bytes(std::span<const std::uint8_t> chunk);
  void to_bytes(std::uint8_t out[kSize]) const;
};

// (r*S1, r*R1, r*B, r*(S2 + R2 + P)), each product taken of the prime-order
// component only. A value decoded from a store at a row the bank never
// stored is a point of the whole curve; were its small-order part kept, the
// bank receiving the blinded point could tell a lookup that missed by a
// subgroup test. Points of the prime-order subgroup are unaffected.
WideCiphertext encrypt(const group::Point& s1, const group::Point& s2, const group::Point& r1,
                       const group::Point& r2, const group::Point& p, const group::Scalar& r);

// Every component times one fresh scalar t; fails on a component that is not a point.
WideCiphertext randomize(const WideCiphertext& c, random::ChaCha12Generator& rng);

// Component-wise sums a + b; fails on the first component (a before b) that is not a point.
WideCiphertext combine(const WideCiphertext& a, const WideCiphertext& b);

}  // namespace veltrane
