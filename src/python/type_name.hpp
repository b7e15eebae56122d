// The name a type gives itself in messages (its C-level tp_name), read
// through the stable ABI, where the type object's fields are hidden.
#pragma once

#include <Python.h>

#include <string>

namespace veltrane::python {

// "int", "NoneType", "collections.OrderedDict", "Point" for a class written
// in Python, "re.Pattern" for a type an extension built with PyType_FromSpec.
// Throws ErrorPending when the type's attributes cannot be read.
std::string type_name(PyTypeObject* type);

}  // namespace veltrane::python
