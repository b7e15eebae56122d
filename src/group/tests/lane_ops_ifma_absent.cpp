// Processors other than x86-64 have no IFMA lanes to test; the lane tests skip
// them as they do on an x86-64 processor without them.
#include "group/tests/lane_ops.hpp"

namespace veltrane::group::testing {

const LaneOps* ifma_lane_ops() { return nullptr; }

}  // namespace veltrane::group::testing
