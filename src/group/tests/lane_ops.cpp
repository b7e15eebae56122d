// The portable lanes' table; the IFMA one is in lane_ops_ifma.cpp.
#include "group/lanes/lane_field.hpp"
#include "group/lanes/portable_u64x8.hpp"
#include "group/tests/lane_ops_impl.hpp"

namespace veltrane::group::testing {

const LaneOps& portable_lane_ops() {
  static const LaneOps ops =
      LaneOpsOf<lanes::LaneField<lanes::PortableU64x8>>::table("portable lanes");
  return ops;
}

}  // namespace veltrane::group::testing
