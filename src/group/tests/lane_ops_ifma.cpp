// The IFMA lanes table, compiled for that instruction set after everything shared
// (see src/backends/lane_unit.hpp for why the order matters).
#include <array>
#include <cstdint>
#include <optional>

#include "common/secret.hpp"
#include "group/edwards.hpp"
#include "group/field.hpp"
#include "group/lanes/cpu_features.hpp"
#include "group/lanes/target_region.hpp"
#include "group/scalar.hpp"
#include "group/scalar_field.hpp"
#include "group/tests/lane_ops.hpp"

VELTRANE_IFMA_TARGET_BEGIN
#include "group/lanes/ifma_u64x8.hpp"
#include "group/lanes/lane_field.hpp"
#include "group/tests/lane_ops_impl.hpp"

namespace veltrane::group::testing {
namespace {
LaneOps make_ifma_lane_ops() { return LaneOpsOf<lanes::LaneField<lanes::IfmaU64x8>>::table("IFMA lanes"); }
}  // namespace
}  // namespace veltrane::group::testing
VELTRANE_TARGET_END

namespace veltrane::group::testing {

const LaneOps* ifma_lane_ops() {
  static const std::optional<LaneOps> ops =
      lanes::cpu_has_ifma() ? std::optional<LaneOps>(make_ifma_lane_ops()) : std::nullopt;
  return ops ? &*ops : nullptr;
}

}  // namespace veltrane::group::testing
