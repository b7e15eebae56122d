// Shared pieces of the fuzz targets.
//
// A FatalError is how every operation refuses bad input, so it is an expected
// outcome; any other exception escapes the target and libFuzzer reports it,
// as it does crashes, sanitizer reports and hangs. Relations that must hold
// for every accepted input are checked with require(), which aborts with a
// message so that the input is saved as a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

#include "common/fatal_error.hpp"
#include "group/edwards.hpp"
#include "random/thread_generator.hpp"

namespace veltrane::fuzz {

inline void require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz: relation violated: %s\n", what);
    std::abort();
  }
}

// Runs body; a FatalError ends the input quietly and returns false.
template <class Body>
bool expect_fatal_or_success(Body&& body) {
  try {
    body();
    return true;
  } catch (const FatalError&) {
    return false;
  }
}

// Reads the input front to back; running out gives zeros and empty pieces,
// so every byte string is a valid input.
class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  // Up to n bytes (fewer at the end of the input).
  std::span<const std::uint8_t> take(std::size_t n) {
    const std::size_t k = n < size_ - pos_ ? n : size_ - pos_;
    std::span<const std::uint8_t> piece(data_ + pos_, k);
    pos_ += k;
    return piece;
  }
  std::span<const std::uint8_t> rest() { return take(size_ - pos_); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// Deterministic generators, so that every finding replays exactly.
inline int fixed_seed(std::uint8_t seed[32]) {
  std::memset(seed, 0x5a, 32);
  return 0;
}
inline random::ChaCha12Generator fixed_generator(std::uint8_t tag) {
  std::array<std::uint8_t, 32> seed{};
  seed[0] = tag;
  return random::ChaCha12Generator(seed, &fixed_seed);
}

inline bool same_point(const group::Point& a, const group::Point& b) {
  return group::points_equal(a, b);
}

// The canonical encoding of a point's bytes, if they decode.
inline std::optional<group::PointBytes> canonical(const std::uint8_t bytes[32]) {
  std::optional<group::Point> p = group::decompress(bytes);
  if (!p) return std::nullopt;
  return group::compress(*p);
}

}  // namespace veltrane::fuzz
