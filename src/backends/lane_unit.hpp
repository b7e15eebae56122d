// What a lane backend's unit includes before its instruction-set region.
//
// Everything shared with the rest of the build (the standard library, the
// one-item field, the point types, the random generator) must be included
// first and so compiled for the baseline processor. Only what follows the
// target pragma (the vector policy, the lane field and the curve and kernel
// templates, all instantiated there for that policy's types alone) may use
// the wider instructions, and it runs only after the processor check said
// yes. The build needs no special flags; a test scans the built code for
// vector instructions outside the lane code.
#pragma once

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
#include "group/lanes/target_region.hpp"
#include "group/scalar.hpp"
#include "group/scalar_field.hpp"
#include "random/thread_generator.hpp"
#include "random_scalar.hpp"

namespace veltrane::backends {

// The backend `make` builds when `supported`, else nothing; the tables are
// made once per process by the caller's static.
inline std::optional<Backend> backend_if(bool supported, Backend (*make)()) {
  return supported ? std::optional<Backend>(make()) : std::nullopt;
}

}  // namespace veltrane::backends
