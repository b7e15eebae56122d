// Whether this processor and operating system can run the AVX-512 IFMA lanes.
#pragma once

namespace veltrane::group::lanes {

// AVX-512F and AVX-512 IFMA reported by CPUID, and opmask and zmm state
// enabled by the operating system (XGETBV). Cheap; callers cache it.
bool cpu_has_ifma();

}  // namespace veltrane::group::lanes
