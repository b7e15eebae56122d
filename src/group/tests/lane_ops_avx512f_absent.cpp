// Processors other than x86-64 have no AVX-512F lanes to test; the lane tests skip
// them as they do on an x86-64 processor without them.
#include "group/tests/lane_ops.hpp"

namespace veltrane::group::testing {

const LaneOps* avx512f_lane_ops() { return nullptr; }

}  // namespace veltrane::group::testing
