#include <cstring>

#include "common/secret.hpp"
#include "operations/operations.hpp"
#include "operations/point_list.hpp"
#include "pool/parallel.hpp"

namespace veltrane::ops {

Bytes decrypt(const Bytes& points, const Bytes& bank_secret_key) {
  Secret<group::Scalar> k(group::secret_key_scalar(bank_secret_key));
  const std::size_t positions = point_positions(points);
  Bytes out(32 * positions);
  pool::parallel_for(positions, [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
      group::PointBytes product = group::compress(group::mul_point(k.get(), point_at(points, i)));
      std::memcpy(out.data() + 32 * i, product.data(), 32);
    }
  });
  return out;
}

}  // namespace veltrane::ops
