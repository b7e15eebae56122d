// Point lists: concatenated 32-byte encodings; a trailing piece shorter than
// 32 bytes is a position of its own and fails when it is reached.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/fatal_error.hpp"
#include "group/edwards.hpp"

namespace veltrane::ops {

inline std::size_t point_positions(std::span<const std::uint8_t> list) {
  return (list.size() + 31) / 32;
}

// The point at position i: a piece other than 32 bytes fails with the slice
// length message, bytes that are not a point with the unwrap message.
inline group::Point point_at(std::span<const std::uint8_t> list, std::size_t i) {
  std::size_t offset = 32 * i;
  std::size_t length = std::min<std::size_t>(32, list.size() - offset);
  if (length != 32) fatal(slice_length_message(length, 32));
  std::optional<group::Point> p = group::decompress(list.data() + offset);
  if (!p) fatal(kUnwrapNone);
  return *p;
}

}  // namespace veltrane::ops
