// Eight lanes in plain C++: the IFMA lanes' exact results on any machine.
#include "backends/backend_table.hpp"
#include "group/lanes/lane_field.hpp"
#include "group/lanes/portable_u64xn.hpp"

namespace veltrane::backends {

const Backend& portable_lanes_backend() {
  static const Backend backend =
      backend_table<group::lanes::LaneField<group::lanes::PortableU64x8>>("portable-lanes");
  return backend;
}

}  // namespace veltrane::backends
