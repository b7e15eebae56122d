// Deterministic random sources for the store's tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "okvs_value.hpp"
#include "random_source.hpp"

namespace veltrane::okvs::testing {

// Every fill is tagged: fill number k (from 1) writes the byte k everywhere,
// so a random_value made of fills a and b reads a...a b...b and the tests can
// tell which draw ended up in which cell. 64-bit draws count from 1000.
class TaggedSource : public RandomSource {
 public:
  std::uint64_t draw_u64() override { return 1000 + u64_draws++; }
  void draw_bytes(std::uint8_t* out, std::size_t n) override {
    std::memset(out, static_cast<int>(++fills), n);
  }
  // The value that the j-th random_value (from 0) gives.
  static OkvsValue value_of_draw(unsigned j) {
    OkvsValue v;
    std::memset(v.bytes.data(), static_cast<int>(2 * j + 1), 32);
    std::memset(v.bytes.data() + 32, static_cast<int>(2 * j + 2), 32);
    return v;
  }
  unsigned values_drawn() const { return fills / 2; }

  std::uint64_t u64_draws = 0;
  unsigned fills = 0;
};

// A fixed pseudo-random stream (splitmix64).
class SplitMixSource : public RandomSource {
 public:
  explicit SplitMixSource(std::uint64_t seed) : state_(seed) {}
  std::uint64_t draw_u64() override {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  void draw_bytes(std::uint8_t* out, std::size_t n) override {
    for (std::size_t i = 0; i < n; i += 8) {
      std::uint64_t w = draw_u64();
      std::memcpy(out + i, &w, n - i < 8 ? n - i : 8);
    }
  }

 private:
  std::uint64_t state_;
};

inline OkvsValue filled_value(std::uint8_t byte) {
  OkvsValue v;
  v.bytes.fill(byte);
  return v;
}

}  // namespace veltrane::okvs::testing
