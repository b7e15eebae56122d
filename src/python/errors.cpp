#include "python/errors.hpp"

#include <string>

#include "python/type_name.hpp"

namespace veltrane::python {

void raise(PyObject* type, const char* message) {
  PyErr_SetString(type, message);
  throw ErrorPending();
}

void throw_pending() {
  if (!PyErr_Occurred())
    PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
  throw ErrorPending();
}

void raise_conversion_failure(PyObject* object, const char* target) {
  const std::string name = type_name(Py_TYPE(object));
  PyErr_Format(PyExc_TypeError, "'%s' object cannot be converted to '%s'", name.c_str(),
               target);
  throw ErrorPending();
}

void prefix_parameter_name(const char* parameter) noexcept {
  if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  Ref first_type = Ref::steal(type), first = Ref::steal(value), first_tb = Ref::steal(traceback);
  Ref message = Ref::steal(PyUnicode_FromFormat("argument '%s': %S", parameter, first.get()));
  if (!message) return;  // The interpreter's own error (say MemoryError) is pending instead.
  Ref replacement =
      Ref::steal(PyObject_CallFunctionObjArgs(PyExc_TypeError, message.get(), nullptr));
  if (!replacement) return;
  // PyException_SetCause steals its argument; NULL leaves __cause__ None.
  PyException_SetCause(replacement.get(), PyException_GetCause(first.get()));
  PyErr_SetObject(PyExc_TypeError, replacement.get());
}

}  // namespace veltrane::python
