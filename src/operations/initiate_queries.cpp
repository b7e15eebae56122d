#include <algorithm>

#include "common/secret.hpp"
#include "group/edwards.hpp"
#include "operations/operations.hpp"
#include "point_conversion.hpp"
#include "pool/parallel.hpp"
#include "random/thread_generator.hpp"
#include "schemes/paxos.hpp"
#include "wide_ciphertexts.hpp"

namespace veltrane::ops {

Bytes initiate_queries(const TextRows& sender_data, const TextRows& receiver_data,
                       const Bytes& sender_okvs, const Bytes& receiver_okvs,
                       const Bytes& zadiv_pk) {
  // Parsed once per call, in this order, so the first bad argument is the one reported.
  const okvs::Paxos sender_store = okvs::Paxos::from_bytes(sender_okvs);
  const okvs::Paxos receiver_store = okvs::Paxos::from_bytes(receiver_okvs);
  const group::Point coordinator_key = group::decode_public_key(zadiv_pk);

  const std::size_t n = std::min(sender_data.size(), receiver_data.size());
  Bytes out(n * WideCiphertext::kSize);
  pool::parallel_for(n, [&](std::size_t begin, std::size_t end) {
    random::ChaCha12Generator& rng = random::thread_generator();
    for (std::size_t k = begin; k < end; ++k) {
      okvs::OkvsValue u = okvs::decode(sender_store, okvs::Hashable(sender_data.row(k)));
      okvs::OkvsValue w = okvs::decode(receiver_store, okvs::Hashable(receiver_data.row(k)));
      const Secret<group::Scalar> r(rng.random_scalar());
      group::Point s1 = representative_to_point(u.bytes.data());
      group::Point s2 = representative_to_point(u.bytes.data() + 32);
      group::Point r1 = representative_to_point(w.bytes.data());
      group::Point r2 = representative_to_point(w.bytes.data() + 32);
      encrypt(s1, s2, r1, r2, coordinator_key, r.get()).to_bytes(out.data() + k * WideCiphertext::kSize);
    }
  });
  return out;
}

}  // namespace veltrane::ops
