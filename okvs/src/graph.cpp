#include "graph.hpp"

#include <limits>
#include <string>

#include "common/fatal_error.hpp"

namespace veltrane::okvs {

void Graph::reset(std::size_t vertices) {
  if (vertices > std::numeric_limits<Vertex>::max()) {
    fatal("cuckoo graph of " + std::to_string(vertices) + " vertices is too large");
  }
  vertices_ = vertices;
  lists_.assign(vertices + 1, List{0, 0});
  ends_ = 0;
  self_loops_.clear();
  peeled_.clear();
  reserved_ = added_ = edge_count_ = 0;
  laid_out_ = false;
}

void Graph::check_vertex(Vertex v) const {
  if (v >= vertices_) {
    fatal("vertex " + std::to_string(v) + " out of range for graph of " + std::to_string(vertices_));
  }
}

void Graph::reserve_edge(Vertex first, Vertex second) {
  check_vertex(first);
  check_vertex(second);
  if (laid_out_) fatal("cuckoo graph: edge reserved after the first edge was added");
  // Two ends per key must fit the 32-bit slice offsets.
  if (ends_ + 2 > std::numeric_limits<std::uint32_t>::max()) fatal("cuckoo graph: too many edges");
  ++reserved_;
  if (first != second) {
    ++lists_[first].length;
    ++lists_[second].length;
    ends_ += 2;
  }
}

void Graph::begin_adding() {
  if (laid_out_) return;
  // Entries are written before they are read, so no clearing is needed.
  if (entries_.size() < ends_) entries_.resize(ends_);
  std::uint32_t offset = 0;
  for (std::size_t v = 0; v < vertices_; ++v) {
    lists_[v].start = offset;
    offset += lists_[v].length;
    lists_[v].length = 0;
  }
  lists_[vertices_].start = offset;
  laid_out_ = true;
}

void Graph::append(Vertex v, Edge e) {
  List& list = lists_[v];
  if (list.start + list.length >= lists_[v + 1].start) fatal("cuckoo graph: edge added without room");
  entries_[list.start + list.length++] = e;
}

bool Graph::add_edge(Vertex first, Vertex second, KeyIndex key) {
  check_vertex(first);
  check_vertex(second);
  begin_adding();
  if (added_ >= reserved_) fatal("cuckoo graph: more edges added than reserved");
  ++added_;
  if (first != second) {
    // Both ends of an ordinary edge are listed, so this also catches an
    // earlier key on the same pair in the opposite order.
    for (const Edge& e : edges_at(first)) {
      if (e.other == second) return false;
    }
    append(first, {second, key});
    append(second, {first, key});
  } else if (!self_loops_.emplace(first, key).second) {
    return false;
  }
  ++edge_count_;
  return true;
}

void Graph::remove_mirror(Vertex w, Vertex v) {
  Edge* list = entries_.data() + lists_[w].start;
  std::uint32_t& n = lists_[w].length;
  for (std::uint32_t i = 0; i < n; ++i) {
    if (list[i].other == v) {
      list[i] = list[n - 1];
      --n;
      return;
    }
  }
  fatal("cuckoo graph: edge " + std::to_string(v) + "-" + std::to_string(w) +
        " has no mirror entry");
}

const std::vector<PeeledEdge>& Graph::peel() {
  begin_adding();
  peeled_.clear();
  peeled_.reserve(added_);  // grown once: millions of records must not be copied
  constexpr std::size_t AHEAD = 16;
  for (std::size_t start = 0; start < vertices_; ++start) {
    // Most peels start at a vertex of degree 1 met by the scan; ask early
    // for the far end that its peel will visit.
    if (start + 2 * AHEAD < vertices_ && lists_[start + 2 * AHEAD].length == 1) {
      prefetch(entries_[lists_[start + 2 * AHEAD].start].other);
    }
    if (start + AHEAD < vertices_ && lists_[start + AHEAD].length == 1) {
      prefetch_entries(entries_[lists_[start + AHEAD].start].other);
    }
    Vertex v = static_cast<Vertex>(start);
    // A vertex that falls to degree 1 is handled at once, so one ascending
    // scan leaves no peelable vertex behind.
    while (lists_[v].length == 1 && !has_self_loop(v)) {
      Edge e = entries_[lists_[v].start];
      lists_[v].length = 0;
      remove_mirror(e.other, v);
      --edge_count_;
      peeled_.push_back({v, e.other, e.key});
      v = e.other;
    }
  }
  if (peeled_.size() + edge_count_ != added_) {
    fatal("cuckoo graph: " + std::to_string(peeled_.size()) + " peeled and " +
          std::to_string(edge_count_) + " remaining edges for " + std::to_string(added_) + " keys");
  }
  return peeled_;
}

std::vector<PeeledEdge> Graph::take_core_edges() {
  std::vector<PeeledEdge> core;
  core.reserve(edge_count_);
  for (std::size_t index = 0; index < vertices_ && edge_count_ > 0; ++index) {
    Vertex v = static_cast<Vertex>(index);
    if (!self_loops_.empty()) {
      if (auto it = self_loops_.find(v); it != self_loops_.end()) {
        core.push_back({v, v, it->second});
        self_loops_.erase(it);
        --edge_count_;
      }
    }
    while (lists_[v].length > 0) {
      Edge e = entries_[lists_[v].start + --lists_[v].length];
      remove_mirror(e.other, v);
      --edge_count_;
      core.push_back({v, e.other, e.key});
    }
  }
  return core;
}

}  // namespace veltrane::okvs
