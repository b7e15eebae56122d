// The cells of a store being encoded: one slot per column (the m sparse cells,
// then the dense cells), each empty or holding a value.
//
// The slots live in a buffer already laid out as the store's byte form (a
// 24-byte seed header, then column c at byte 24 + 64c), so a finished
// encoding hands its buffer to the store without copying what may be
// gigabytes. The buffer is kept across attempts: reset() only forgets which
// slots are filled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "okvs_value.hpp"

namespace veltrane::okvs {

class Solution {
 public:
  static constexpr std::size_t HEADER_SIZE = 24;

  // Make `columns` empty slots.
  void reset(std::size_t columns);

  std::size_t columns() const noexcept { return columns_; }
  bool filled(std::size_t column) const noexcept {
    return (filled_[column / 64] >> (column % 64)) & 1u;
  }
  OkvsValue get(std::size_t column) const noexcept {
    OkvsValue v;
    std::memcpy(v.bytes.data(), cell(column), VALUE_SIZE);
    return v;
  }
  void set(std::size_t column, const OkvsValue& v) noexcept {
    std::memcpy(cell(column), v.bytes.data(), VALUE_SIZE);
    filled_[column / 64] |= std::uint64_t{1} << (column % 64);
  }
  // A hint that the slot is needed soon.
  void prefetch(std::size_t column) const noexcept {
    __builtin_prefetch(cell(column));
    __builtin_prefetch(&filled_[column / 64]);
  }
  // slot ^= v, for a slot that is already filled.
  void xor_into(std::size_t column, const OkvsValue& v) noexcept { set(column, get(column) ^ v); }

  // The buffer, header included; the Solution is empty afterwards.
  std::vector<std::uint8_t> take_buffer() noexcept;

 private:
  std::uint8_t* cell(std::size_t column) noexcept { return bytes_.data() + HEADER_SIZE + VALUE_SIZE * column; }
  const std::uint8_t* cell(std::size_t column) const noexcept {
    return bytes_.data() + HEADER_SIZE + VALUE_SIZE * column;
  }

  std::size_t columns_ = 0;
  std::vector<std::uint8_t> bytes_;
  std::vector<std::uint64_t> filled_;
};

}  // namespace veltrane::okvs
