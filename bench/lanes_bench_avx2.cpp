// The lane benchmark's AVX2 half (radix 2^25.5). As in the backend, everything
// shared with the rest of the program is included first and so compiled for
// the baseline processor; only what follows the target pragma may use
// AVX2, and it runs only after cpu_has_avx2() said yes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "backends/backend.hpp"
#include "common/fatal_error.hpp"
#include "common/secret.hpp"
#include "group/edwards.hpp"
#include "group/field.hpp"
#include "group/lanes/cpu_features.hpp"
#include "group/lanes/target_region.hpp"
#include "group/scalar.hpp"
#include "group/scalar_field.hpp"
#include "lanes_bench.hpp"

VELTRANE_AVX2_TARGET_BEGIN
#include "group/lanes/avx2_u64x4.hpp"
#include "group/lanes/lane_field25.hpp"
#include "lanes_suite.hpp"

// Named so that scripts/vector_scan.py recognises this region's code.
namespace veltrane::bench::avx2_bench {
void run(const BenchInputs& in, const TimingPlan& plan, FieldTimings& out) {
  LaneSuite<group::lanes::LaneField25<group::lanes::Avx2U64x4>>::run(in, plan, out);
}
}  // namespace veltrane::bench::avx2_bench
VELTRANE_TARGET_END

namespace veltrane::bench {

bool time_avx2_lanes(const BenchInputs& in, const TimingPlan& plan, FieldTimings& out) {
  if (!group::lanes::cpu_has_avx2()) return false;
  avx2_bench::run(in, plan, out);
  return true;
}

}  // namespace veltrane::bench
