// Repeated keys: two keys with the same byte form always land on the same
// pair of cells, so a store can hold only one of them. Callers whose rows may
// repeat keep the first row of each key before encoding.
#pragma once

#include <vector>

#include "hashable.hpp"

namespace veltrane::okvs {

// Removes every key whose byte form occurs earlier in the list; the first
// occurrences keep their order.
void keep_first_occurrences(std::vector<Hashable>& keys);

}  // namespace veltrane::okvs
