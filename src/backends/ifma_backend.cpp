// Eight lanes with AVX-512 IFMA.
//
// Everything shared with the rest of the build (the standard library, the
// one-item field, the point types, the random generator) is included first
// and so compiled for the baseline processor. Only what follows the target
// pragma (the vector policy, the lane field and the curve and kernel
// templates, all instantiated here for IFMA types alone) may use AVX-512, and
// it runs only after cpu_has_ifma() said yes. The build needs no special
// flags; a test scans the built code for AVX-512 instructions elsewhere.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "backends/backend.hpp"
#include "common/fatal_error.hpp"
#include "common/secret.hpp"
#include "group/edwards.hpp"
#include "group/field.hpp"
#include "group/lanes/ifma_target.hpp"
#include "group/scalar.hpp"
#include "group/scalar_field.hpp"
#include "random/thread_generator.hpp"
#include "random_scalar.hpp"

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
VELTRANE_IFMA_TARGET_END

namespace veltrane::backends {

const Backend* ifma_lanes_backend() {
  static const std::optional<Backend> backend =
      cpu_has_ifma() ? std::optional<Backend>(make_ifma_backend()) : std::nullopt;
  return backend ? &*backend : nullptr;
}

}  // namespace veltrane::backends
