// Processors other than x86-64: the lane benchmark reports every x86 lane
// backend as not run, as on an x86-64 processor that lacks them. Built
// instead of lanes_bench_ifma.cpp, lanes_bench_avx512f.cpp and
// lanes_bench_avx2.cpp (see bench/CMakeLists.txt).
#include "lanes_bench.hpp"

namespace veltrane::bench {

bool time_ifma_lanes(const BenchInputs&, const TimingPlan&, FieldTimings&) { return false; }
bool time_avx512f_lanes(const BenchInputs&, const TimingPlan&, FieldTimings&) { return false; }
bool time_avx2_lanes(const BenchInputs&, const TimingPlan&, FieldTimings&) { return false; }

}  // namespace veltrane::bench
