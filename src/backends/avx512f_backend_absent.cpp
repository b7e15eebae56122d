// Processors other than x86-64 have no AVX-512F lanes.
// Built instead of avx512f_backend.cpp (see src/CMakeLists.txt).
#include "backends/backend.hpp"

namespace veltrane::backends {

const Backend* avx512f_lanes_backend() { return nullptr; }

}  // namespace veltrane::backends
