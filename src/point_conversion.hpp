// Elligator 2 representatives: 32 bytes that carry an edwards25519 point
// through the OKVS (field element r in bits 0..254, sign of x in bit 255).
#pragma once

#include <cstdint>
#include <optional>

#include "group/edwards.hpp"
#include "random/thread_generator.hpp"

namespace veltrane {

// Every 32-byte string maps to a point.
group::Point representative_to_point(const std::uint8_t rep[32]);

// Whether point_to_representative succeeds on p, decided with one square
// test and no inversion, so callers that retry can reject a point cheaply.
bool has_representative(const group::Point& p);

// None for points without a representative (about half, the identity and
// (0, -1) among them). Draws exactly one bit from rng on every call.
std::optional<group::PointBytes> point_to_representative(const group::Point& p,
                                                         random::ChaCha12Generator& rng);

}  // namespace veltrane
