// Python errors raised while binding, converting and building results.
//
// The interpreter keeps the error itself (its pending-exception indicator);
// the C++ side only unwinds with ErrorPending to the function boundary, which
// returns NULL. Each helper here sets the indicator and then throws.
#pragma once

#include <Python.h>

#include <exception>

#include "python/ref.hpp"

namespace veltrane::python {

// The interpreter's error indicator holds the error of this call.
class ErrorPending : public std::exception {
 public:
  const char* what() const noexcept override { return "Python error pending"; }
};

// Sets `type(message)` as the pending error and throws ErrorPending.
[[noreturn]] void raise(PyObject* type, const char* message);

// Throws for the interpreter's pending error; with none pending (an API that
// failed without saying why) it becomes SystemError.
[[noreturn]] void throw_pending();

// TypeError "'<type name>' object cannot be converted to '<target>'".
[[noreturn]] void raise_conversion_failure(PyObject* object, const char* target);

// The result of an API call that returns a new reference or NULL on error.
inline Ref checked(PyObject* result) {
  if (!result) throw_pending();
  return Ref::steal(result);
}

// Replaces a pending TypeError by TypeError("argument '<parameter>': " + str(it)),
// keeping its __cause__; any other pending error is left as it is.
void prefix_parameter_name(const char* parameter) noexcept;

}  // namespace veltrane::python
