// The module `veltrane`: its definition record and its single entry point.
//
// The module may be initialised once per process. The flag is set before the
// functions are added, so even an initialisation that failed half-way blocks
// every later one (a re-import after deleting it from sys.modules, or a
// sub-interpreter).
#include <Python.h>

#include <atomic>

#include "common/fatal_error.hpp"
#include "python/boundary.hpp"
#include "python/errors.hpp"
#include "python/functions.hpp"
#include "python/ref.hpp"

namespace veltrane::python {
namespace {

std::atomic<bool> initialized{false};

PyModuleDef definition = {
    PyModuleDef_HEAD_INIT,
    "veltrane",
    "A Python module for the cryptographic operations necessary to do feature extraction "
    "(element matching in two datasets).",
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// The module's __all__, created empty when it is absent.
Ref all_list(PyObject* module) {
  Ref name = checked(PyUnicode_FromString("__all__"));
  Ref all = Ref::steal(PyObject_GetAttr(module, name.get()));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw ErrorPending();
    PyErr_Clear();
    all = checked(PyList_New(0));
    if (PyObject_SetAttr(module, name.get(), all.get()) < 0) throw ErrorPending();
  }
  if (!PyList_Check(all.get())) raise_conversion_failure(all.get(), "PyList");
  return all;
}

void add_function(PyObject* module, PyObject* function) {
  Ref name = checked(PyObject_GetAttrString(function, "__name__"));
  if (!PyUnicode_Check(name.get())) raise_conversion_failure(name.get(), "PyString");
  Ref all = all_list(module);
  if (PyList_Append(all.get(), name.get()) < 0) fatal("could not append __name__ to __all__");
  if (PyObject_SetAttr(module, name.get(), function) < 0) throw ErrorPending();
}

void add_functions(PyObject* module) {
  for (PyMethodDef& entry : function_table()) {
    const char* module_name = PyModule_GetName(module);
    if (!module_name) throw_pending();
    Ref module_name_text = Ref::steal(PyUnicode_FromString(module_name));
    if (!module_name_text) {
      PyErr_Clear();
      fatal("PyModule_GetName expected to return utf8");
    }
    Ref function = checked(PyCMethod_New(&entry, module, module_name_text.get(), nullptr));
    add_function(module, function.get());
  }
}

Ref create_module() {
  Ref module = checked(PyModule_Create2(&definition, PYTHON_API_VERSION));
  if (initialized.exchange(true))
    raise(PyExc_ImportError, "Tovarin modules may only be initialized once per interpreter process");
  add_functions(module.get());
  return module;
}

}  // namespace
}  // namespace veltrane::python

PyMODINIT_FUNC PyInit_veltrane() {
  return veltrane::python::guarded(veltrane::python::create_module);
}
