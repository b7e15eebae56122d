// GF(2) elimination of the equations that peeling cannot solve.
//
// Each equation says: the XOR of the cells in its column set equals its
// right-hand side. There are at most a handful (the edges left after
// peeling), so rows are plain sorted vectors of column indices.
#pragma once

#include <cstddef>
#include <vector>

#include "okvs_value.hpp"
#include "random_source.hpp"
#include "solution.hpp"

namespace veltrane::okvs {

using ColumnSet = std::vector<std::size_t>;  // ascending, no repeats

// Brings the rows to echelon form, then assigns cells from the last row to
// the first: every column still empty when its row is reached gets a fresh
// random value (rows last to first, columns ascending), and the last such
// column of the row is corrected so the row holds. Columns in no row stay
// empty. Returns false when the rows are linearly dependent (a row left
// without columns), in which case the slots are in an unspecified state.
bool solve(std::vector<ColumnSet> sets, std::vector<OkvsValue> rhs, Solution& slots,
           RandomSource& rng);

}  // namespace veltrane::okvs
