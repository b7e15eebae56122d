// The PaXoS store: three seeds, m sparse cells and DENSE_WIDTH dense cells.
//
// A key meets two sparse cells (its positions under seed0 and seed1) and the
// dense cells picked by the low DENSE_WIDTH bits of its hash under seed2; its
// value is the XOR of those cells. encode makes one attempt at a store for
// given key/value pairs; an attempt fails now and then (two keys on one pair
// of positions, too many edges left after peeling, dependent leftover
// equations) and the caller tries again with the same pairs.
//
// Byte form: seed0, seed1, seed2 (8 bytes each, little-endian), the m sparse
// cells, the dense cells; 64 bytes per cell, 2072 + 64m bytes in all.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "dense_combiner.hpp"
#include "elimination.hpp"
#include "graph.hpp"
#include "hashable.hpp"
#include "okvs_value.hpp"
#include "random_source.hpp"
#include "solution.hpp"

namespace veltrane::okvs {

inline constexpr double EXPANSION = 2.4;        // sparse cells per key
inline constexpr std::size_t DENSE_WIDTH = 32;  // dense cells; dense-hash bits read
inline constexpr std::size_t CORE_LIMIT = 8;    // most edges left after peeling
inline constexpr std::size_t SEEDS_SIZE = 24;
inline constexpr std::size_t DENSE_SIZE = DENSE_WIDTH * VALUE_SIZE;  // 2048

// ceil(n * EXPANSION) in double precision, saturating at the largest count.
std::uint64_t sparse_size(std::uint64_t n) noexcept;

class Paxos {
 public:
  // Reads a byte form; inputs shorter than 2072 bytes are FatalErrors. A
  // remainder of 1..63 bytes before the dense cells is ignored.
  static Paxos from_bytes(std::span<const std::uint8_t> bytes);

  std::vector<std::uint8_t> to_bytes() const& { return bytes_; }
  // Hands over the byte form without copying it.
  std::vector<std::uint8_t> to_bytes() && { return std::move(bytes_); }

  std::uint64_t seed0() const noexcept { return seed0_; }
  std::uint64_t seed1() const noexcept { return seed1_; }
  std::uint64_t seed2() const noexcept { return seed2_; }
  std::size_t sparse_count() const noexcept { return sparse_count_; }
  OkvsValue sparse(std::size_t j) const noexcept { return cell(j); }
  OkvsValue dense(std::size_t i) const noexcept { return cell(sparse_count_ + i); }
  // The XOR of the dense cells picked by a hash's low 32 bits, for decode.
  const DenseCombiner& dense_combiner() const noexcept { return combiner_; }

 private:
  friend class PaxosBuilder;
  // `bytes` is a complete byte form in the canonical layout.
  explicit Paxos(std::vector<std::uint8_t> bytes);
  OkvsValue cell(std::size_t column) const noexcept;
  std::array<OkvsValue, DENSE_WIDTH> dense_cells() const noexcept;

  std::vector<std::uint8_t> bytes_;
  std::uint64_t seed0_, seed1_, seed2_;
  std::size_t sparse_count_;
  DenseCombiner combiner_;
};

// A store read in place: the same checks and fields as Paxos::from_bytes,
// but the sparse and dense cells are read from the caller's bytes, which
// must outlive the view. A store of millions of cells is thus looked up
// without first being copied. Every position decode reads is a remainder by
// the cell count fixed here, so bytes that change under the view give other
// values but never a read outside them.
class PaxosView {
 public:
  static PaxosView over(std::span<const std::uint8_t> bytes);

  std::uint64_t seed0() const noexcept { return seed0_; }
  std::uint64_t seed1() const noexcept { return seed1_; }
  std::uint64_t seed2() const noexcept { return seed2_; }
  std::size_t sparse_count() const noexcept { return sparse_count_; }
  OkvsValue sparse(std::size_t j) const noexcept { return cell_at(sparse_, j); }
  OkvsValue dense(std::size_t i) const noexcept { return cell_at(dense_, i); }
  const DenseCombiner& dense_combiner() const noexcept { return combiner_; }

 private:
  PaxosView(std::span<const std::uint8_t> bytes, std::size_t sparse_count);
  static OkvsValue cell_at(const std::uint8_t* cells, std::size_t i) noexcept;
  std::array<OkvsValue, DENSE_WIDTH> dense_cells() const noexcept;

  const std::uint8_t* sparse_;
  const std::uint8_t* dense_;
  std::uint64_t seed0_, seed1_, seed2_;
  std::size_t sparse_count_;
  DenseCombiner combiner_;
};

// Memory of encoding attempts, kept from one attempt to the next so that
// retries over millions of keys do not allocate again.
struct EncodeWorkspace {
  struct KeyCells {
    Vertex first, second;
    std::uint32_t dense;  // the dense hash's bits 0..31, the only ones read
  };
  std::vector<KeyCells> cells;
  Graph graph;
  Solution solution;
};

// One encoding attempt of keys[i] -> values[i]. Draws seed0, seed1, seed2
// and then every random cell from rng. No store when the attempt fails.
// The keys must be distinct byte strings, or every attempt fails.
std::optional<Paxos> encode(std::span<const Hashable> keys, std::span<const OkvsValue> values,
                            RandomSource& rng, EncodeWorkspace& workspace);
std::optional<Paxos> encode(std::span<const Hashable> keys, std::span<const OkvsValue> values,
                            RandomSource& rng);

// The XOR of the key's two sparse cells and its dense cells. A store without
// sparse cells is a FatalError (the positions are remainders by m).
OkvsValue decode(const Paxos& store, Hashable key);
OkvsValue decode(const PaxosView& store, Hashable key);

}  // namespace veltrane::okvs
