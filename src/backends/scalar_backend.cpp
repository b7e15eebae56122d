// The one-item field: every machine.
#include "backends/backend_table.hpp"
#include "group/scalar_field.hpp"

namespace veltrane::backends {

const Backend& scalar_backend() {
  static const Backend backend = backend_table<group::ScalarField>("scalar");
  return backend;
}

}  // namespace veltrane::backends
