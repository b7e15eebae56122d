#include "python/results.hpp"

#include "common/fatal_error.hpp"
#include "python/errors.hpp"

namespace veltrane::python {
namespace {

Ref created(PyObject* object) {
  if (object) return Ref::steal(object);
  if (PyErr_ExceptionMatches(PyExc_MemoryError)) throw ErrorPending();
  PyErr_Print();
  fatal("Python API call failed");
}

// PyList_SetItem and PyTuple_SetItem (which take over the item even when
// they fail) cannot fail on a fresh container of the right size.
void place(int status) {
  if (status < 0) {
    PyErr_Print();
    fatal("Python API call failed");
  }
}

Py_ssize_t ssize(std::size_t size) { return static_cast<Py_ssize_t>(size); }

}  // namespace

Ref int_list(const ops::Bytes& bytes) {
  Ref list = created(PyList_New(ssize(bytes.size())));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    // Values 0..255 are the interpreter's cached small ints.
    place(PyList_SetItem(list.get(), ssize(i), created(PyLong_FromLong(bytes[i])).release()));
  }
  return list;
}

Ref tuple_of_int_lists(std::span<const ops::Bytes> parts) {
  Ref tuple = created(PyTuple_New(ssize(parts.size())));
  for (std::size_t i = 0; i < parts.size(); ++i)
    place(PyTuple_SetItem(tuple.get(), ssize(i), int_list(parts[i]).release()));
  return tuple;
}

Ref bool_list(const ops::Bytes& flags) {
  Ref list = created(PyList_New(ssize(flags.size())));
  for (std::size_t i = 0; i < flags.size(); ++i)
    place(PyList_SetItem(list.get(), ssize(i), Py_NewRef((flags[i] & 1) ? Py_True : Py_False)));
  return list;
}

}  // namespace veltrane::python
