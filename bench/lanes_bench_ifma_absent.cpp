// Processors other than x86-64: the lane benchmark reports the IFMA lanes as
// not run, as on an x86-64 processor without AVX-512 IFMA.
#include "lanes_bench.hpp"

namespace veltrane::bench {

bool time_ifma_lanes(const BenchInputs&, const TimingPlan&, FieldTimings&) { return false; }

}  // namespace veltrane::bench
