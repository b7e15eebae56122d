#include <algorithm>

#include "backends/backend.hpp"
#include "common/secret.hpp"
#include "operations/operations.hpp"
#include "operations/point_list.hpp"
#include "pool/parallel.hpp"

namespace veltrane::ops {

// Each position is independent, so they run on the pool; the pool reports the
// lowest failing position, which is the failure a loop in position order meets.
Bytes finish(ByteView sender_points, ByteView receiver_points, ByteView gamma_points,
             ByteView delta_points, ByteView zadiv_secret_key) {
  Secret<group::Scalar> k(group::secret_key_scalar(zadiv_secret_key));
  const backends::Backend& backend = backends::active_backend();
  const std::size_t n = std::min({point_positions(sender_points), point_positions(receiver_points),
                                  point_positions(gamma_points), point_positions(delta_points)});
  const std::uint8_t* const lists[4] = {sender_points.data(), receiver_points.data(),
                                        gamma_points.data(), delta_points.data()};
  const std::size_t lengths[4] = {sender_points.size(), receiver_points.size(),
                                  gamma_points.size(), delta_points.size()};
  Bytes flags(n);
  pool::parallel_for_blocks(n, backends::kBlock, [&](std::size_t begin, std::size_t end) {
    backend.finish(lists, lengths, begin, end, k.get(), flags.data());
  });
  return flags;
}

}  // namespace veltrane::ops
