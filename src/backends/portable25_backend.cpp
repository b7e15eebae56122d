// Eight lanes of radix 2^25.5 in plain C++: the AVX2 and AVX-512F lanes'
// exact results on any machine.
#include "backends/backend_table.hpp"
#include "group/lanes/lane_field25.hpp"
#include "group/lanes/portable_u64xn.hpp"

namespace veltrane::backends {

const Backend& portable25_lanes_backend() {
  static const Backend backend = backend_table<
      group::lanes::LaneField25<group::lanes::PortableU64xN<8>>>("portable25-lanes");
  return backend;
}

}  // namespace veltrane::backends
