// The dudect test's timed loop for the IFMA lanes (see dudect_lanes.cpp).
#include <cstddef>
#include <cstdint>

#include "common/secret.hpp"
#include "dudect_lanes.hpp"
#include "group/edwards.hpp"
#include "group/field.hpp"
#include "group/lanes/target_region.hpp"
#include "group/scalar.hpp"
#include "group/scalar_field.hpp"

VELTRANE_IFMA_TARGET_BEGIN
#include "group/curve/encoding.hpp"
#include "group/curve/scalar_mul.hpp"
#include "group/lanes/ifma_u64x8.hpp"
#include "group/lanes/lane_field.hpp"

namespace veltrane::bench::ifma_bench {
using Field = group::lanes::LaneField<group::lanes::IfmaU64x8>;
#include "dudect_measure.inc"
}  // namespace veltrane::bench::ifma_bench
VELTRANE_TARGET_END
