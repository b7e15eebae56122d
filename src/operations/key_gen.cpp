#include "common/secret.hpp"
#include "group/edwards.hpp"
#include "operations/operations.hpp"
#include "random/thread_generator.hpp"
#include "random_scalar.hpp"

namespace veltrane::ops {

std::pair<Bytes, Bytes> key_gen() {
  Secret<group::Scalar> secret(random_scalar(random::thread_generator()));
  group::PointBytes public_key = group::compress(group::mul_base(secret.get()));
  return {Bytes(public_key.begin(), public_key.end()),
          Bytes(secret.get().bytes.begin(), secret.get().bytes.end())};
}

}  // namespace veltrane::ops
