// The one place where C++ exceptions become Python exceptions.
//
// Every entry point the interpreter calls runs its body through `guarded`,
// which never lets an exception unwind into the interpreter:
//   ErrorPending            -> the pending Python error as it is
//   veltrane::FatalError    -> report on stderr, then PanicException(message)
//   std::bad_alloc          -> MemoryError (also when carried from a worker)
//   any other exception     -> report, then PanicException(what())
#pragma once

#include <Python.h>

#include <exception>

#include "python/ref.hpp"

namespace veltrane::python {

// Sets the Python error for the exception being handled; call only from a
// catch block.
void translate_current_exception() noexcept;

template <class Body>
PyObject* guarded(Body&& body) noexcept {
  try {
    Ref result = body();
    return result.release();
  } catch (...) {
    translate_current_exception();
    return nullptr;
  }
}

}  // namespace veltrane::python
