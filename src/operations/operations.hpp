// The seven protocol operations on native data.
//
// Each takes the converted arguments of one Python call and returns its
// native result; every condition it cannot handle is a FatalError. Nothing
// here touches Python objects.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "common/text_rows.hpp"

namespace veltrane::ops {

using Bytes = std::vector<std::uint8_t>;

// (public key, secret key), 32 bytes each.
std::pair<Bytes, Bytes> key_gen();

// The store's byte form for the bank's rows under its public key.
Bytes build_okvs(const Bytes& public_key, const TextRows& rows);

// 128 bytes per query, queries in order.
Bytes initiate_queries(const TextRows& sender_data, const TextRows& receiver_data,
                       const Bytes& sender_okvs, const Bytes& receiver_okvs,
                       const Bytes& zadiv_pk);

Bytes randomize(const Bytes& ciphertexts);

// The sender, receiver, gamma and delta component lists.
std::array<Bytes, 4> combine(const Bytes& sender_ciphertexts, const Bytes& receiver_ciphertexts);

Bytes decrypt(const Bytes& points, const Bytes& bank_secret_key);

// One byte per position, 1 for a match and 0 otherwise.
Bytes finish(const Bytes& sender_points, const Bytes& receiver_points, const Bytes& gamma_points,
             const Bytes& delta_points, const Bytes& zadiv_secret_key);

}  // namespace veltrane::ops
