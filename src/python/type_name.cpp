#include "python/type_name.hpp"

#include <string_view>

#include "python/errors.hpp"
#include "python/ref.hpp"

namespace veltrane::python {
namespace {

std::string text_attribute(PyObject* object, const char* attribute) {
  Ref value = checked(PyObject_GetAttrString(object, attribute));
  Py_ssize_t length = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(value.get(), &length);
  if (!utf8) throw_pending();
  return {utf8, static_cast<std::size_t>(length)};
}

}  // namespace

// The interpreter derives __name__ and __module__ from tp_name, so tp_name
// is rebuilt from them:
// - a static type's tp_name is "module.name", or "name" for builtins;
// - a class written in Python (a mutable heap type) has tp_name == __name__;
// - an immutable heap type built by PyType_FromSpec keeps the dotted name it
//   was given, whose prefix became __module__.
std::string type_name(PyTypeObject* type) {
  PyObject* object = reinterpret_cast<PyObject*>(type);
  const unsigned long flags = PyType_GetFlags(type);
  std::string name = text_attribute(object, "__name__");
  const bool python_class =
      (flags & Py_TPFLAGS_HEAPTYPE) && !(flags & Py_TPFLAGS_IMMUTABLETYPE);
  if (python_class) return name;
  Ref module = Ref::steal(PyObject_GetAttrString(object, "__module__"));
  if (!module || !PyUnicode_Check(module.get())) {
    PyErr_Clear();
    return name;
  }
  Py_ssize_t length = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(module.get(), &length);
  if (!utf8) throw_pending();
  const std::string_view module_name(utf8, static_cast<std::size_t>(length));
  if (module_name == "builtins") return name;
  return std::string(module_name) + "." + name;
}

}  // namespace veltrane::python
