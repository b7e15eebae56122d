#include "dense_combiner.hpp"

#include <string>

#include "common/fatal_error.hpp"

namespace veltrane::okvs {

DenseCombiner::DenseCombiner(std::span<const OkvsValue> dense) : table_(4 * 256) {
  if (dense.size() != 32) fatal("dense combiner over " + std::to_string(dense.size()) + " cells");
  for (std::size_t part = 0; part < 4; ++part) {
    OkvsValue* t = table_.data() + 256 * part;
    // t[0] is the zero value; every other subset adds its highest cell to
    // the subset without it.
    for (std::size_t subset = 1; subset < 256; ++subset) {
      std::size_t high = 7;
      while (!((subset >> high) & 1)) --high;
      t[subset] = t[subset ^ (std::size_t{1} << high)] ^ dense[8 * part + high];
    }
  }
}

}  // namespace veltrane::okvs
