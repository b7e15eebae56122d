// The per-thread ChaCha12 generator every random value of the module comes
// from: 256-byte refills of four blocks, a 64-bit block counter, stream 0, and
// a fresh operating-system seed after every 65536 bytes of output.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace veltrane::random {

// Fills 32 bytes from a cryptographically secure source; returns 0 on
// success or the source's error code.
using SeedSource = int (*)(std::uint8_t seed[32]);

class ChaCha12Generator {
 public:
  // A null reseed source never reseeds (a fixed stream, for tests and benchmarks).
  ChaCha12Generator(const std::array<std::uint8_t, 32>& seed, SeedSource reseed_source);
  ~ChaCha12Generator();  // wipes key and buffer
  ChaCha12Generator(const ChaCha12Generator&) = delete;
  ChaCha12Generator& operator=(const ChaCha12Generator&) = delete;

  void draw_bytes(std::uint8_t* out, std::size_t n);
  std::uint32_t draw_u32();
  std::uint64_t draw_u64();
  bool draw_bool();
  // Takes a fresh key from the seed source now (counter 0, buffer discarded,
  // a full 65536 bytes until the next reseed). Used after fork, where going
  // on with the old key would repeat the parent's output, so unlike the
  // periodic reseed a failure is not ignored: it throws the seeding
  // FatalError and the generator must not be used further.
  void force_reseed();

  std::uint64_t counter() const noexcept;  // for tests
  unsigned index() const noexcept;          // for tests
  std::int64_t bytes_until_reseed() const noexcept;  // for tests

  static constexpr std::int64_t kReseedThreshold = 65536;

 private:
  void refill();
  void set_key(const std::uint8_t seed[32]) noexcept;
  std::array<std::uint32_t, 8> key_;
  std::uint64_t counter_ = 0;
  std::array<std::uint32_t, 64> buffer_{};
  unsigned index_ = 64;
  std::int64_t bytes_until_reseed_;
  SeedSource reseed_source_;
};

// The calling thread's generator, created (seeded from the OS) on first use.
// A seeding failure is a FatalError "could not initialize thread_rng: OS Error: N"
// and leaves the thread without a generator, so the next call tries again.
// In a child process after fork() the first call gives the inherited
// generator a fresh OS seed (with the same failure rule) before it is used.
ChaCha12Generator& thread_generator();

// One ChaCha12 block (test vectors).
void chacha12_block(const std::array<std::uint32_t, 8>& key, std::uint64_t counter,
                    std::uint64_t stream, std::uint32_t out[16]);

}  // namespace veltrane::random
