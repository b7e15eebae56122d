// The radix-2^25.5 lanes emulated, eight at a time.
#include "group/lanes/lane_field25.hpp"
#include "group/lanes/portable_u64xn.hpp"
#include "group/tests/lane_ops_impl.hpp"

namespace veltrane::group::testing {

const LaneOps& portable25_lane_ops() {
  static const LaneOps ops =
      LaneOpsOf<lanes::LaneField25<lanes::PortableU64xN<8>>>::table("portable radix-2^25.5 lanes");
  return ops;
}

}  // namespace veltrane::group::testing
