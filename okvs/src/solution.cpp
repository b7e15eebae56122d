#include "solution.hpp"

#include <utility>

namespace veltrane::okvs {

void Solution::reset(std::size_t columns) {
  columns_ = columns;
  // Cell contents need no clearing: a slot is read only after it was set.
  bytes_.resize(HEADER_SIZE + VALUE_SIZE * columns);
  filled_.assign((columns + 63) / 64, 0);
}

std::vector<std::uint8_t> Solution::take_buffer() noexcept {
  std::vector<std::uint8_t> out = std::move(bytes_);
  bytes_.clear();
  filled_.clear();
  columns_ = 0;
  return out;
}

}  // namespace veltrane::okvs
