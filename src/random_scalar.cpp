#include "random_scalar.hpp"

#include "common/secret.hpp"

namespace veltrane {

group::Scalar random_scalar(random::ChaCha12Generator& rng) {
  std::uint8_t wide[64];
  rng.draw_bytes(wide, sizeof wide);
  const group::Scalar scalar = group::reduce_wide(wide);
  secure_wipe(&wide, sizeof wide);
  return scalar;
}

}  // namespace veltrane
