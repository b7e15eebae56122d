// The per-item work of the batch operations, once per field backend: the
// one-item field (every machine); lanes where the processor and the
// operating system support them: eight of radix 2^51 with AVX-512 IFMA,
// eight of radix 2^25.5 with AVX-512F, four of radix 2^25.5 with AVX2; and
// the exact portable emulation of each lane field (for tests). Every backend
// gives the same bytes for the same inputs and randomness, and reports the
// same failures.
//
// Each kernel handles a contiguous range of items in order and stops at the
// lowest failing item of its range, with the message a one-by-one loop gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "group/edwards.hpp"
#include "group/lanes/cpu_features.hpp"
#include "random/thread_generator.hpp"

namespace veltrane::backends {

// Items per block: the unit of parallel work, and the set of points whose
// encodings share one inversion.
inline constexpr std::size_t kBlock = 32;

struct Backend {
  const char* name;
  int lanes;

  // values[0..n) of 64 bytes: (representative of s*B, representative of
  // s*PK) for a fresh s per value, s uniform among those for which both exist.
  void (*entry_values)(const group::FixedBaseTable& public_key_table, std::uint8_t* values,
                       std::size_t n, random::ChaCha12Generator& rng);
  // n queries from their decoded 64-byte store values (sender, receiver),
  // each encrypted under a fresh scalar into 128 bytes; the decoded points
  // enter by their prime-order components only.
  void (*encrypt)(const std::uint8_t* sender_values, const std::uint8_t* receiver_values,
                  std::size_t n, const group::Point& coordinator_key, std::uint8_t* out,
                  random::ChaCha12Generator& rng);
  // Chunks [begin, end) of a ciphertext list of `length` bytes into out (128 per chunk).
  void (*randomize)(const std::uint8_t* in, std::size_t length, std::size_t begin,
                    std::size_t end, std::uint8_t* out, random::ChaCha12Generator& rng);
  // Pairs [begin, end); lists[j] receives component j (32 bytes per pair).
  void (*combine)(const std::uint8_t* a, std::size_t a_length, const std::uint8_t* b,
                  std::size_t b_length, std::size_t begin, std::size_t end,
                  std::uint8_t* const lists[4]);
  // Positions [begin, end) of a point list: k times each point's prime-order
  // component into out (32 per position).
  void (*decrypt)(const std::uint8_t* points, std::size_t length, std::size_t begin,
                  std::size_t end, const group::Scalar& k, std::uint8_t* out);
  // Positions [begin, end) of the four lists: flag 1 where delta = sender +
  // receiver + k*gamma.
  void (*finish)(const std::uint8_t* const lists[4], const std::size_t lengths[4],
                 std::size_t begin, std::size_t end, const group::Scalar& k,
                 std::uint8_t* flags);
};

const Backend& scalar_backend();
// The emulations of the radix-2^51 and radix-2^25.5 lanes.
const Backend& portable_lanes_backend();
const Backend& portable25_lanes_backend();
// Null when this processor or operating system cannot run it.
const Backend* ifma_lanes_backend();
const Backend* avx512f_lanes_backend();
const Backend* avx2_lanes_backend();
using group::lanes::cpu_has_ifma;

// The backend every operation uses, chosen once per process from
// VELTRANE_BACKEND (see active_backend.cpp for the values and for what
// "auto", the default, takes on each processor). A value this processor
// cannot run, or one we do not know, is a FatalError at every call that
// needs a backend.
const Backend& active_backend();

}  // namespace veltrane::backends
