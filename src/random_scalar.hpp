// Random scalars: 64 bytes of the generator reduced modulo the group order,
// so every value below l is (almost exactly) equally likely.
#pragma once

#include "group/scalar.hpp"
#include "random/thread_generator.hpp"

namespace veltrane {

// reduce_wide of the next 64 bytes of rng (16 words); the bytes are wiped.
group::Scalar random_scalar(random::ChaCha12Generator& rng);

}  // namespace veltrane
