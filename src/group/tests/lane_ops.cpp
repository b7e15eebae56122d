// The radix-2^51 lanes emulated; the native lanes have units of their own.
#include "group/lanes/lane_field.hpp"
#include "group/lanes/portable_u64xn.hpp"
#include "group/tests/lane_ops_impl.hpp"

namespace veltrane::group::testing {

const LaneOps& portable_lane_ops() {
  static const LaneOps ops =
      LaneOpsOf<lanes::LaneField<lanes::PortableU64x8>>::table("portable lanes");
  return ops;
}

}  // namespace veltrane::group::testing
