// A direct, unoptimised encoder for comparison: per-vertex lists of full edge
// records, a double-ended peel sequence, ordered column sets and a scan over
// every column. The production encoder must give byte-identical stores (and
// fail on the same attempts) for the same random stream.
#pragma once

#include <deque>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "schemes/paxos.hpp"

namespace veltrane::okvs::testing {

inline std::optional<std::vector<std::uint8_t>> reference_encode(
    const std::vector<Hashable>& keys, const std::vector<OkvsValue>& values, RandomSource& rng) {
  struct E { std::uint64_t other; OkvsValue value; std::uint64_t dense; };
  struct P { std::uint64_t vertex, other; OkvsValue value; std::uint64_t dense; };
  const std::size_t n = keys.size(), m = sparse_size(n);
  const std::uint64_t s0 = rng.draw_u64(), s1 = rng.draw_u64(), s2 = rng.draw_u64();

  std::vector<std::vector<E>> adj(m);
  std::map<std::uint64_t, E> loops;
  std::size_t count = 0;
  for (std::size_t k = 0; k < n; ++k) {
    std::uint64_t a = keys[k].hash_to_index(s0, m), b = keys[k].hash_to_index(s1, m);
    std::uint64_t h = keys[k].hash_with_seed(s2);
    for (const E& e : adj[a])
      if (e.other == b) return std::nullopt;
    if (a != b) {
      adj[a].push_back({b, values[k], h});
      adj[b].push_back({a, values[k], h});
    } else {
      if (loops.count(a)) return std::nullopt;
      loops[a] = {a, values[k], h};
    }
    ++count;
  }
  auto remove_mirror = [&](std::uint64_t w, std::uint64_t v) {
    auto& list = adj[w];
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (list[i].other == v) {
        list[i] = list.back();
        list.pop_back();
        return;
      }
    }
    throw std::logic_error("mirror missing");
  };
  std::deque<P> peeled;
  for (std::uint64_t start = 0; start < m; ++start) {
    std::uint64_t v = start;
    while (adj[v].size() == 1 && !loops.count(v)) {
      E e = adj[v][0];
      adj[v].clear();
      remove_mirror(e.other, v);
      --count;
      peeled.push_front({v, e.other, e.value, e.dense});
      v = e.other;
    }
  }
  if (count > CORE_LIMIT) return std::nullopt;

  std::vector<std::set<std::size_t>> sets;
  std::vector<OkvsValue> rhs;
  auto add_row = [&](std::uint64_t v, std::uint64_t w, const OkvsValue& value, std::uint64_t h) {
    std::set<std::size_t> s;
    if (v != w) s = {v, w};
    for (std::size_t i = 0; i < DENSE_WIDTH; ++i)
      if ((h >> i) & 1) s.insert(m + i);
    sets.push_back(s);
    rhs.push_back(value);
  };
  for (std::uint64_t v = 0; v < m; ++v) {
    while (loops.count(v) || !adj[v].empty()) {
      if (auto it = loops.find(v); it != loops.end()) {
        add_row(v, v, it->second.value, it->second.dense);
        loops.erase(it);
      } else {
        E e = adj[v].back();
        adj[v].pop_back();
        remove_mirror(e.other, v);
        add_row(v, e.other, e.value, e.dense);
      }
    }
  }
  std::size_t r = 0;
  for (std::size_t c = 0; c < m + DENSE_WIDTH && r < sets.size(); ++c) {
    std::size_t p = r;
    while (p < sets.size() && !sets[p].count(c)) ++p;
    if (p == sets.size()) continue;
    std::swap(sets[p], sets[r]);
    std::swap(rhs[p], rhs[r]);
    for (std::size_t j = r + 1; j < sets.size(); ++j) {
      if (!sets[j].count(c)) continue;
      for (std::size_t col : sets[r])
        if (!sets[j].erase(col)) sets[j].insert(col);
      rhs[j] ^= rhs[r];
    }
    ++r;
  }
  std::vector<std::optional<OkvsValue>> slot(m + DENSE_WIDTH);
  for (std::size_t i = sets.size(); i-- > 0;) {
    OkvsValue acc = rhs[i];
    std::optional<std::size_t> free;
    for (std::size_t c : sets[i]) {
      if (!slot[c]) {
        slot[c] = random_value(rng);
        free = c;
      }
      acc ^= *slot[c];
    }
    if (!free) return std::nullopt;
    *slot[*free] ^= acc;
  }
  for (std::size_t i = 0; i < DENSE_WIDTH; ++i)
    if (!slot[m + i]) slot[m + i] = random_value(rng);
  for (const P& p : peeled) {
    OkvsValue x = p.value;
    for (std::size_t i = 0; i < DENSE_WIDTH; ++i)
      if ((p.dense >> i) & 1) x ^= *slot[m + i];
    if (!slot[p.other]) slot[p.other] = random_value(rng);
    x ^= *slot[p.other];
    slot[p.vertex] = x;
  }
  for (std::size_t j = 0; j < m; ++j)
    if (!slot[j]) slot[j] = random_value(rng);

  std::vector<std::uint8_t> out;
  for (std::uint64_t s : {s0, s1, s2})
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(s >> (8 * i)));
  for (const auto& v : slot) out.insert(out.end(), v->bytes.begin(), v->bytes.end());
  return out;
}

}  // namespace veltrane::okvs::testing
