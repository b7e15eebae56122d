// Processors other than x86-64 have no IFMA lanes: "auto" runs the one-item
// field there. Built instead of ifma_backend.cpp (see src/CMakeLists.txt).
#include "backends/backend.hpp"

namespace veltrane::backends {

const Backend* ifma_lanes_backend() { return nullptr; }

}  // namespace veltrane::backends
