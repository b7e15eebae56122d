// Which lane backends this processor and operating system can run. Each is
// cheap; callers cache the answer.
#pragma once

namespace veltrane::group::lanes {

// AVX2 reported by CPUID, and ymm state enabled by the operating system.
bool cpu_has_avx2();
// AVX-512F reported by CPUID, and opmask and zmm state enabled by the
// operating system (XGETBV).
bool cpu_has_avx512f();
// AVX-512F and AVX-512 IFMA, with the same operating-system support.
bool cpu_has_ifma();

}  // namespace veltrane::group::lanes
