// The cuckoo graph of one encoding attempt: vertices are the sparse cells,
// each key is an edge between its two positions. The graph rejects two keys
// on one pair of positions, peels every edge that simple substitution can
// solve, and hands the few edges left over to dense elimination.
//
// Millions of keys go through here, so an adjacency entry is only the far
// end and the key's index (the key's value and dense hash stay with the
// caller), and the lists are slices of one array sized in a first pass over
// the keys (reserve_edge for every key, then add_edge for every key, in the
// same order). Within a slice the list behaves exactly like a growable list:
// entries are appended, removed by moving the last entry into the removed
// one's place, or taken from the end, so every order that peeling and
// take_core_edges depend on is the order those list operations give.
// All memory is kept across reset() calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

namespace veltrane::okvs {

using Vertex = std::uint32_t;
using KeyIndex = std::uint32_t;

// One entry of a vertex's adjacency list.
struct Edge {
  Vertex other;  // the far end
  KeyIndex key;
  friend bool operator==(const Edge&, const Edge&) = default;
};

// An edge removed by peeling; `vertex` is the end that had degree 1.
// Also the form in which take_core_edges hands out the remaining edges
// (vertex == other for a self-loop).
struct PeeledEdge {
  Vertex vertex;
  Vertex other;
  KeyIndex key;
  friend bool operator==(const PeeledEdge&, const PeeledEdge&) = default;
};

class Graph {
 public:
  // An empty graph of `vertices` vertices.
  void reset(std::size_t vertices);

  // First pass: make room for a key's edge. Every key is announced before
  // the first add_edge.
  void reserve_edge(Vertex first, Vertex second);

  // Ends the first pass (add_edge does so itself if needed).
  void begin_adding();

  // Second pass, keys in the same order as announced. False when the key
  // repeats the unordered pair of an earlier key or is a second self-loop at
  // its vertex; the attempt is then abandoned.
  bool add_edge(Vertex first, Vertex second, KeyIndex key);

  // Removes every edge with an end of degree 1 (following the far end at
  // once). The records are in peeling order: the last element is the front
  // of the peel sequence, the one peeled last.
  const std::vector<PeeledEdge>& peel();

  // Keys whose edge is still in the graph.
  std::size_t edge_count() const noexcept { return edge_count_; }

  // Empties the graph: per vertex in ascending order, its self-loop first,
  // then its list entries from the end backwards.
  std::vector<PeeledEdge> take_core_edges();

  // A vertex's adjacency list as it stands.
  std::span<const Edge> edges_at(Vertex v) const noexcept {
    return {entries_.data() + lists_[v].start, lists_[v].length};
  }
  // A hint that v's list is needed soon (the caller looks ahead over keys).
  void prefetch(Vertex v) const noexcept { __builtin_prefetch(&lists_[v]); }
  // The same for v's entries; only after begin_adding.
  void prefetch_entries(Vertex v) const noexcept {
    __builtin_prefetch(entries_.data() + lists_[v].start);
  }
  bool has_self_loop(Vertex v) const {
    return !self_loops_.empty() && self_loops_.contains(v);
  }

 private:
  void check_vertex(Vertex v) const;
  void append(Vertex v, Edge e);
  void remove_mirror(Vertex w, Vertex v);

  // One record per vertex, so that a visit touches one cache line.
  struct List {
    std::uint32_t start;   // the slice begins at entries_[start]
    std::uint32_t length;  // first pass: room needed; then the list's length
  };

  std::size_t vertices_ = 0;
  std::vector<List> lists_;  // one more than vertices_: the end of the last slice
  std::vector<Edge> entries_;
  std::size_t ends_ = 0;     // list entries reserved so far
  std::unordered_map<Vertex, KeyIndex> self_loops_;
  std::vector<PeeledEdge> peeled_;
  std::size_t reserved_ = 0;
  std::size_t added_ = 0;
  std::size_t edge_count_ = 0;
  bool laid_out_ = false;
};

}  // namespace veltrane::okvs
