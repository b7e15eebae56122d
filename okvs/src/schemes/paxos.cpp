#include "schemes/paxos.hpp"

#include <array>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "common/fatal_error.hpp"
#include "dense_combiner.hpp"

namespace veltrane::okvs {
namespace {

std::uint64_t read_u64_le(const std::uint8_t* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

void write_u64_le(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

bool bit(std::uint32_t dense, std::size_t i) { return (dense >> i) & 1u; }

// The largest number of keys whose graph fits 32-bit vertex and slice indices.
constexpr std::size_t MAX_KEYS = 1'700'000'000;

// The cell count of a byte form of `length` bytes; the checks follow the
// order in which the fields are read: each seed, then the split into sparse
// and dense regions.
std::size_t checked_sparse_count(std::size_t length) {
  for (std::size_t end : {std::size_t{8}, std::size_t{16}, std::size_t{24}}) {
    if (length < end) fatal(range_end_message(end, length));
  }
  if (length >= DENSE_SIZE && length - DENSE_SIZE < SEEDS_SIZE) {
    fatal("slice index starts at " + std::to_string(SEEDS_SIZE) + " but ends at " +
          std::to_string(length - DENSE_SIZE));
  }
  if (length < DENSE_SIZE) {
    // The sparse region would end before the start of the input; the end is
    // reported as the wrapped unsigned difference.
    fatal(range_end_message(length - DENSE_SIZE, length));
  }
  return (length - SEEDS_SIZE - DENSE_SIZE) / VALUE_SIZE;
}

// The XOR of the key's two sparse cells and its dense cells, for either form
// of a store.
template <class Store>
OkvsValue decode_in(const Store& store, Hashable key) {
  const std::size_t m = store.sparse_count();
  OkvsValue x = store.sparse(key.hash_to_index(store.seed0(), m));
  x ^= store.sparse(key.hash_to_index(store.seed1(), m));
  // Only bits 0..31 of the dense hash select cells.
  return x ^ store.dense_combiner().combine(static_cast<std::uint32_t>(key.hash_with_seed(store.seed2())));
}

}  // namespace

std::uint64_t sparse_size(std::uint64_t n) noexcept {
  double cells = std::ceil(static_cast<double>(n) * EXPANSION);
  // 2^64 is exactly representable; anything at or above it saturates.
  if (cells >= 18446744073709551616.0) return std::numeric_limits<std::uint64_t>::max();
  return static_cast<std::uint64_t>(cells);
}

Paxos::Paxos(std::vector<std::uint8_t> bytes)
    : bytes_(std::move(bytes)),
      seed0_(read_u64_le(bytes_.data())),
      seed1_(read_u64_le(bytes_.data() + 8)),
      seed2_(read_u64_le(bytes_.data() + 16)),
      sparse_count_((bytes_.size() - SEEDS_SIZE - DENSE_SIZE) / VALUE_SIZE),
      combiner_(dense_cells()) {}

std::array<OkvsValue, DENSE_WIDTH> Paxos::dense_cells() const noexcept {
  std::array<OkvsValue, DENSE_WIDTH> d;
  for (std::size_t i = 0; i < DENSE_WIDTH; ++i) d[i] = dense(i);
  return d;
}

OkvsValue Paxos::cell(std::size_t column) const noexcept {
  OkvsValue v;
  std::memcpy(v.bytes.data(), bytes_.data() + SEEDS_SIZE + VALUE_SIZE * column, VALUE_SIZE);
  return v;
}

Paxos Paxos::from_bytes(std::span<const std::uint8_t> bytes) {
  const std::size_t length = bytes.size();
  const std::size_t m = checked_sparse_count(length);
  std::vector<std::uint8_t> canonical(SEEDS_SIZE + VALUE_SIZE * m + DENSE_SIZE);
  std::memcpy(canonical.data(), bytes.data(), SEEDS_SIZE + VALUE_SIZE * m);
  std::memcpy(canonical.data() + SEEDS_SIZE + VALUE_SIZE * m,
              bytes.data() + (length - DENSE_SIZE), DENSE_SIZE);
  return Paxos(std::move(canonical));
}

PaxosView PaxosView::over(std::span<const std::uint8_t> bytes) {
  return PaxosView(bytes, checked_sparse_count(bytes.size()));
}

// A remainder of 1..63 bytes lies between the sparse and the dense cells,
// which end the input.
PaxosView::PaxosView(std::span<const std::uint8_t> bytes, std::size_t sparse_count)
    : sparse_(bytes.data() + SEEDS_SIZE),
      dense_(bytes.data() + (bytes.size() - DENSE_SIZE)),
      seed0_(read_u64_le(bytes.data())),
      seed1_(read_u64_le(bytes.data() + 8)),
      seed2_(read_u64_le(bytes.data() + 16)),
      sparse_count_(sparse_count),
      combiner_(dense_cells()) {}

OkvsValue PaxosView::cell_at(const std::uint8_t* cells, std::size_t i) noexcept {
  OkvsValue v;
  std::memcpy(v.bytes.data(), cells + VALUE_SIZE * i, VALUE_SIZE);
  return v;
}

std::array<OkvsValue, DENSE_WIDTH> PaxosView::dense_cells() const noexcept {
  std::array<OkvsValue, DENSE_WIDTH> d;
  for (std::size_t i = 0; i < DENSE_WIDTH; ++i) d[i] = dense(i);
  return d;
}

// Turns a finished Solution into a store; the only way besides from_bytes.
class PaxosBuilder {
 public:
  static Paxos build(std::uint64_t seed0, std::uint64_t seed1, std::uint64_t seed2,
                     Solution& solution) {
    std::vector<std::uint8_t> bytes = solution.take_buffer();
    write_u64_le(bytes.data(), seed0);
    write_u64_le(bytes.data() + 8, seed1);
    write_u64_le(bytes.data() + 16, seed2);
    return Paxos(std::move(bytes));
  }
};

std::optional<Paxos> encode(std::span<const Hashable> keys, std::span<const OkvsValue> values,
                            RandomSource& rng, EncodeWorkspace& work) {
  if (keys.size() != values.size()) {
    fatal("encode: " + std::to_string(keys.size()) + " keys for " +
          std::to_string(values.size()) + " values");
  }
  if (keys.size() > MAX_KEYS) fatal("encode: too many keys (" + std::to_string(keys.size()) + ")");
  const std::size_t n = keys.size();
  const std::size_t m = sparse_size(n);

  const std::uint64_t seed0 = rng.draw_u64();
  const std::uint64_t seed1 = rng.draw_u64();
  const std::uint64_t seed2 = rng.draw_u64();

  // Positions and dense hashes, once per key; both graph passes read them.
  // The passes touch vertices in key order, that is at random, so they look
  // a few keys ahead and ask for the memory early.
  constexpr std::size_t AHEAD = 16;
  work.cells.resize(n);
  for (std::size_t k = 0; k < n; ++k) {
    auto& c = work.cells[k];
    c.first = static_cast<Vertex>(keys[k].hash_to_index(seed0, m));
    c.second = static_cast<Vertex>(keys[k].hash_to_index(seed1, m));
    c.dense = static_cast<std::uint32_t>(keys[k].hash_with_seed(seed2));
  }
  Graph& graph = work.graph;
  graph.reset(m);
  for (std::size_t k = 0; k < n; ++k) {
    if (k + AHEAD < n) {
      graph.prefetch(work.cells[k + AHEAD].first);
      graph.prefetch(work.cells[k + AHEAD].second);
    }
    graph.reserve_edge(work.cells[k].first, work.cells[k].second);
  }
  graph.begin_adding();
  for (std::size_t k = 0; k < n; ++k) {
    if (k + 2 * AHEAD < n) {
      graph.prefetch(work.cells[k + 2 * AHEAD].first);
      graph.prefetch(work.cells[k + 2 * AHEAD].second);
    }
    if (k + AHEAD < n) {
      graph.prefetch_entries(work.cells[k + AHEAD].first);
      graph.prefetch_entries(work.cells[k + AHEAD].second);
    }
    const auto& c = work.cells[k];
    if (!graph.add_edge(c.first, c.second, static_cast<KeyIndex>(k))) return std::nullopt;
  }

  const std::vector<PeeledEdge>& peeled = graph.peel();
  if (graph.edge_count() > CORE_LIMIT) return std::nullopt;

  // The leftover edges as equations over m sparse and DENSE_WIDTH dense
  // columns. A self-loop's cell is read twice by decode and cancels, so its
  // row has dense columns only.
  std::vector<ColumnSet> sets;
  std::vector<OkvsValue> rhs;
  for (const PeeledEdge& e : graph.take_core_edges()) {
    ColumnSet set;
    if (e.vertex != e.other) {
      set.push_back(std::min(e.vertex, e.other));
      set.push_back(std::max(e.vertex, e.other));
    }
    for (std::size_t i = 0; i < DENSE_WIDTH; ++i) {
      if (bit(work.cells[e.key].dense, i)) set.push_back(m + i);
    }
    sets.push_back(std::move(set));
    rhs.push_back(values[e.key]);
  }
  Solution& slots = work.solution;
  slots.reset(m + DENSE_WIDTH);
  if (!solve(std::move(sets), std::move(rhs), slots, rng)) return std::nullopt;

  for (std::size_t i = 0; i < DENSE_WIDTH; ++i) {
    if (!slots.filled(m + i)) slots.set(m + i, random_value(rng));
  }
  std::array<OkvsValue, DENSE_WIDTH> dense;
  for (std::size_t i = 0; i < DENSE_WIDTH; ++i) dense[i] = slots.get(m + i);
  const DenseCombiner combiner(dense);

  // Last peeled first: a record's degree-1 end appears in no core equation
  // and in no record handled before it, and the records that name it as
  // their far end come later and only read it.
  for (std::size_t r = peeled.size(); r-- > 0;) {
    if (r >= AHEAD) {
      const PeeledEdge& ahead = peeled[r - AHEAD];
      slots.prefetch(ahead.vertex);
      slots.prefetch(ahead.other);
      __builtin_prefetch(&values[ahead.key]);
      __builtin_prefetch(&work.cells[ahead.key]);
    }
    const PeeledEdge* it = &peeled[r];
    OkvsValue x = values[it->key] ^ combiner.combine(work.cells[it->key].dense);
    if (!slots.filled(it->other)) slots.set(it->other, random_value(rng));
    x ^= slots.get(it->other);
    if (slots.filled(it->vertex)) fatal("encode: peeled cell assigned twice");
    slots.set(it->vertex, x);
  }

  for (std::size_t j = 0; j < m; ++j) {
    if (!slots.filled(j)) slots.set(j, random_value(rng));
  }
  return PaxosBuilder::build(seed0, seed1, seed2, slots);
}

std::optional<Paxos> encode(std::span<const Hashable> keys, std::span<const OkvsValue> values,
                            RandomSource& rng) {
  EncodeWorkspace work;
  return encode(keys, values, rng, work);
}

OkvsValue decode(const Paxos& store, Hashable key) { return decode_in(store, key); }

OkvsValue decode(const PaxosView& store, Hashable key) { return decode_in(store, key); }

}  // namespace veltrane::okvs
