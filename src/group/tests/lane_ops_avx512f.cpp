// The AVX-512F lanes table, compiled for that instruction set after everything shared
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

VELTRANE_AVX512F_TARGET_BEGIN
#include "group/lanes/avx512_u64x8.hpp"
#include "group/lanes/lane_field25.hpp"
#include "group/tests/lane_ops_impl.hpp"

namespace veltrane::group::testing {
namespace {
LaneOps make_avx512f_lane_ops() { return LaneOpsOf<lanes::LaneField25<lanes::Avx512U64x8>>::table("AVX-512F lanes"); }
}  // namespace
}  // namespace veltrane::group::testing
VELTRANE_TARGET_END

namespace veltrane::group::testing {

const LaneOps* avx512f_lane_ops() {
  static const std::optional<LaneOps> ops =
      lanes::cpu_has_avx512f() ? std::optional<LaneOps>(make_avx512f_lane_ops()) : std::nullopt;
  return ops ? &*ops : nullptr;
}

}  // namespace veltrane::group::testing
