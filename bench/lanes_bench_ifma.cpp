// The lane benchmark's IFMA half. As in the IFMA backend, everything shared
// with the rest of the program (standard library, one-item field, point
// types, the benchmark's plain data) is included first and so compiled for
// the baseline processor; only what follows the target pragma may use
// AVX-512, it is instantiated for the IFMA field alone, and it runs only
// after cpu_has_ifma() said yes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "backends/backend.hpp"
#include "common/fatal_error.hpp"
#include "common/secret.hpp"
#include "group/edwards.hpp"
#include "group/field.hpp"
#include "group/lanes/target_region.hpp"
#include "group/scalar.hpp"
#include "group/scalar_field.hpp"
#include "lanes_bench.hpp"

VELTRANE_IFMA_TARGET_BEGIN
#include "group/lanes/ifma_u64x8.hpp"
#include "group/lanes/lane_field.hpp"
#include "lanes_suite.hpp"

// Named so that scripts/vector_scan.py recognises this region's code.
namespace veltrane::bench::ifma_bench {
using IfmaField = group::lanes::LaneField<group::lanes::IfmaU64x8>;
void run_ifma(const BenchInputs& in, const TimingPlan& plan, FieldTimings& out) {
  LaneSuite<IfmaField>::run(in, plan, out);
}
}  // namespace veltrane::bench::ifma_bench
VELTRANE_TARGET_END

namespace veltrane::bench {

bool time_ifma_lanes(const BenchInputs& in, const TimingPlan& plan, FieldTimings& out) {
  if (!backends::cpu_has_ifma()) return false;
  ifma_bench::run_ifma(in, plan, out);
  return true;
}

}  // namespace veltrane::bench
