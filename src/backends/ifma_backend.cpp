// Eight lanes of radix 2^51 with AVX-512 IFMA (see lane_unit.hpp for why the
// includes come before the region).
#include "backends/lane_unit.hpp"

VELTRANE_IFMA_TARGET_BEGIN
#include "backends/backend_table.hpp"
#include "group/lanes/ifma_u64x8.hpp"
#include "group/lanes/lane_field.hpp"

namespace veltrane::backends {
namespace {
using IfmaField = group::lanes::LaneField<group::lanes::IfmaU64x8>;
Backend make_ifma_backend() { return backend_table<IfmaField>("ifma-lanes"); }
}  // namespace
}  // namespace veltrane::backends
VELTRANE_TARGET_END

namespace veltrane::backends {

const Backend* ifma_lanes_backend() {
  static const std::optional<Backend> backend = backend_if(cpu_has_ifma(), &make_ifma_backend);
  return backend ? &*backend : nullptr;
}

}  // namespace veltrane::backends
