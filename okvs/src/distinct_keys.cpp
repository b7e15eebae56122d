#include "distinct_keys.hpp"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "common/fatal_error.hpp"

namespace veltrane::okvs {

void keep_first_occurrences(std::vector<Hashable>& keys) {
  const std::size_t n = keys.size();
  if (n < 2) return;
  if (n >= std::numeric_limits<std::uint32_t>::max()) fatal("too many keys to compare");
  // Open addressing over positions in the compacted list; at most half full,
  // so probes stay short. Four bytes per slot keeps millions of keys cheap.
  constexpr std::uint32_t EMPTY = std::numeric_limits<std::uint32_t>::max();
  const std::size_t capacity = std::bit_ceil(2 * n);
  const std::size_t mask = capacity - 1;
  std::vector<std::uint32_t> table(capacity, EMPTY);

  std::size_t kept = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Hashable key = keys[i];
    std::size_t slot = key.hash_with_seed(0) & mask;
    bool repeated = false;
    while (table[slot] != EMPTY) {
      if (keys[table[slot]] == key) {
        repeated = true;
        break;
      }
      slot = (slot + 1) & mask;
    }
    if (repeated) continue;
    table[slot] = static_cast<std::uint32_t>(kept);
    keys[kept++] = key;
  }
  keys.resize(kept);
}

}  // namespace veltrane::okvs
