#include <algorithm>

#include "backends/backend.hpp"
#include "operations/operations.hpp"
#include "pool/parallel.hpp"
#include "wide_ciphertexts.hpp"

namespace veltrane::ops {

std::array<Bytes, 4> combine(ByteView sender_ciphertexts, ByteView receiver_ciphertexts) {
  const backends::Backend& backend = backends::active_backend();
  constexpr std::size_t kSize = WideCiphertext::kSize;
  const std::size_t pairs = std::min((sender_ciphertexts.size() + kSize - 1) / kSize,
                                     (receiver_ciphertexts.size() + kSize - 1) / kSize);
  std::array<Bytes, 4> lists;
  for (Bytes& list : lists) list.resize(32 * pairs);
  std::uint8_t* const outs[4] = {lists[0].data(), lists[1].data(), lists[2].data(),
                                 lists[3].data()};
  // Each pair writes its four sums straight into the component lists.
  pool::parallel_for_blocks(pairs, backends::kBlock, [&](std::size_t begin, std::size_t end) {
    backend.combine(sender_ciphertexts.data(), sender_ciphertexts.size(),
                    receiver_ciphertexts.data(), receiver_ciphertexts.size(), begin, end, outs);
  });
  return lists;
}

}  // namespace veltrane::ops
