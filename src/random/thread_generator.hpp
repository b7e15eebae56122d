// The per-thread ChaCha12 generator every random value of the module comes
// from: 256-byte refills of four blocks, a 64-bit block counter, stream 0, and
// a fresh operating-system seed after every 65536 bytes of output.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "group/scalar.hpp"

namespace veltrane::random {

// Fills 32 bytes from a cryptographically secure source; returns 0 on
// success or the source's error code.
using SeedSource = int (*)(std::uint8_t seed[32]);

class ChaCha12Generator {
 public:
  ChaCha12Generator(const std::array<std::uint8_t, 32>& seed, SeedSource reseed_source);
  ~ChaCha12Generator();  // wipes key and buffer
  ChaCha12Generator(const ChaCha12Generator&) = delete;
  ChaCha12Generator& operator=(const ChaCha12Generator&) = delete;

  void draw_bytes(std::uint8_t* out, std::size_t n);
  std::uint32_t draw_u32();
  std::uint64_t draw_u64();
  bool draw_bool();
  group::Scalar random_scalar();
  // Start a new key from the seed source at the next refill (used after fork).
  void force_reseed();

  std::uint64_t counter() const noexcept;  // for tests
  unsigned index() const noexcept;          // for tests

 private:
  void refill();
  std::array<std::uint32_t, 8> key_;
  std::uint64_t counter_ = 0;
  std::array<std::uint32_t, 64> buffer_{};
  unsigned index_ = 64;
  std::int64_t bytes_until_reseed_;
  SeedSource reseed_source_;
};

// The calling thread's generator, created (seeded from the OS) on first use.
// A seeding failure is a FatalError "could not initialize thread_rng: OS Error: N".
ChaCha12Generator& thread_generator();

// One ChaCha12 block (test vectors).
void chacha12_block(const std::array<std::uint32_t, 8>& key, std::uint64_t counter,
                    std::uint64_t stream, std::uint32_t out[16]);

}  // namespace veltrane::random
