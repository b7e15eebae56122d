// Processors other than x86-64: no x86 lanes, and no CPUID to ask.
// Built instead of cpu_features.cpp (see src/group/CMakeLists.txt).
#include "group/lanes/cpu_features.hpp"

namespace veltrane::group::lanes {

bool cpu_has_avx2() { return false; }
bool cpu_has_avx512f() { return false; }
bool cpu_has_ifma() { return false; }

}  // namespace veltrane::group::lanes
