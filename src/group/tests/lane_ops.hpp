// The lane field and the curve templates behind one table of plain
// functions over arrays of eight items, so that tests and the constant-time
// check can drive each lane backend without compiling any test code for
// its instruction set.
#pragma once

#include <array>
#include <cstdint>

#include "group/edwards.hpp"

namespace veltrane::group::testing {

inline constexpr int kLanes = 8;
using Lanes = std::array<FieldElement, kLanes>;
using LanePoints = std::array<Point, kLanes>;
using LaneBytes = std::array<PointBytes, kLanes>;
using LaneScalars = std::array<Scalar, kLanes>;

enum class Binary { add, sub, mul };
enum class Unary { neg, square, invert, pow22523, absolute };
enum class Predicate { equal, is_zero, is_negative };

struct LaneOps {
  const char* name;
  void (*binary)(Binary op, const Lanes& a, const Lanes& b, Lanes& out);
  void (*unary)(Unary op, const Lanes& a, Lanes& out);
  std::uint32_t (*predicate)(Predicate op, const Lanes& a, const Lanes& b);
  std::uint32_t (*sqrt_ratio)(const Lanes& u, const Lanes& v, Lanes& root);
  void (*to_bytes)(const Lanes& a, LaneBytes& out);
  void (*from_bytes)(const LaneBytes& in, Lanes& out);
  std::uint32_t (*decompress)(const LaneBytes& in, LanePoints& out);
  // compress_many over `groups` lane points (groups <= 16): out[g * 8 + lane].
  void (*compress)(const LanePoints* groups_in, int groups, PointBytes* out);
  void (*add)(const LanePoints& a, const LanePoints& b, LanePoints& out);
  std::uint32_t (*equal)(const LanePoints& a, const LanePoints& b);
  void (*mul_point)(const LaneScalars& k, const LanePoints& q, LanePoints& out);
  void (*mul_fixed)(const FixedBaseTable& table, const LaneScalars& k, LanePoints& out);
  std::uint32_t (*elligator2_point)(const Lanes& r, std::uint32_t sign, LanePoints& out);
};

// The emulations of the radix-2^51 and radix-2^25.5 lanes.
const LaneOps& portable_lane_ops();
const LaneOps& portable25_lane_ops();
// Null when this processor cannot run them.
const LaneOps* ifma_lane_ops();
const LaneOps* avx512f_lane_ops();
const LaneOps* avx2_lane_ops();

}  // namespace veltrane::group::testing
