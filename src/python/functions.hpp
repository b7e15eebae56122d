// The table of the seven exported functions, in the order they are added to
// the module (and listed in __all__).
#pragma once

#include <Python.h>

#include <span>

namespace veltrane::python {

// Entries live for the whole process: function objects point into them.
std::span<PyMethodDef> function_table() noexcept;

}  // namespace veltrane::python
