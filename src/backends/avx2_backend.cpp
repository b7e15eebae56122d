// Four lanes of radix 2^25.5 with AVX2 (see lane_unit.hpp for why the
// includes come before the region).
#include "backends/lane_unit.hpp"

VELTRANE_AVX2_TARGET_BEGIN
#include "backends/backend_table.hpp"
#include "group/lanes/avx2_u64x4.hpp"
#include "group/lanes/lane_field25.hpp"

namespace veltrane::backends {
namespace {
using Avx2Field = group::lanes::LaneField25<group::lanes::Avx2U64x4>;
Backend make_avx2_backend() { return backend_table<Avx2Field>("avx2-lanes"); }
}  // namespace
}  // namespace veltrane::backends
VELTRANE_TARGET_END

namespace veltrane::backends {

const Backend* avx2_lanes_backend() {
  static const std::optional<Backend> backend =
      backend_if(group::lanes::cpu_has_avx2(), &make_avx2_backend);
  return backend ? &*backend : nullptr;
}

}  // namespace veltrane::backends
