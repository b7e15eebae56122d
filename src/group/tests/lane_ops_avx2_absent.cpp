// Processors other than x86-64 have no AVX2 lanes to test; the lane tests skip
// them as they do on an x86-64 processor without them.
#include "group/tests/lane_ops.hpp"

namespace veltrane::group::testing {

const LaneOps* avx2_lane_ops() { return nullptr; }

}  // namespace veltrane::group::testing
