#include "hashable.hpp"

// The hash is compiled into this unit from the header, never linked from
// libxxhash, so the module loads where that library is not installed.
#define XXH_INLINE_ALL
#include <xxhash.h>

#include "common/fatal_error.hpp"

namespace veltrane::okvs {

std::uint64_t Hashable::hash_with_seed(std::uint64_t seed) const noexcept {
  return XXH3_64bits_withSeed(bytes_.data(), bytes_.size(), seed);
}

std::uint64_t Hashable::hash_to_index(std::uint64_t seed, std::uint64_t m) const {
  if (m == 0) fatal("attempt to calculate the remainder with a divisor of zero");
  return hash_with_seed(seed) % m;
}

}  // namespace veltrane::okvs
