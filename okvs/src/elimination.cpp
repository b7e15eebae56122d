#include "elimination.hpp"

#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <utility>

#include "common/fatal_error.hpp"

namespace veltrane::okvs {
namespace {

bool contains(const ColumnSet& set, std::size_t column) {
  return std::binary_search(set.begin(), set.end(), column);
}

void eliminate(std::vector<ColumnSet>& sets, std::vector<OkvsValue>& rhs) {
  const std::size_t rows = sets.size();
  std::size_t r = 0;
  ColumnSet scratch;
  while (r < rows) {
    // Every row from r on has lost its columns below the last pivot, so the
    // next column that can hold a pivot is the smallest column left among
    // them; the columns skipped in between occur in none of them.
    std::optional<std::size_t> column;
    for (std::size_t j = r; j < rows; ++j) {
      if (!sets[j].empty() && (!column || sets[j].front() < *column)) column = sets[j].front();
    }
    if (!column) return;
    const std::size_t c = *column;
    std::size_t p = r;
    while (!contains(sets[p], c)) ++p;
    if (p != r) {
      std::swap(sets[p], sets[r]);
      std::swap(rhs[p], rhs[r]);
    }
    for (std::size_t j = r + 1; j < rows; ++j) {
      if (!contains(sets[j], c)) continue;
      scratch.clear();
      std::set_symmetric_difference(sets[j].begin(), sets[j].end(), sets[r].begin(),
                                    sets[r].end(), std::back_inserter(scratch));
      std::swap(sets[j], scratch);
      rhs[j] ^= rhs[r];
    }
    ++r;
  }
}

}  // namespace

bool solve(std::vector<ColumnSet> sets, std::vector<OkvsValue> rhs, Solution& slots,
           RandomSource& rng) {
  if (sets.size() != rhs.size()) {
    fatal("elimination: " + std::to_string(sets.size()) + " column sets for " +
          std::to_string(rhs.size()) + " right-hand sides");
  }
  for (const ColumnSet& set : sets) {
    if (!set.empty() && set.back() >= slots.columns()) {
      fatal("elimination: column " + std::to_string(set.back()) + " out of range");
    }
  }
  eliminate(sets, rhs);

  for (std::size_t i = sets.size(); i-- > 0;) {
    OkvsValue acc = rhs[i];
    std::optional<std::size_t> free;
    for (std::size_t c : sets[i]) {
      if (slots.filled(c)) {
        acc ^= slots.get(c);
      } else {
        OkvsValue x = random_value(rng);
        acc ^= x;
        slots.set(c, x);
        free = c;
      }
    }
    // An empty row: the equations are dependent and this attempt cannot
    // satisfy them all; the caller starts over with new seeds.
    if (!free) return false;
    slots.xor_into(*free, acc);
  }
  return true;
}

}  // namespace veltrane::okvs
