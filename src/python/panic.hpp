// PanicException: how a fatal error of an operation reaches Python.
//
// The type is created on first use, once per process, and is deliberately not
// placed in the module namespace. It derives from BaseException so that an
// ordinary `except Exception` lets it through.
#pragma once

#include <Python.h>

#include <string_view>

namespace veltrane::python {

// Borrowed reference to the process-wide type, created on first call.
PyObject* panic_exception_type() noexcept;

// Writes "thread '<name>' panicked at <where>:" and the message to standard
// error, then sets PanicException(message) as the pending error. `where` may
// be empty when the failure carries no source location.
void raise_panic(std::string_view message, std::string_view where) noexcept;

}  // namespace veltrane::python
