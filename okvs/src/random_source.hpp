// Where the store's randomness comes from: its seeds and the fresh values of
// the cells that no equation fixes.
//
// The store draws through this small interface so that it knows nothing of
// the generator behind it; tests drive it with a fixed sequence and pin the
// exact layout of a store.
#pragma once

#include <cstddef>
#include <cstdint>

namespace veltrane::okvs {

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  virtual std::uint64_t draw_u64() = 0;
  virtual void draw_bytes(std::uint8_t* out, std::size_t n) = 0;
};

}  // namespace veltrane::okvs
