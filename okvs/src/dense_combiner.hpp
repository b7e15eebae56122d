// XOR of the dense cells that a dense hash selects, four table lookups
// instead of up to 32 XORs: for each byte of the hash's low 32 bits, a table
// of the XOR of every subset of the 8 cells that byte covers. Built once per
// store (1024 XORs), it pays for itself after a few hundred keys.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "okvs_value.hpp"

namespace veltrane::okvs {

class DenseCombiner {
 public:
  // `dense` holds exactly 32 cells; bit i of a hash selects dense[i].
  explicit DenseCombiner(std::span<const OkvsValue> dense);

  OkvsValue combine(std::uint32_t bits) const noexcept {
    OkvsValue x = table_[bits & 0xff];
    x ^= table_[256 + ((bits >> 8) & 0xff)];
    x ^= table_[512 + ((bits >> 16) & 0xff)];
    x ^= table_[768 + (bits >> 24)];
    return x;
  }

 private:
  std::vector<OkvsValue> table_;  // 4 x 256 subset sums
};

}  // namespace veltrane::okvs
