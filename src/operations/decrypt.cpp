#include <algorithm>
#include <array>
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
    // Products in groups that share one inversion for their encodings.
    constexpr std::size_t kGroup = 16;
    std::array<group::Point, kGroup> products;
    std::array<group::PointBytes, kGroup> encodings;
    for (std::size_t first = begin; first < end; first += kGroup) {
      const std::size_t n = std::min(kGroup, end - first);
      for (std::size_t j = 0; j < n; ++j) {
        products[j] = group::mul_point(k.get(), point_at(points, first + j));
      }
      group::compress_batch({products.data(), n}, {encodings.data(), n});
      std::memcpy(out.data() + 32 * first, encodings.data(), 32 * n);
    }
  });
  return out;
}

}  // namespace veltrane::ops
