// Python argument values to native data.
//
// Byte sequence: any non-str object passing the sequence check whose items
// are integers 0..255, read item by item through the integer protocol
// (bytes included). Table of text rows: a non-str sequence of non-str
// sequences of str, kept as UTF-8. Failures raise the Python error (and throw
// ErrorPending); std::bad_alloc from a growing buffer propagates as is.
#pragma once

#include <Python.h>

#include "common/text_rows.hpp"
#include "operations/operations.hpp"

namespace veltrane::python {

ops::Bytes to_bytes(PyObject* value);
TextRows to_text_rows(PyObject* value);

}  // namespace veltrane::python
