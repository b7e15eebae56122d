#include <algorithm>
#include <array>

#include "backends/backend.hpp"
#include "group/edwards.hpp"
#include "operations/operations.hpp"
#include "pool/parallel.hpp"
#include "random/thread_generator.hpp"
#include "schemes/paxos.hpp"
#include "wide_ciphertexts.hpp"

namespace veltrane::ops {

Bytes initiate_queries(const TextRows& sender_data, const TextRows& receiver_data,
                       ByteView sender_okvs, ByteView receiver_okvs,
                       ByteView zadiv_pk) {
  // Parsed once per call, in this order, so the first bad argument is the one reported.
  // The stores are read in place: a query touches only a few of their cells.
  const okvs::PaxosView sender_store = okvs::PaxosView::over(sender_okvs);
  const okvs::PaxosView receiver_store = okvs::PaxosView::over(receiver_okvs);
  const group::Point coordinator_key = group::decode_public_key(zadiv_pk);
  const backends::Backend& backend = backends::active_backend();

  const std::size_t n = std::min(sender_data.size(), receiver_data.size());
  Bytes out(n * WideCiphertext::kSize);
  pool::parallel_for_blocks(n, backends::kBlock, [&](std::size_t begin, std::size_t end) {
    random::ChaCha12Generator& rng = random::thread_generator();
    std::array<std::uint8_t, 64 * backends::kBlock> sender_values, receiver_values;
    for (std::size_t first = begin; first < end; first += backends::kBlock) {
      const std::size_t count = std::min(backends::kBlock, end - first);
      for (std::size_t j = 0; j < count; ++j) {
        const okvs::OkvsValue u =
            okvs::decode(sender_store, okvs::Hashable(sender_data.row(first + j)));
        const okvs::OkvsValue w =
            okvs::decode(receiver_store, okvs::Hashable(receiver_data.row(first + j)));
        std::copy(u.bytes.begin(), u.bytes.end(), sender_values.begin() + 64 * j);
        std::copy(w.bytes.begin(), w.bytes.end(), receiver_values.begin() + 64 * j);
      }
      backend.encrypt(sender_values.data(), receiver_values.data(), count, coordinator_key,
                      out.data() + first * WideCiphertext::kSize, rng);
    }
  });
  return out;
}

}  // namespace veltrane::ops
