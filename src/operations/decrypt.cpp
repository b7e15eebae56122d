#include "backends/backend.hpp"
#include "common/secret.hpp"
#include "operations/operations.hpp"
#include "operations/point_list.hpp"
#include "pool/parallel.hpp"

namespace veltrane::ops {

Bytes decrypt(ByteView points, ByteView bank_secret_key) {
  Secret<group::Scalar> k(group::secret_key_scalar(bank_secret_key));
  const backends::Backend& backend = backends::active_backend();
  const std::size_t positions = point_positions(points);
  Bytes out(32 * positions);
  pool::parallel_for_blocks(positions, backends::kBlock, [&](std::size_t begin, std::size_t end) {
    backend.decrypt(points.data(), points.size(), begin, end, k.get(), out.data());
  });
  return out;
}

}  // namespace veltrane::ops
