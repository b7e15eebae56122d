#include <algorithm>

#include "common/secret.hpp"
#include "operations/operations.hpp"
#include "operations/point_list.hpp"
#include "pool/parallel.hpp"

namespace veltrane::ops {

// Each position is independent, so they run on the pool; the pool reports the
// lowest failing position, which is the failure a loop in position order meets.
Bytes finish(const Bytes& sender_points, const Bytes& receiver_points, const Bytes& gamma_points,
             const Bytes& delta_points, const Bytes& zadiv_secret_key) {
  Secret<group::Scalar> k(group::secret_key_scalar(zadiv_secret_key));
  const std::size_t n = std::min({point_positions(sender_points), point_positions(receiver_points),
                                  point_positions(gamma_points), point_positions(delta_points)});
  Bytes flags(n);
  pool::parallel_for(n, [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
      group::Point s = point_at(sender_points, i);
      group::Point r = point_at(receiver_points, i);
      group::Point g = point_at(gamma_points, i);
      group::Point d = point_at(delta_points, i);
      group::Point v = group::add_points(group::add_points(s, r), group::mul_point(k.get(), g));
      flags[i] = group::points_equal(d, v) ? 1 : 0;
    }
  });
  return flags;
}

}  // namespace veltrane::ops
