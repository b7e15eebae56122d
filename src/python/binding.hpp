// Binding the fast-call arguments of an exported function to its parameters.
//
// All parameters are required and may be given by position or by keyword.
// Binding checks, in this order, the positional count, each keyword in the
// order of the keyword-name tuple, then the missing parameters; only after
// that are values converted, in parameter order, the first failure stopping
// the call. A TypeError from converting parameter P is reported as
// "argument 'P': ...".
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <span>

#include "common/text_rows.hpp"
#include "operations/operations.hpp"
#include "python/conversions.hpp"

namespace veltrane::python {

struct Signature {
  const char* name;
  std::span<const char* const> parameters;
};

class Arguments {
 public:
  static constexpr std::size_t kMaxParameters = 8;

  // Raises the binding TypeErrors (ErrorPending).
  Arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
            PyObject* kwnames);

  // Converted value of parameter i. A byte argument reads the caller's buffer
  // in place where it can (see conversions.hpp) and holds it until it is
  // destroyed; bytes(i) always copies, for secrets wiped after use.
  ByteArgument byte_argument(std::size_t i) const;
  ops::Bytes bytes(std::size_t i) const;
  TextRows text_rows(std::size_t i) const;

 private:
  const Signature& signature_;
  // Borrowed: the caller's argument vector outlives the call.
  std::array<PyObject*, kMaxParameters> values_{};
};

}  // namespace veltrane::python
