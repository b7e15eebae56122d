// Native results to new Python objects.
//
// A byte string becomes a list of ints (never bytes), a group of byte strings
// a tuple of such lists, and a byte-per-flag string a list of bools (True when
// the low bit is set). If the interpreter cannot create an object, its error
// is printed and the call ends as a fatal error "Python API call failed";
// a MemoryError stays a MemoryError.
#pragma once

#include <span>

#include "operations/operations.hpp"
#include "python/ref.hpp"

namespace veltrane::python {

Ref int_list(const ops::Bytes& bytes);
Ref tuple_of_int_lists(std::span<const ops::Bytes> parts);
Ref bool_list(const ops::Bytes& flags);

}  // namespace veltrane::python
