#include "graph.hpp"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace veltrane::okvs {
namespace {

using Pairs = std::vector<std::pair<Vertex, Vertex>>;

// Builds the graph in two passes, as the encoder does; false on a duplicate.
bool build(Graph& g, std::size_t m, const Pairs& keys) {
  g.reset(m);
  for (auto [a, b] : keys) g.reserve_edge(a, b);
  for (std::size_t k = 0; k < keys.size(); ++k) {
    if (!g.add_edge(keys[k].first, keys[k].second, static_cast<KeyIndex>(k))) return false;
  }
  return true;
}

// The peel sequence read from its front: the edge peeled last first.
std::vector<PeeledEdge> front_to_back(const std::vector<PeeledEdge>& peeled) {
  return {peeled.rbegin(), peeled.rend()};
}

TEST(Graph, TreeIsPeeledCompletely) {
  Graph g;
  // A chain 0-1-2-3 peels from vertex 0, following the far end each time.
  ASSERT_TRUE(build(g, 4, {{0, 1}, {1, 2}, {2, 3}}));
  auto seq = front_to_back(g.peel());
  EXPECT_EQ(seq, (std::vector<PeeledEdge>{{2, 3, 2}, {1, 2, 1}, {0, 1, 0}}));
  EXPECT_EQ(g.edge_count(), 0u);
  EXPECT_TRUE(g.take_core_edges().empty());

  // A star and a branch: vertex 1 reaches degree 1 only after 0 and 2 go.
  ASSERT_TRUE(build(g, 6, {{1, 3}, {0, 1}, {2, 1}, {3, 4}, {5, 3}}));
  auto star = g.peel();
  EXPECT_EQ(star, (std::vector<PeeledEdge>{{0, 1, 1}, {2, 1, 2}, {1, 3, 0}, {4, 3, 3}, {3, 5, 4}}));
  EXPECT_EQ(g.edge_count(), 0u);
}

TEST(Graph, TriangleStaysAndIsEmittedInListOrder) {
  Graph g;
  const Vertex a = 1, b = 4, c = 6;
  ASSERT_TRUE(build(g, 8, {{a, b}, {b, c}, {c, a}}));
  EXPECT_TRUE(g.peel().empty());
  EXPECT_EQ(g.edge_count(), 3u);
  EXPECT_EQ(g.take_core_edges(), (std::vector<PeeledEdge>{{a, c, 2}, {a, b, 0}, {b, c, 1}}));
  EXPECT_EQ(g.edge_count(), 0u);
}

TEST(Graph, TriangleWithATailLosesOnlyTheTail) {
  Graph g;
  // 5 hangs off the triangle 0-2-3; removing it swaps 3's last entry forward.
  ASSERT_TRUE(build(g, 6, {{0, 2}, {3, 5}, {2, 3}, {3, 0}}));
  EXPECT_EQ(g.peel(), (std::vector<PeeledEdge>{{5, 3, 1}}));
  ASSERT_EQ(g.edges_at(3).size(), 2u);
  EXPECT_EQ(g.edges_at(3)[0], (Edge{0, 3}));  // moved into the removed entry's place
  EXPECT_EQ(g.edges_at(3)[1], (Edge{2, 2}));
  EXPECT_EQ(g.take_core_edges(), (std::vector<PeeledEdge>{{0, 3, 3}, {0, 2, 0}, {2, 3, 2}}));
}

TEST(Graph, SelfLoopsAreNeverPeeled) {
  Graph g;
  ASSERT_TRUE(build(g, 3, {{2, 2}}));
  EXPECT_TRUE(g.peel().empty());
  EXPECT_EQ(g.edge_count(), 1u);
  EXPECT_EQ(g.take_core_edges(), (std::vector<PeeledEdge>{{2, 2, 0}}));

  // Self-loop at 1 and an edge 1-4: the edge is peeled from 4, the loop stays.
  ASSERT_TRUE(build(g, 5, {{1, 1}, {1, 4}}));
  EXPECT_EQ(g.peel(), (std::vector<PeeledEdge>{{4, 1, 1}}));
  EXPECT_EQ(g.edge_count(), 1u);
  EXPECT_EQ(g.take_core_edges(), (std::vector<PeeledEdge>{{1, 1, 0}}));

  // Self-loops at both ends of an edge: nothing peels; each vertex emits its
  // loop before its list entries.
  ASSERT_TRUE(build(g, 4, {{0, 3}, {3, 3}, {0, 0}}));
  EXPECT_TRUE(g.peel().empty());
  EXPECT_EQ(g.take_core_edges(), (std::vector<PeeledEdge>{{0, 0, 2}, {0, 3, 0}, {3, 3, 1}}));
}

TEST(Graph, RepeatedPairsAreDuplicates) {
  Graph g;
  EXPECT_FALSE(build(g, 8, {{2, 5}, {5, 2}}));
  EXPECT_FALSE(build(g, 8, {{2, 5}, {1, 3}, {2, 5}}));
  EXPECT_FALSE(build(g, 8, {{4, 4}, {4, 4}}));
  EXPECT_TRUE(build(g, 8, {{4, 4}, {5, 5}, {4, 5}}));
}

}  // namespace
}  // namespace veltrane::okvs
