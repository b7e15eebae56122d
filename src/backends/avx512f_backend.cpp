// Eight lanes of radix 2^25.5 with AVX-512F alone (see lane_unit.hpp for why
// the includes come before the region).
#include "backends/lane_unit.hpp"

VELTRANE_AVX512F_TARGET_BEGIN
#include "backends/backend_table.hpp"
#include "group/lanes/avx512_u64x8.hpp"
#include "group/lanes/lane_field25.hpp"

namespace veltrane::backends {
namespace {
using Avx512Field = group::lanes::LaneField25<group::lanes::Avx512U64x8>;
Backend make_avx512f_backend() { return backend_table<Avx512Field>("avx512f-lanes"); }
}  // namespace
}  // namespace veltrane::backends
VELTRANE_TARGET_END

namespace veltrane::backends {

const Backend* avx512f_lanes_backend() {
  static const std::optional<Backend> backend =
      backend_if(group::lanes::cpu_has_avx512f(), &make_avx512f_backend);
  return backend ? &*backend : nullptr;
}

}  // namespace veltrane::backends
