// A key of the store: a row of strings, known only by the concatenation of
// their UTF-8 bytes (no separators), so ["ab", "c"] and ["a", "bc"] are one
// key. A Hashable views those bytes; it does not own them.
#pragma once

#include <cstdint>
#include <string_view>

namespace veltrane::okvs {

class Hashable {
 public:
  constexpr Hashable() noexcept = default;
  constexpr explicit Hashable(std::string_view bytes) noexcept : bytes_(bytes) {}

  constexpr std::string_view bytes() const noexcept { return bytes_; }

  // XXH3, 64-bit form, with the given seed and the library's default secret.
  std::uint64_t hash_with_seed(std::uint64_t seed) const noexcept;
  // hash_with_seed(seed) % m; m = 0 is a FatalError.
  std::uint64_t hash_to_index(std::uint64_t seed, std::uint64_t m) const;

  friend constexpr bool operator==(Hashable a, Hashable b) noexcept { return a.bytes_ == b.bytes_; }

 private:
  std::string_view bytes_;
};

}  // namespace veltrane::okvs
