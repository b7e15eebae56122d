// The kernel table of one field backend. Included once by each backend's
// translation unit, after the kernels for that backend's instruction set.
#pragma once

#include "backends/backend.hpp"
#include "backends/kernels.hpp"

namespace veltrane::backends {

template <class F>
Backend backend_table(const char* name) {
  return Backend{name,
                 F::kLanes,
                 &kernels::entry_values<F>,
                 &kernels::encrypt<F>,
                 &kernels::randomize<F>,
                 &kernels::combine<F>,
                 &kernels::decrypt<F>,
                 &kernels::finish<F>};
}

}  // namespace veltrane::backends
