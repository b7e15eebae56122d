// Processors other than x86-64 have no AVX2 lanes.
// Built instead of avx2_backend.cpp (see src/CMakeLists.txt).
#include "backends/backend.hpp"

namespace veltrane::backends {

const Backend* avx2_lanes_backend() { return nullptr; }

}  // namespace veltrane::backends
