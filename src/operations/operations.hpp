// The seven protocol operations on native data.
//
// Each takes the converted arguments of one Python call and returns its
// native result; every condition it cannot handle is a FatalError. Nothing
// here touches Python objects. Byte inputs are views: the caller keeps them
// alive and unchanged for the call, which lets a store or a point list be
// read where the caller holds it instead of from a copy.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "common/text_rows.hpp"

namespace veltrane::ops {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// (public key, secret key), 32 bytes each.
std::pair<Bytes, Bytes> key_gen();

// The store's byte form for the bank's rows under its public key.
Bytes build_okvs(ByteView public_key, const TextRows& rows);

// 128 bytes per query, queries in order.
Bytes initiate_queries(const TextRows& sender_data, const TextRows& receiver_data,
                       ByteView sender_okvs, ByteView receiver_okvs,
                       ByteView zadiv_pk);

Bytes randomize(ByteView ciphertexts);

// The sender, receiver, gamma and delta component lists.
std::array<Bytes, 4> combine(ByteView sender_ciphertexts, ByteView receiver_ciphertexts);

Bytes decrypt(ByteView points, ByteView bank_secret_key);

// One byte per position, 1 for a match and 0 otherwise.
Bytes finish(ByteView sender_points, ByteView receiver_points, ByteView gamma_points,
             ByteView delta_points, ByteView zadiv_secret_key);

}  // namespace veltrane::ops
